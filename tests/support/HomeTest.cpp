#include "HomeTest.h"

void HomeTest::init()
{
    home = std::make_unique<TestHome>();
    script = std::make_unique<MessageBoxScript>();
}

void HomeTest::cleanup()
{
    script.reset();
    home.reset();
}
