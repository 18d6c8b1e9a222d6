#include "HomeTest.h"

void HomeTest::init()
{
    home = std::make_unique<TestHome>();
    script = std::make_unique<ScriptedPrompts>();
}

void HomeTest::cleanup()
{
    script.reset();
    home.reset();
}
