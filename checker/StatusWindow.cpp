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
    }
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
    loaded.release()->deleteLater();
}

void StatusWindow::setLabel1(const QString &text)
{
    form()->ui.Label1->setText(text);
}

void StatusWindow::setLabel2(const QString &text)
{
    form()->ui.Label2->setText(text);
}

void StatusWindow::setLabel4(const QString &text)
{
    form()->ui.Label4->setText(text);
}

void StatusWindow::setLabel5(const QString &text)
{
    form()->ui.Label5->setText(text);
}

void StatusWindow::setText1(const QString &text)
{
    form()->ui.Text1->setPlainText(text);
}
