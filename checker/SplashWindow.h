#pragma once

#include "ui_SplashWindow.h"

#include <QWidget>

// The splash window shown during start-up: a borderless window with the
// banner, the title with the version and "Initializing...".
class SplashWindow : public QWidget
{
    Q_OBJECT

public:
    explicit SplashWindow(QWidget *parent = nullptr);

    Ui::SplashWindow ui;
};
