#pragma once

class QWidget;

// Moves a top-level window, not yet shown, to the centre of its screen.
void placeInCentre(QWidget *window);
