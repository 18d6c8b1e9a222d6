#pragma once

#include "Prompts.h"

// The prompts as the desktop's message boxes: title and text as given, as
// plain text; the first button is the default, and Escape answers No on a
// Yes/No box. A box with an owner stays above it and blocks it (and the
// windows below it) until answered; one without blocks no other window.
class MessageBoxes : public Prompts
{
public:
    using Prompts::ask;
    Answer ask(const Prompt &prompt, QObject *owner) override;
};
