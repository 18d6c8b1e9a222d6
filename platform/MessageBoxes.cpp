#include "MessageBoxes.h"

#include <QMessageBox>
#include <QPushButton>

namespace
{

QMessageBox::Icon boxIcon(PromptKind kind)
{
    switch (iconOf(kind)) {
    case PromptIcon::Error:
        return QMessageBox::Critical;
    case PromptIcon::Question:
        return QMessageBox::Question;
    case PromptIcon::Information:
        return QMessageBox::Information;
    }
    return QMessageBox::NoIcon;
}

} // namespace

Answer MessageBoxes::ask(const Prompt &prompt, QObject *owner)
{
    // Window-modal: an owner and the windows below it are blocked, and a box
    // without an owner blocks nothing.
    QMessageBox box(boxIcon(prompt.kind), prompt.title, prompt.text, QMessageBox::NoButton,
                    qobject_cast<QWidget *>(owner));
    box.setWindowModality(Qt::WindowModal);
    // Texts carry the user's descriptions and URLs: shown as written, never as markup or links.
    box.setTextFormat(Qt::PlainText);
    if (buttonsOf(prompt.kind) == PromptButtons::YesNo) {
        QPushButton *yes = box.addButton(QMessageBox::Yes);
        QPushButton *no = box.addButton(QMessageBox::No);
        box.setDefaultButton(yes);
        box.setEscapeButton(no);
        box.exec();
        return box.clickedButton() == no ? Answer::No : Answer::Yes;
    }
    QPushButton *ok = box.addButton(QMessageBox::Ok);
    box.setDefaultButton(ok);
    box.setEscapeButton(ok);
    box.exec();
    return Answer::Ok;
}
