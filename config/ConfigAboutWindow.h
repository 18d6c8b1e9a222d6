#pragma once

#include "SecondaryWindow.h"

#include <memory>

namespace Ui
{
class ConfigAboutWindow;
}

// The About window: title with version, banner and a few lines about the
// editor. "Close About" hides it; its close box discards it.
class ConfigAboutWindow : public SecondaryWindow
{
    Q_OBJECT

public:
    ConfigAboutWindow();
    ~ConfigAboutWindow() override;

private:
    std::unique_ptr<Ui::ConfigAboutWindow> ui;
};
