#pragma once

#include <QWidget>
#include <memory>

namespace Ui
{
class ActionEditor;
}
class ActionListWindow;
class Prompts;

// The action editor: Description, URL and Check String of a new action or of
// the one selected in the action list window. Its caption is its mode (see
// editing::AddCaption). Its buttons hide it; its close box discards it.
class ActionEditor : public QWidget
{
    Q_OBJECT

public:
    ActionEditor(ActionListWindow &owner, Prompts &prompts);
    ~ActionEditor() override;

    void fill(const QString &description, const QString &url, const QString &check);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void cancel();
    void accept();

    void clearFields();

    std::unique_ptr<Ui::ActionEditor> ui;
    ActionListWindow &listWindow;
    Prompts &prompts;
};
