#pragma once

#include "CheckRun.h"

#include <memory>

class Form2;
class Store;

// The status window as the check run sees it. A write reaches the window
// whether it is shown or not; when the window is not loaded (never used, or
// unloaded through its close box), the write loads it hidden first.
class StatusWindow : public StatusDisplay
{
public:
    explicit StatusWindow(const Store &store);
    ~StatusWindow() override;
    StatusWindow(const StatusWindow &) = delete;
    StatusWindow &operator=(const StatusWindow &) = delete;

    // The run state whose counter the window shows.
    void attach(const RunState &runState);

    // The window, loaded (hidden) when it is not.
    Form2 *form();
    bool isLoaded() const { return loaded != nullptr; }
    // "&Debug": shows the window, loading it first when needed.
    void show();
    // Hides the window if it is loaded.
    void hide();

    void setLabel1(const QString &text) override;
    void setLabel2(const QString &text) override;
    void setLabel4(const QString &text) override;
    void setLabel5(const QString &text) override;
    void setText1(const QString &text) override;

private:
    void formUnloaded();

    const Store &store;
    const RunState *state = nullptr;
    std::unique_ptr<Form2> loaded;
};
