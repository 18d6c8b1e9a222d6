#pragma once

#include "Prompts.h"

#include <QList>
#include <QString>
#include <functional>

// Stands in for the person at the desk: shows nothing, records each prompt and
// answers it with the next queued answer (the default button when none is
// queued).
class ScriptedPrompts : public Prompts
{
public:
    // One prompt as it was asked: `flags` is the number of its kind.
    struct Box {
        QString text;
        int flags = 0;
        QString title;
        QObject *owner = nullptr;
    };

    using Prompts::ask;
    Answer ask(const Prompt &prompt, QObject *owner) override;

    void answer(Answer button) { answers.append(button); }

    QList<Box> boxes;
    QList<Answer> answers;
    // Runs while a prompt is "open", before it is answered.
    std::function<void(const Box &)> whileShown;
};
