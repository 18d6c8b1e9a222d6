#pragma once

#include <QString>

// Downloads a page and hands back its body as text; empty text on any failure.
class PageFetcher
{
public:
    virtual ~PageFetcher() = default;
    virtual QString fetch(const QString &url) = 0;
    // Stops a download under way at once (it then comes back empty).
    virtual void cancel() = 0;
};
