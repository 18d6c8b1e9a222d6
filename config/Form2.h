#pragma once

#include <QWidget>
#include <memory>

namespace Ui
{
class Form2;
}
class Form1;

// The action editor: Description, URL and Check String of a new action or of
// the one selected in the action list window. Its caption is its mode (see
// editing::AddCaption). Its buttons hide it; its close box discards it.
class Form2 : public QWidget
{
    Q_OBJECT

public:
    explicit Form2(Form1 &owner);
    ~Form2() override;

    void fill(const QString &description, const QString &url, const QString &check);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void command1Click();
    void command2Click();

    void clearFields();

    std::unique_ptr<Ui::Form2> ui;
    Form1 &form1;
};
