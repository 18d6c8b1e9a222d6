#include "MessageBox.h"

#include <QMessageBox>
#include <QPushButton>

namespace
{

MessageBoxScript *activeScript = nullptr;

constexpr int ButtonMask = 0x7;
constexpr int YesNoButtons = 4;
constexpr int IconMask = 0x70;

QMessageBox::Icon iconOf(int flags)
{
    switch (flags & IconMask) {
    case 16:
        return QMessageBox::Critical;
    case 32:
        return QMessageBox::Question;
    case 48:
        return QMessageBox::Warning;
    case 64:
        return QMessageBox::Information;
    default:
        return QMessageBox::NoIcon;
    }
}

int defaultAnswer(int flags)
{
    return (flags & ButtonMask) == YesNoButtons ? msgbox::Yes : msgbox::Ok;
}

int scriptedAnswer(MessageBoxScript &script, const QString &text, int flags, const QString &title)
{
    const MessageBoxScript::Box box{text, flags, title};
    script.boxes.append(box);
    if (script.whileShown)
        script.whileShown(box);
    return script.answers.isEmpty() ? defaultAnswer(flags) : script.answers.takeFirst();
}

} // namespace

MessageBoxScript::MessageBoxScript()
{
    activeScript = this;
}

MessageBoxScript::~MessageBoxScript()
{
    if (activeScript == this)
        activeScript = nullptr;
}

MessageBoxScript *MessageBoxScript::active()
{
    return activeScript;
}

int msgbox::show(const QString &text, int flags, const QString &title, QWidget *owner)
{
    if (activeScript)
        return scriptedAnswer(*activeScript, text, flags, title);

    // Window-modal: an owner and the windows below it are blocked, and a box
    // without an owner blocks nothing.
    QMessageBox box(iconOf(flags), title, text, QMessageBox::NoButton, owner);
    box.setWindowModality(Qt::WindowModal);
    // Texts carry the user's descriptions and URLs: shown as written, never as markup or links.
    box.setTextFormat(Qt::PlainText);
    if ((flags & ButtonMask) == YesNoButtons) {
        QPushButton *yes = box.addButton(QMessageBox::Yes);
        QPushButton *no = box.addButton(QMessageBox::No);
        box.setDefaultButton(yes);
        box.setEscapeButton(no);
        box.exec();
        return box.clickedButton() == no ? No : Yes;
    }
    QPushButton *ok = box.addButton(QMessageBox::Ok);
    box.setDefaultButton(ok);
    box.setEscapeButton(ok);
    box.exec();
    return Ok;
}
