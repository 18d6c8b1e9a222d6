#pragma once

#include "ui_Form3.h"

#include <QWidget>

// The splash window shown during start-up: a borderless window with the
// banner, the title with the version and "Initializing...".
class Form3 : public QWidget
{
    Q_OBJECT

public:
    explicit Form3(QWidget *parent = nullptr);

    Ui::Form3 ui;
};
