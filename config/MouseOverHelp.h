#pragma once

#include <QHash>
#include <QObject>
#include <QString>

#include "HelpTexts.h"

class QLabel;
class QWidget;

// Shows a control's help text in its window's help label as the pointer comes
// onto the control. Frames show their text when the pointer is over the frame
// itself (its caption, border or empty area) or over one of its disabled
// controls, which show nothing of their own. The help label has no text.
class MouseOverHelp : public QObject
{
    Q_OBJECT

public:
    MouseOverHelp(QLabel *helpLabel, QObject *parent);

    // Watches each control of the table, found by object name inside `window`.
    void watch(QWidget *window, const helptext::Table &table);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Shows the text of `control` when it has one and is enabled.
    void showText(const QWidget *control);

    QLabel *label;
    QHash<const QObject *, QString> texts;
};
