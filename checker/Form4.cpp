#include "Form4.h"

#include "Pictures.h"

#include <QCloseEvent>

Form4::Form4(QWidget *parent) : QWidget(parent)
{
    pictures::load();
    ui.setupUi(this);
    ui.Image1->setPixmap(pictures::banner());
    setWindowIcon(pictures::programIcon());
    connect(ui.Command1, &QPushButton::clicked, this, &Form4::command1Click);
}

void Form4::closeEvent(QCloseEvent *event)
{
    QWidget::closeEvent(event);
    emit unloaded();
}

void Form4::command1Click()
{
    hide();
}
