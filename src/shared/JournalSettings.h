#pragma once

#include "shared/Journal.h"

namespace talvek {

class ProgramFolder;

// The journal's settings, in "support/Journal.cfg" (an INI file read like the
// port settings: the per-user folder of an installed copy first):
//
//   [Journal]
//   Enabled=true            ; false: no journal
//   RetentionDays=400       ; rows older than this are pruned at start
//   Press=                  ; this press's name (the host name when empty)
//   Connection=             ; PostgreSQL, libpq key=value: one journal for the plant
//
// Without a file every setting has its default: a SQLite journal
// "journal/journal.sqlite" in the per-user data folder of an installed copy
// and in the hidden ".talvek" folder of a portable one: no file dialog of the
// program starts in or lists that folder (a dialog that looks into a SQLite
// file opens and closes it, and so drops the program's locks on it). A
// journal found where earlier versions kept it (beside a portable copy,
// directly in the per-user data folder) is moved there once.
JournalConfig journalConfigFor(const ProgramFolder& folder);

// `--journal CONNECTION`: a PostgreSQL connection (key=value), "off", or the
// path of a SQLite file; it stands in for the settings' place.
void applyJournalOption(JournalConfig& config, const QString& option);

inline constexpr const char* kJournalSettingsFile = "support/Journal.cfg";
inline constexpr const char* kJournalFileName = "journal.sqlite";
inline constexpr const char* kJournalFolder = "journal";

} // namespace talvek
