#pragma once

#include <QWidget>
#include <memory>

namespace Ui
{
class Form4;
}
class Form1;

// The About window: title with version, banner and a few lines about the
// editor. "Close About" hides it; its close box discards it.
class Form4 : public QWidget
{
    Q_OBJECT

public:
    explicit Form4(Form1 &owner);
    ~Form4() override;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void command1Click();

    std::unique_ptr<Ui::Form4> ui;
    Form1 &form1;
};
