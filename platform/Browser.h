#pragma once

#include <QString>

// Opens a page in the user's default web browser. Only http:// and https://
// addresses are opened; anything else is silently not opened.
class Browser
{
public:
    virtual ~Browser() = default;
    virtual void open(const QString &url);
};
