#pragma once

#include <QString>
#include <QTextStream>
#include <memory>
#include <optional>

namespace talvek {

class CliPrompter;
class Clock;
class Journal;
class JournalHooks;
class ProgramFolder;
class RSComm;

// The press journal of one talvek-cli run on the link: the settings' journal
// (or --journal's), its hooks on the link, and the writes named "talvek-cli".
// A journal that cannot be opened is said once on stderr; the command goes on.
class CliJournal final
{
public:
    CliJournal(const ProgramFolder& folder, const QString& option, RSComm& rs, Clock& clock, CliPrompter& prompter);
    ~CliJournal();
    CliJournal(const CliJournal&) = delete;
    CliJournal& operator=(const CliJournal&) = delete;

private:
    std::unique_ptr<Journal> m_journal;
    std::unique_ptr<JournalHooks> m_hooks;
};

// `talvek-cli journal`: what to print.
struct JournalRequest
{
    QString connection; // --journal
    QString since; // --since DATE
    QString kind; // --kind; empty: every kind
    QString press; // --press
    bool csv = false;
};

// A --since or --kind that cannot be used; nothing when both are good.
std::optional<QString> journalOptionProblem(const QString& since, const QString& kind);

// Prints the journal's rows; the exit code (3 when the journal cannot be
// opened or read, or was found damaged and set aside: what is printed is the
// new, empty journal, after the message on err).
int printJournal(const JournalRequest& request, const ProgramFolder& folder, QTextStream& out, QTextStream& err);

} // namespace talvek
