#pragma once

#include "CheckRun.h"

#include <QString>
#include <array>
#include <memory>
#include <optional>

class StatusWindow;
class Store;

// The status window as the check run sees it. A write reaches the window
// whether it is shown or not; when the window is not loaded (never used, or
// unloaded through its close box), the write loads it hidden first.
//
// While the window is hidden its texts are kept here, and a window loaded
// hidden by a write is loaded in name only: its widgets are made when it is
// shown or first looked at (form()), its Load step first. Either way the
// texts reach the widgets then, the last of each control's; the page text
// is turned from its UTF-8 into text only then. Nobody can tell
// the difference while the window is hidden, and a run spends nothing on
// laying out each page's text in a window nobody sees.
class StatusWindowHost : public StatusDisplay
{
public:
    explicit StatusWindowHost(const Store &store);
    ~StatusWindowHost() override;
    StatusWindowHost(const StatusWindowHost &) = delete;
    StatusWindowHost &operator=(const StatusWindowHost &) = delete;

    // The run state whose counter the window shows.
    void attach(const RunState &runState);

    // The window, made (hidden) when it is not, with the texts written to it.
    StatusWindow *form();
    bool isLoaded() const { return loaded != nullptr || loadedHidden; }
    // "&Debug": shows the window, loading it first when needed.
    void show();
    // Hides the window if it is loaded.
    void hide();

    void setProcessing(const QString &text) override;
    void setConnectionRetry(const QString &text) override;
    void setChecksSinceStart(const QString &text) override;
    void setLastCheckDate(const QString &text) override;
    void setPageText(const QByteArray &text) override;

private:
    enum Control { Label1, Label2, Label4, Label5, Text1, Controls };

    void formUnloaded();
    // True when the window is shown; else it is loaded hidden, in name, if
    // it was not loaded.
    bool shown();
    void write(Control control, const QString &text);
    static void put(StatusWindow &window, Control control, const QString &text);

    const Store &store;
    const RunState *state = nullptr;
    std::unique_ptr<StatusWindow> loaded;
    // Loaded hidden by a write, its widgets not yet made.
    bool loadedHidden = false;
    // The last text written to each control while the window was hidden; the
    // page text as the UTF-8 it came in, turned into text when it is shown.
    std::array<std::optional<QString>, Text1> kept;
    std::optional<QByteArray> keptPage;
};
