#pragma once

#include "Action.h"
#include "SecondaryWindow.h"

#include <memory>

namespace Ui
{
class ActionEditor;
}
class Prompts;
struct EditorState;
class Store;

// The action editor: Description, URL and Check String of a new action or of
// the one selected in the action list window. Its caption is its mode (see
// editing::AddCaption). Accept saves the action and reports it; its buttons
// hide it; its close box discards it.
class ActionEditor : public SecondaryWindow
{
    Q_OBJECT

public:
    ActionEditor(Store &store, EditorState &state, Prompts &prompts);
    ~ActionEditor() override;

    void fill(const Action &action);

signals:
    // Accept saved `action` as a new one.
    void added(const Action &action);
    // Accept saved `action` in place of the selected one.
    void modified(const Action &action);

private:
    void cancel();
    void accept();

    // The action as the three fields hold it.
    Action typedAction() const;
    void clearFields();

    std::unique_ptr<Ui::ActionEditor> ui;
    Store &store;
    EditorState &state;
    Prompts &prompts;
};
