#pragma once

#include "Action.h"

#include <QWidget>
#include <memory>

namespace Ui
{
class ActionEditor;
}
class ActionListWindow;

// The action editor: Description, URL and Check String of a new action or of
// the one selected in the action list window. Its caption is its mode (see
// editing::AddCaption). Its buttons hide it; its close box discards it.
class ActionEditor : public QWidget
{
    Q_OBJECT

public:
    explicit ActionEditor(ActionListWindow &owner);
    ~ActionEditor() override;

    void fill(const Action &action);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void cancel();
    void accept();

    // The action as the three fields hold it.
    Action typedAction() const;
    void clearFields();

    std::unique_ptr<Ui::ActionEditor> ui;
    ActionListWindow &listWindow;
};
