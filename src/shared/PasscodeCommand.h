#pragma once

#include "base/Outcome.h"

#include <QString>

namespace talvek {

class Prompter;
class RSComm;

// "Set-up Passcode": reads the keypad's set-up passcode from the controller,
// proposes it in the input box and writes what the operator enters.
class PasscodeCommand final
{
public:
    static const QString kPrompt; // "Please Enter New Passcode (0-65535)"
    static const QString kTitle; // "Keypad Set-up Passcode"

    PasscodeCommand(RSComm& rs, Prompter& prompter);
    Q_DISABLE_COPY_MOVE(PasscodeCommand)

    // Nothing is asked while another exchange waits (Busy). A passcode that
    // could not be read proposes nothing, so OK on the empty box writes
    // nothing; Cancel or an empty answer is Cancelled. A link already down
    // writes nothing (LinkDown). Otherwise the write's own outcome, whose
    // failure the link has already shown.
    [[nodiscard]] Status run();

private:
    RSComm& m_rs;
    Prompter& m_prompter;
};

} // namespace talvek
