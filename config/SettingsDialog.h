#pragma once

#include "SecondaryWindow.h"

#include <memory>

namespace Ui
{
class SettingsDialog;
}
class Prompts;
struct EditorState;
class Store;

// The settings dialog: proxy, once-a-day limit and always-connected options
// of "!Settings". It loads its controls from the store each time it is brought
// up; "Save" writes all five options, "Cancel" hides it without writing, and
// its close box discards it. Its captions are laid out for a small 8-point
// sans font, which the design sets: the desktop's usual size would cut them off.
class SettingsDialog : public SecondaryWindow
{
    Q_OBJECT

public:
    SettingsDialog(Store &store, EditorState &state, Prompts &prompts);
    ~SettingsDialog() override;

    // Brings the dialog up and loads its controls afresh from the store.
    void showDialog();

private:
    void proxyToggled();
    void limitToggled();
    void save();

    // Fills the controls from the store; a box whose value changes runs its
    // handler on the way.
    void loadOptions();
    // Label1, Label2, Text1 and Text2, in that order.
    void setProxyFieldsEnabled(bool enabled);

    std::unique_ptr<Ui::SettingsDialog> ui;
    Store &store;
    EditorState &state;
    Prompts &prompts;
};
