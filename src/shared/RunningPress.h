#pragma once

#include <QString>

namespace talvek {

class Prompter;
class RSComm;

// Before a command that stops or reprograms the press (a program download, a
// data download, clearing a PLS channel, resetting the PLS configuration)
// the press's speed is read. While it runs, the operator is asked a second
// time, after the command's own question, naming the speed and what the
// command does to it; No is the default, so that Enter alone changes
// nothing. OFFLINE nothing is read or asked.
enum class PressCheck
{
    Go, // OFFLINE, standing, or the operator said Yes
    Declined, // the operator said No
    Failed, // the link failed on the speed read (its own box has told why)
};

// What a data download does to a running press.
extern const QString kDownloadWhileRunning;

// `what` says what the command does to a running press, one sentence
// ("A program download turns every output of the K7700 off.").
PressCheck confirmWhileRunning(RSComm& rs, Prompter& prompter, const QString& title, const QString& what);

// "The press is running at <spm> SPM." + blank line + what + blank line +
// "Do you wish to continue?"; a speed that could not be read says so instead.
QString runningPressQuestion(int spm, const QString& what);
QString unknownSpeedQuestion(const QString& what);

} // namespace talvek
