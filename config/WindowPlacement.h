#pragma once

class QWidget;

// Moves a top-level window, not yet shown, to the centre of its screen.
void placeInCentre(QWidget *window);

// Makes `owner` the transient parent of the secondary window `window`, so that
// the window system keeps it above its owner: the only placement a Wayland
// compositor leaves to a program.
void keepAboveOwner(QWidget *window, QWidget *owner);
