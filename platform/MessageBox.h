#pragma once

#include <QList>
#include <QString>
#include <functional>

class QWidget;

// Message boxes addressed by the classic flag numbers: 16 OK/error,
// 36 Yes-No/question, 64 OK/information, 20 Yes-No/error, 68 Yes-No/information.
// The first button is the default; Escape answers No.
namespace msgbox
{

constexpr int Ok = 1;
constexpr int Yes = 6;
constexpr int No = 7;

constexpr int Critical = 16;
constexpr int YesNoQuestion = 36;
constexpr int Information = 64;
constexpr int YesNoCritical = 20;
constexpr int YesNoInformation = 68;

// Shows the box, waits for the answer and returns the button pressed: Ok, Yes
// or No. With an owner the box stays above it and blocks it (and the windows
// below it) until answered. Without one it blocks no other window: the
// checker's tray icon, its menu and its status window stay usable while a
// run waits for an answer.
int show(const QString &text, int flags, const QString &title, QWidget *owner = nullptr);

} // namespace msgbox

// While one of these lives, msgbox::show() shows nothing: it records each box
// and returns the next queued answer (the default button when none is queued).
// This is how tests stand in for the person at the desk.
class MessageBoxScript
{
public:
    struct Box {
        QString text;
        int flags = 0;
        QString title;
    };

    MessageBoxScript();
    ~MessageBoxScript();
    MessageBoxScript(const MessageBoxScript &) = delete;
    MessageBoxScript &operator=(const MessageBoxScript &) = delete;

    void answer(int button) { answers.append(button); }

    QList<Box> boxes;
    QList<int> answers;
    // Runs while a box is "open", before it is answered.
    std::function<void(const Box &)> whileShown;

    static MessageBoxScript *active();
};
