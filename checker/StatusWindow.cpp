#include "StatusWindow.h"

#include "Form2.h"

StatusWindow::StatusWindow(const Store &store) : store(store) {}

StatusWindow::~StatusWindow() = default;

void StatusWindow::attach(const RunState &runState)
{
    state = &runState;
}

Form2 *StatusWindow::form()
{
    static const RunState nothingRunYet;
    if (!loaded) {
        loaded = std::make_unique<Form2>(store, state ? *state : nothingRunYet);
        QObject::connect(loaded.get(), &Form2::unloaded, loaded.get(), [this] { formUnloaded(); });
        loadedHidden = false;
    }
    for (int control = 0; control < Controls; ++control) {
        if (kept[control])
            put(*loaded, Control(control), *kept[control]);
    }
    kept = {};
    return loaded.get();
}

void StatusWindow::show()
{
    Form2 *window = form();
    window->show();
    window->raise();
    window->activateWindow();
}

void StatusWindow::hide()
{
    if (loaded)
        loaded->hide();
}

// The close box unloads the window; it goes once its close event is over, and
// the next use loads a fresh one with the design texts.
void StatusWindow::formUnloaded()
{
    kept = {};
    loadedHidden = false;
    loaded.release()->deleteLater();
}

// Shown, the window takes each text at once; hidden, it takes the last of
// each when it is next shown or looked at.
void StatusWindow::write(Control control, const QString &text)
{
    if (loaded && loaded->isVisible()) {
        put(*loaded, control, text);
        return;
    }
    if (!loaded)
        loadedHidden = true;
    kept[control] = text;
}

void StatusWindow::put(Form2 &window, Control control, const QString &text)
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

void StatusWindow::setLabel1(const QString &text)
{
    write(Label1, text);
}

void StatusWindow::setLabel2(const QString &text)
{
    write(Label2, text);
}

void StatusWindow::setLabel4(const QString &text)
{
    write(Label4, text);
}

void StatusWindow::setLabel5(const QString &text)
{
    write(Label5, text);
}

void StatusWindow::setText1(const QString &text)
{
    write(Text1, text);
}
