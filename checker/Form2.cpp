#include "Form2.h"

#include "CheckRun.h"
#include "Layout.h"
#include "Pictures.h"
#include "Store.h"

#include <QCloseEvent>

Form2::Form2(const Store &store, const RunState &state, QWidget *parent)
    : QWidget(parent), store(store), state(state)
{
    ui.setupUi(this);
    setWindowIcon(pictures::programIcon());
    connect(ui.Command1, &QPushButton::clicked, this, &Form2::command1Click);
    formLoad();
}

bool Form2::event(QEvent *event)
{
    if (event->type() == QEvent::WindowActivate)
        formActivate();
    return QWidget::event(event);
}

void Form2::closeEvent(QCloseEvent *event)
{
    QWidget::closeEvent(event);
    emit unloaded();
}

void Form2::formLoad()
{
    showCounters();
}

void Form2::formActivate()
{
    showCounters();
}

void Form2::command1Click()
{
    hide();
}

void Form2::showCounters()
{
    ui.Label4->setText(QStringLiteral("Checks Since Start: ") +
                       QString::number(state.checksSinceStart));
    ui.Label5->setText(QStringLiteral("Last Check Date: ") +
                       store.read(layout::Settings, layout::CheckDate));
}
