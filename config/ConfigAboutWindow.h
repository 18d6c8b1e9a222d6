#pragma once

#include <QWidget>
#include <memory>

namespace Ui
{
class ConfigAboutWindow;
}
class ActionListWindow;

// The About window: title with version, banner and a few lines about the
// editor. "Close About" hides it; its close box discards it.
class ConfigAboutWindow : public QWidget
{
    Q_OBJECT

public:
    explicit ConfigAboutWindow(ActionListWindow &owner);
    ~ConfigAboutWindow() override;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void closeAbout();

    std::unique_ptr<Ui::ConfigAboutWindow> ui;
    ActionListWindow &listWindow;
};
