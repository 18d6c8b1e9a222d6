#pragma once

#include "ScriptedPrompts.h"
#include "TestHome.h"

#include <QObject>
#include <memory>

// A test class whose every test function runs in a fresh, empty home (see
// TestHome) with scripted prompts to hand to the windows it makes, both gone
// after the function. A test class that needs more set-up has its own init()
// and cleanup() call these.
class HomeTest : public QObject
{
    Q_OBJECT

protected slots:
    void init();
    void cleanup();

protected:
    std::unique_ptr<TestHome> home;
    std::unique_ptr<ScriptedPrompts> script;
};
