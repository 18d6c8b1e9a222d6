#include "StatusWindow.h"

#include "CheckRun.h"
#include "Layout.h"
#include "Pictures.h"
#include "Store.h"
#include "TextFit.h"

#include <QCloseEvent>

StatusWindow::StatusWindow(const Store &store, const RunState &state, QWidget *parent)
    : QWidget(parent), store(store), state(state)
{
    ui.setupUi(this);
    textfit::fitTexts(this);
    setWindowIcon(pictures::programIcon());
    connect(ui.Command1, &QPushButton::clicked, this, &StatusWindow::closeDebug);
    load();
}

bool StatusWindow::event(QEvent *event)
{
    if (event->type() == QEvent::WindowActivate)
        refreshCounters();
    return QWidget::event(event);
}

void StatusWindow::closeEvent(QCloseEvent *event)
{
    QWidget::closeEvent(event);
    emit unloaded();
}

void StatusWindow::load()
{
    showCounters();
}

void StatusWindow::refreshCounters()
{
    showCounters();
}

void StatusWindow::closeDebug()
{
    hide();
}

void StatusWindow::showCounters()
{
    ui.Label4->setText(QStringLiteral("Checks Since Start: ") +
                       QString::number(state.checksSinceStart));
    ui.Label5->setText(QStringLiteral("Last Check Date: ") +
                       store.read(layout::Settings, layout::CheckDate));
}
