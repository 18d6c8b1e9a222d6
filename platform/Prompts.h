#pragma once

#include <QString>

class QObject;

// The prompts the programs show, each one icon with one set of buttons. Their
// numbers are the classic message-box flags: 16 OK/error, 36 Yes-No/question,
// 64 OK/information, 20 Yes-No/error, 68 Yes-No/information.
enum class PromptKind {
    Error = 16,
    Question = 36,
    Information = 64,
    YesNoError = 20,
    YesNoInformation = 68,
};

enum class PromptIcon { Error, Question, Information };
enum class PromptButtons { Ok, YesNo };
enum class Answer { Ok, Yes, No };

constexpr PromptIcon iconOf(PromptKind kind)
{
    switch (kind) {
    case PromptKind::Question:
        return PromptIcon::Question;
    case PromptKind::Information:
    case PromptKind::YesNoInformation:
        return PromptIcon::Information;
    case PromptKind::Error:
    case PromptKind::YesNoError:
        break;
    }
    return PromptIcon::Error;
}

constexpr PromptButtons buttonsOf(PromptKind kind)
{
    switch (kind) {
    case PromptKind::Question:
    case PromptKind::YesNoError:
    case PromptKind::YesNoInformation:
        return PromptButtons::YesNo;
    case PromptKind::Error:
    case PromptKind::Information:
        break;
    }
    return PromptButtons::Ok;
}

// The first button, which Enter presses: Yes on a Yes/No prompt, else OK.
constexpr Answer defaultAnswer(PromptKind kind)
{
    return buttonsOf(kind) == PromptButtons::YesNo ? Answer::Yes : Answer::Ok;
}

// One prompt: what it is, its title and its text, shown exactly as given.
struct Prompt {
    PromptKind kind;
    QString title;
    QString text;
};

// Asks the person at the desk and waits for the answer. The programs are
// handed one of these (MessageBoxes, or a script in the tests).
class Prompts
{
public:
    virtual ~Prompts() = default;

    // Shows the prompt and returns the button pressed. `owner` is the window
    // the prompt belongs to (a QWidget; QObject keeps this interface free of
    // widgets): the prompt stays above it and blocks it until answered.
    virtual Answer ask(const Prompt &prompt, QObject *owner) = 0;

    // A prompt of no window: it blocks none. The checker's run asks this way,
    // so its tray icon, menu and status window stay usable while it waits.
    Answer ask(const Prompt &prompt) { return ask(prompt, nullptr); }
};
