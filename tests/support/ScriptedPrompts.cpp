#include "ScriptedPrompts.h"

Answer ScriptedPrompts::ask(const Prompt &prompt, QObject *owner)
{
    const Box box{prompt.text, static_cast<int>(prompt.kind), prompt.title, owner};
    boxes.append(box);
    if (whileShown)
        whileShown(box);
    return answers.isEmpty() ? defaultAnswer(prompt.kind) : answers.takeFirst();
}
