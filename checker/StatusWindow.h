#pragma once

#include "ui_StatusWindow.h"

#include <QWidget>

class Store;
struct RunState;

// The status window ("Debug Window"): what the checker is doing, the number of
// runs since start, the date of the last complete run and the last page text.
// "Close Debug" hides it; its close box unloads it.
class StatusWindow : public QWidget
{
    Q_OBJECT

public:
    // Loading fills the run count and the last check date at once.
    StatusWindow(const Store &store, const RunState &state, QWidget *parent = nullptr);

    Ui::StatusWindow ui;

signals:
    // The close box was used: the window is to be destroyed.
    void unloaded();

protected:
    bool event(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void load();
    void refreshCounters();
    void closeDebug();
    void showCounters();

    const Store &store;
    const RunState &state;
};
