#pragma once

#include "ui_CheckerAboutWindow.h"

#include <QWidget>

// The About window: title with version, banner, a few lines about the program.
// "Close About" hides it; its close box unloads it.
class CheckerAboutWindow : public QWidget
{
    Q_OBJECT

public:
    explicit CheckerAboutWindow(QWidget *parent = nullptr);

    Ui::CheckerAboutWindow ui;

signals:
    // The close box was used: the window is to be destroyed.
    void unloaded();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void closeAbout();
};
