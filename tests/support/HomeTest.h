#pragma once

#include "TestHome.h"

#include <QObject>
#include <memory>

// A test class whose every test function runs in a fresh TestHome: a settings
// store and runtime folder of its own, removed when the function is over.
class HomeTest : public QObject
{
    Q_OBJECT

protected:
    std::unique_ptr<TestHome> home;

private slots:
    void init() { home = std::make_unique<TestHome>(); }
    void cleanup() { home.reset(); }
};
