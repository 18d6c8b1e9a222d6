#pragma once

#include <QtGlobal>

class QWidget;

// The windows are laid out in pixels, and the desktops' fonts are wider than
// the one they were laid out for: a one-line text may need more room than its
// control gives it. These measure that and make each text fit.
namespace textfit
{

// No text steps down below this size.
constexpr qreal SmallestPointSize = 7.0;
// The step by which a text's size goes down.
constexpr qreal PointStep = 0.25;

// The width the one-line text of a label, button, check box or frame caption
// needs in the control's own font, with the control's margins: the text's
// horizontal advance and what the style puts around it. 0 for any other
// control, for one without a text and for a label that wraps.
int neededWidth(const QWidget *control);

// The text of `control` is whole on screen: it needs no more than the
// control's width.
bool fits(const QWidget *control);

// Steps the font of each control of `window` whose text does not fit down to
// the largest size, in steps of PointStep, at which it fits, and no further
// than SmallestPointSize. A frame's caption steps down alone: the controls
// inside the frame keep the font they had.
void fitTexts(QWidget *window);

} // namespace textfit
