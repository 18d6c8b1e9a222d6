#pragma once

#include <QWidget>
#include <memory>

namespace Ui
{
class Form3;
}
class Form1;

// The settings dialog: proxy, once-a-day limit and always-connected options
// of "!Settings". It loads its controls from the store each time it is brought
// up; "Save" writes all five options, "Cancel" hides it without writing, and
// its close box discards it. Its captions are laid out for a small 8-point
// sans font, which the design sets: the desktop's usual size would cut them off.
class Form3 : public QWidget
{
    Q_OBJECT

public:
    explicit Form3(Form1 &owner);
    ~Form3() override;

    // Brings the dialog up and loads its controls afresh from the store.
    void showDialog();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void check1Click();
    void check3Click();
    void command1Click();
    void command2Click();

    // Fills the controls from the store; a box whose value changes runs its
    // handler on the way.
    void formLoad();
    // Label1, Label2, Text1 and Text2, in that order.
    void setProxyFieldsEnabled(bool enabled);

    std::unique_ptr<Ui::Form3> ui;
    Form1 &form1;
};
