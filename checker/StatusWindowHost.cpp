#include "StatusWindowHost.h"

#include "StatusWindow.h"
#include "Utf8.h"

StatusWindowHost::StatusWindowHost(const Store &store) : store(store) {}

StatusWindowHost::~StatusWindowHost() = default;

void StatusWindowHost::attach(const RunState &runState)
{
    state = &runState;
}

StatusWindow *StatusWindowHost::form()
{
    static const RunState nothingRunYet;
    if (!loaded) {
        loaded = std::make_unique<StatusWindow>(store, state ? *state : nothingRunYet);
        QObject::connect(loaded.get(), &StatusWindow::unloaded, loaded.get(),
                         [this] { formUnloaded(); });
        loadedHidden = false;
    }
    for (int control = 0; control < Text1; ++control) {
        if (kept[control])
            put(*loaded, Control(control), *kept[control]);
    }
    if (keptPage)
        put(*loaded, Text1, textOfUtf8(*keptPage));
    kept = {};
    keptPage.reset();
    return loaded.get();
}

void StatusWindowHost::show()
{
    StatusWindow *window = form();
    window->show();
    window->raise();
    window->activateWindow();
}

void StatusWindowHost::hide()
{
    if (loaded)
        loaded->hide();
}

// The close box unloads the window; it goes once its close event is over, and
// the next use loads a fresh one with the design texts.
void StatusWindowHost::formUnloaded()
{
    kept = {};
    keptPage.reset();
    loadedHidden = false;
    loaded.release()->deleteLater();
}

// Shown, the window takes each text at once; hidden, it takes the last of
// each when it is next shown or looked at.
void StatusWindowHost::write(Control control, const QString &text)
{
    if (shown())
        put(*loaded, control, text);
    else
        kept[control] = text;
}

bool StatusWindowHost::shown()
{
    if (loaded && loaded->isVisible())
        return true;
    if (!loaded)
        loadedHidden = true;
    return false;
}

void StatusWindowHost::put(StatusWindow &window, Control control, const QString &text)
{
    switch (control) {
    case Label1:
        window.ui.Label1->setText(text);
        break;
    case Label2:
        window.ui.Label2->setText(text);
        break;
    case Label4:
        window.ui.Label4->setText(text);
        break;
    case Label5:
        window.ui.Label5->setText(text);
        break;
    case Text1:
        window.ui.Text1->setPlainText(text);
        break;
    case Controls:
        break;
    }
}

void StatusWindowHost::setProcessing(const QString &text)
{
    write(Label1, text);
}

void StatusWindowHost::setConnectionRetry(const QString &text)
{
    write(Label2, text);
}

void StatusWindowHost::setChecksSinceStart(const QString &text)
{
    write(Label4, text);
}

void StatusWindowHost::setLastCheckDate(const QString &text)
{
    write(Label5, text);
}

void StatusWindowHost::setPageText(const QByteArray &text)
{
    if (shown())
        put(*loaded, Text1, textOfUtf8(text));
    else
        keptPage = text;
}
