#pragma once

#include "base/Prompter.h"

#include <QString>
#include <optional>

namespace talvek {

class BasicError;

// The first words of every run-time fault box; whoever reads the boxes back
// (the command line's prompter) looks for them.
inline constexpr char kRuntimeFaultPrefix[] = "Error Number = ";

// The box of a procedure's own error handler: "Error Number = " n, with
// source "Error Source = " s on a line of its own, then CR LF CR LF and the
// description, under the procedure's title. Returns the button pressed.
MsgResult showRuntimeFault(Prompter& prompter, int number, const QString& description, const QString& title,
    MsgIcon icon, MsgButtons buttons = MsgButtons::OK, const std::optional<QString>& source = std::nullopt);
// The same for a caught fault, its number and description, OK button.
void showRuntimeFault(Prompter& prompter, const BasicError& error, const QString& title, MsgIcon icon);

} // namespace talvek
