#pragma once

#include "ui_Form4.h"

#include <QWidget>

// The About window: title with version, banner, a few lines about the program.
// "Close About" hides it; its close box unloads it.
class Form4 : public QWidget
{
    Q_OBJECT

public:
    explicit Form4(QWidget *parent = nullptr);

    Ui::Form4 ui;

signals:
    // The close box was used: the window is to be destroyed.
    void unloaded();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void command1Click();
};
