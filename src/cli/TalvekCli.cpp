#include "cli/TalvekCli.h"

#include "base/Clock.h"
#include "base/ProgramFolder.h"
#include "cli/AllPresses.h"
#include "cli/CliFileNames.h"
#include "cli/CliJournal.h"
#include "link/AddressUtils.h"
#include "link/CodeTables.h"
#include "link/CommPortSettings.h"
#include "link/K7700Registers.h"
#include "link/LinkMonitor.h"
#include "link/PlantFile.h"
#include "link/PortAddress.h"
#include "link/RSComm.h"
#include "link/SerialPortControl.h"
#include "shared/DataTransfer.h"
#include "shared/MachineData.h"
#include "shared/SetupCompare.h"
#include "shared/SetupFile.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTimer>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <sys/stat.h>
#endif

namespace talvek {

namespace {

struct DataGroup
{
    const char* name;
    qint16 code;
};

constexpr std::array<DataGroup, 4> kGroups { {
    { "params", kTransferSetupParameters },
    { "timing", kTransferTimingChannels },
    { "shift", kTransferShiftData },
    { "all", kTransferAll },
} };

std::optional<qint16> groupCode(const QString& name)
{
    for (const DataGroup& g : kGroups) {
        if (name == QLatin1String(g.name))
            return g.code;
    }
    return std::nullopt;
}

// The options talvek-cli takes.
struct CliOptions
{
    QCommandLineOption port { QStringLiteral("port"), QString(), QStringLiteral("N") };
    QCommandLineOption device { QStringLiteral("device"), QString(), QStringLiteral("PATH") };
    QCommandLineOption baud { QStringLiteral("baud"), QString(), QStringLiteral("BAUD") };
    QCommandLineOption trace { QStringLiteral("trace"), QString(), QStringLiteral("FILE") };
    QCommandLineOption folder { QStringLiteral("program-folder"), QString(), QStringLiteral("DIR") };
    QCommandLineOption yes { QStringLiteral("yes") };
    QCommandLineOption anyVersion { QStringLiteral("any-version") };
    QCommandLineOption output { QStringLiteral("o"), QString(), QStringLiteral("FILE") };
    QCommandLineOption input { QStringLiteral("i"), QString(), QStringLiteral("FILE") };
    QCommandLineOption journal { QStringLiteral("journal"), QString(), QStringLiteral("CONNECTION") };
    QCommandLineOption since { QStringLiteral("since"), QString(), QStringLiteral("DATE") };
    QCommandLineOption kind { QStringLiteral("kind"), QString(), QStringLiteral("KIND") };
    QCommandLineOption press { QStringLiteral("press"), QString(), QStringLiteral("NAME") };
    QCommandLineOption plant { QStringLiteral("plant"), QString(), QStringLiteral("FILE") };
    QCommandLineOption allPresses { QStringLiteral("all-presses") };
    QCommandLineOption csv { QStringLiteral("csv") };
    QCommandLineOption strict { QStringLiteral("strict") };
    QCommandLineOption help { QStringList { QStringLiteral("h"), QStringLiteral("help") } };
};

int code(CliExit e)
{
    return int(e);
}

// The exit code of a failure, from its cause alone.
CliExit exitFor(const Failure& failure)
{
    switch (failure.cause) {
    case Cause::SilentLine:
        return CliExit::Silent;
    case Cause::EntryRefused:
        return CliExit::ValueRefused;
    case Cause::BadFile:
        return CliExit::File;
    case Cause::PortFailed:
        switch (failure.errorNumber) {
        case SerialErrorNumber::kDeviceNotFound:
        case SerialErrorNumber::kInvalidPortNumber:
            return CliExit::NoDevice;
        case SerialErrorNumber::kPermissionDenied:
            return CliExit::Permission;
        case 0:
            return CliExit::ControllerRefused; // the port went away under an operation
        default:
            return CliExit::PortError;
        }
    case Cause::EchoMismatch:
    case Cause::ReplyAfterResync:
    case Cause::RefusedByBoard:
    case Cause::BadReply:
    case Cause::NotHeld:
    case Cause::StrayStore:
    case Cause::LinkDown:
    case Cause::Busy:
    case Cause::Cancelled:
        return CliExit::ControllerRefused;
    }
    return CliExit::ControllerRefused;
}

// "W1026: the controller does not hold the value written (it holds 65324)".
QString failureText(const Failure& failure)
{
    QString text = causeText(failure.cause);
    if (failure.cause == Cause::NotHeld && failure.held)
        text += QStringLiteral(" (it holds %1)").arg(*failure.held);
    if (!failure.detail.isEmpty() && failure.cause != Cause::NotHeld)
        text += QStringLiteral(" (%1)").arg(CliPrompter::oneLine(failure.detail));
    return text;
}

// "rows 7, 8, 9" / "channels CH03..CH15".
QString listed(const QString& what, const QList<int>& items, bool channels)
{
    QStringList names;
    for (const int i : items)
        names.append(channels ? plsChannelName(i) : QString::number(i));
    return what + QLatin1Char(' ') + names.join(QStringLiteral(", "));
}

// What a transfer that stopped did not move.
QString notMoved(const DataTransfer::Report& report)
{
    QStringList parts;
    if (!report.rowsNotMoved.isEmpty())
        parts.append(listed(QStringLiteral("parameter rows"), report.rowsNotMoved, false));
    if (report.configNotMoved)
        parts.append(QStringLiteral("the PLS configuration"));
    if (!report.channelsNotMoved.isEmpty())
        parts.append(listed(QStringLiteral("channels"), report.channelsNotMoved, true));
    return parts.isEmpty() ? QString() : QStringLiteral("not moved: ") + parts.join(QStringLiteral("; "));
}

// One run of a command: the link, its port and the prompter, with the
// helpers the commands share.
class CliRun final
{
public:
    CliRun(CliContext& context, const ProgramFolder& folder, CliPrompter& prompter)
        : m_context(context)
        , m_folder(folder)
        , m_prompter(prompter)
        , m_folderCopy(folder)
        , m_rs(m_folderCopy, context.clock, prompter)
    { }

    RSComm& rs() { return m_rs; }
    CliPrompter& prompter() { return m_prompter; }
    QTextStream& out() { return m_context.out; }
    const ProgramFolder& folder() const { return m_folder; }

    // Reports `what` and the failure on stderr; the exit code of its cause.
    int failed(const QString& what, const Failure& failure)
    {
        // A detail the link's own message has printed already is not
        // printed again (cron mails every line).
        if (!failure.detail.isEmpty() && m_prompter.hasShown(failure.detail))
            m_prompter.note(what + QStringLiteral(": ") + causeText(failure.cause));
        else
            m_prompter.note(what + QStringLiteral(": ") + failureText(failure));
        return code(exitFor(failure));
    }

    void progress(const QString& text)
    {
        if (!m_context.progress)
            return;
        m_context.err << '\r' << text << QStringLiteral("\x1b[K") << Qt::flush;
        m_progressShown = true;
    }
    void endProgress()
    {
        if (m_progressShown)
            m_context.err << Qt::endl;
        m_progressShown = false;
    }

private:
    CliContext& m_context;
    const ProgramFolder& m_folder;
    CliPrompter& m_prompter;
    ProgramFolder m_folderCopy;
    RSComm m_rs;
    bool m_progressShown = false;
};

// A command line as parsed: the command, its arguments, the options.
struct CliCommand
{
    const QCommandLineParser& parser;
    const CliOptions& options;
    QString name;
    QStringList rest;
    std::optional<int> port {};
    std::optional<int> baud {};
    std::optional<qint16> group {}; // upload and download
    std::optional<CompareScope> scope {}; // compare
    std::optional<QString> refusedValue {}; // write: why its value is refused
};

int runRead(CliRun& run, const CliCommand& c, CliPort&)
{
    for (const QString& address : c.rest) {
        const Result<QString> value = run.rs().RSRead(address);
        if (!value)
            return run.failed(QStringLiteral("read of %1 failed").arg(address), value.error());
        run.out() << address << '=' << *value << Qt::endl;
    }
    return code(CliExit::Ok);
}

int runWrite(CliRun& run, const CliCommand& c, CliPort&)
{
    const QString& address = c.rest[0];
    RSComm& rs = run.rs();
    // The write's own answer decides: it has read the value back where an
    // echo went wrong.
    const Status written = rs.RSWrite(address, c.rest[1], RSComm::WriteFailure::Quiet);
    if (!written)
        return run.failed(QStringLiteral("%1 was not written").arg(address), written.error());
    const Result<QString> back = rs.RSRead(address);
    if (!back) {
        return run.failed(
            QStringLiteral("%1 was written, but reading it back failed").arg(address), back.error());
    }
    run.out() << address << '=' << *back << Qt::endl;
    return code(CliExit::Ok);
}

DataTransfer::Hooks progressHooks(CliRun& run, const QString& status, int maximum)
{
    DataTransfer::Hooks hooks;
    auto shared = std::make_shared<QString>(status); // the timing phase changes it
    hooks.statusChanged = [shared](const QString& text) { *shared = text; };
    hooks.progressChanged = [&run, shared, maximum](int value) {
        run.progress(QStringLiteral("%1 %2/%3").arg(*shared).arg(value).arg(maximum));
    };
    return hooks;
}

// Why a set-up file cannot be written at `path`, or nothing: only a new file
// or a regular one is replaced (never a device, a FIFO, a folder, a link
// that leads nowhere).
std::optional<QString> outputProblem(const QString& path)
{
    const QString folder = QFileInfo(path).absolutePath();
#ifdef Q_OS_UNIX
    struct stat st {};
    if (::stat(nativeFileName(folder).constData(), &st) != 0 || !S_ISDIR(st.st_mode))
#else
    if (!QFileInfo(folder).isDir())
#endif
        return QStringLiteral("%1: no such folder").arg(shownFileName(QDir::toNativeSeparators(folder)));
    return notARegularFile(path);
}

// Saves CurrentData as a set-up file at `path`, by its bytes when Qt cannot
// name it.
bool saveSetupFile(const QString& path, QString* reason)
{
    if (qtCanName(path))
        return saveCurrentData(path, reason);
    MachineData stamped = CurrentData;
    stamped.Version = ProgramVersion;
    QByteArray bytes;
    if (!encodeSetupRecord(stamped, bytes, reason) || !replaceNativeFile(path, bytes, reason))
        return false;
    CurrentData = stamped;
    SavedData = CurrentData;
    return true;
}

int runUpload(CliRun& run, const CliCommand& c, CliPort&)
{
    const qint16 transfer = *c.group;
    const QString path = c.parser.value(c.options.output);
    const std::optional<TransferWork> work = transferWorkFor(transfer, ParamCount);
    DataTransfer upload(run.rs(), CurrentData, progressHooks(run, work->status, work->maximum));
    upload.setFileName(shownFileName(QFileInfo(path).absoluteFilePath()));
    const Status moved = upload.run(transfer, ParamCount);
    run.endProgress();
    // Nothing is saved from an upload that did not move everything: the
    // rows it did not read would be the program's defaults.
    if (!moved) {
        return run.failed(QStringLiteral("upload not complete, %1 not written; %2")
                              .arg(shownFileName(path), notMoved(upload.report())),
            moved.error());
    }
    QString reason;
    if (!saveSetupFile(path, &reason))
        return run.failed(shownFileName(path), fail(Cause::BadFile, reason));
    if (const QList<int>& trains = upload.report().pulseTrainChannels; !trains.isEmpty()) {
        run.prompter().note(listed(QStringLiteral("pulse trains, saved as empty channels (a download clears them):"),
            trains, true));
    }
    return code(CliExit::Ok);
}

int runDownload(CliRun& run, const CliCommand& c, CliPort&)
{
    const qint16 code = *c.group + kTransferDownloadOffset;
    const std::optional<TransferWork> work = transferWorkFor(code, ParamCount);
    DataTransfer download(run.rs(), CurrentData, progressHooks(run, work->status, work->maximum));
    download.setFileName(shownFileName(QFileInfo(c.parser.value(c.options.input)).absoluteFilePath()));
    const Status moved = download.run(code, ParamCount);
    run.endProgress();
    if (!moved) {
        const QString rest = notMoved(download.report());
        return run.failed(QStringLiteral("download not complete") + (rest.isEmpty() ? QString() : QStringLiteral("; ") + rest),
            moved.error());
    }
    return talvek::code(CliExit::Ok);
}

// A field of a CSV line: quoted when it holds a comma, a quote or a line end.
QString csvField(const QString& text)
{
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) && !text.contains(QLatin1Char('\n')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

// The set-up file (-i, taken as the working data) against the controller:
// one line per difference; 0 when the controller holds the file's data, 1
// when it differs, a fault's code when a value could not be read (the rows
// not read are named on stderr, never listed as same or different).
int runCompare(CliRun& run, const CliCommand& c, CliPort&)
{
    SetupCompare compare(CurrentData, *c.scope);
    compare.setFileName(shownFileName(QFileInfo(c.parser.value(c.options.input)).absoluteFilePath()));
    const Status read = compare.readController(run.rs());
    const bool csv = c.parser.isSet(c.options.csv);
    if (csv)
        run.out() << "group,address,caption,file,controller" << Qt::endl;
    QStringList notRead;
    int notes = 0;
    for (const CompareRow& row : compare.rows()) {
        if (row.state == CompareRow::State::Failed) {
            notRead.append(row.address);
            continue;
        }
        if (row.state == CompareRow::State::PulseTrain) {
            ++notes;
            const QString note = row.address + QLatin1Char(' ') + row.caption + QStringLiteral(": file ")
                + row.working + QStringLiteral(", controller ") + row.other
                + QStringLiteral(" (note: a set-up file cannot hold a pulse train; a download clears it)");
            if (csv)
                run.prompter().note(note);
            else
                run.out() << note << Qt::endl;
            continue;
        }
        if (row.state != CompareRow::State::Differs)
            continue;
        if (csv) {
            run.out() << QStringList { compareScopeName(row.group), row.address, csvField(row.caption),
                csvField(row.working), csvField(row.other) }
                             .join(QLatin1Char(','))
                      << Qt::endl;
        } else {
            run.out() << row.address << ' ' << row.caption << ": file " << row.working << ", controller "
                      << row.other << Qt::endl;
        }
    }
    if (!read) {
        const QString what = notRead.isEmpty()
            ? QStringLiteral("compare not made")
            : QStringLiteral("compare not complete; not read: ") + notRead.join(QStringLiteral(", "));
        return run.failed(what, read.error());
    }
    const bool strict = c.parser.isSet(c.options.strict);
    return code(compare.differences() > 0 || (strict && notes > 0) ? CliExit::Differs : CliExit::Ok);
}

// While a program transfer lets events run, its record address as progress.
class ProgramProgress final
{
public:
    ProgramProgress(CliRun& run, const QString& label)
    {
        m_timer.setInterval(250);
        QObject::connect(&m_timer, &QTimer::timeout, [&run, label] {
            const RSComm& rs = run.rs();
            if (rs.ReadingIdent() || rs.WritingIdent())
                run.progress(label + QStringLiteral(": program ident"));
            else
                run.progress(label + QStringLiteral(": address ") + rs.CurrentProgramAdd());
        });
        m_timer.start();
    }

private:
    QTimer m_timer;
};

int runProgramUpload(CliRun& run, const CliCommand& c, CliPort&)
{
    RSComm& rs = run.rs();
    rs.setUploadFile(c.rest[0]);
    rs.setInUploadMode(true);
    Status uploaded = done();
    {
        ProgramProgress progress(run, QStringLiteral("Program upload"));
        uploaded = rs.UploadProgram();
    }
    run.endProgress();
    if (!uploaded)
        return run.failed(QStringLiteral("program upload not complete"), uploaded.error());
    return code(CliExit::Ok);
}

int runProgramDownload(CliRun& run, const CliCommand&, CliPort&)
{
    RSComm& rs = run.rs();
    Status loaded = done();
    {
        ProgramProgress progress(run, QStringLiteral("Program download"));
        loaded = rs.DumpProgram();
    }
    run.endProgress();
    if (!loaded)
        return run.failed(QStringLiteral("program download not complete"), loaded.error());
    return code(CliExit::Ok);
}

int runStatus(CliRun& run, const CliCommand&, CliPort& port)
{
    RSComm& rs = run.rs();
    const Result<qint16> firmware = rs.FirmwareRev();
    if (!firmware)
        return run.failed(QStringLiteral("reading the firmware revision failed"), firmware.error());
    const Result<qint16> fault = rs.FaultCode();
    if (!fault)
        return run.failed(QStringLiteral("reading the fault code failed"), fault.error());
    QTextStream& out = run.out();
    out << "mode: " << (rs.OnlineMode ? "ONLINE" : "OFFLINE") << Qt::endl;
    out << "port: COM" << port.commPort() << ' ' << port.deviceForPort(port.commPort()) << ' '
        << port.settings() << Qt::endl;
    out << "firmware revision: " << *firmware << Qt::endl;
    out << "fault code: " << *fault << Qt::endl;
    out << "fault: " << faultDescriptionText(*fault, run.folder(), run.prompter()) << Qt::endl;
    return code(CliExit::Ok);
}

// ---- the table of commands ----

std::optional<QString> checkAddresses(CliCommand& c)
{
    if (c.rest.isEmpty())
        return QStringLiteral("read needs at least one address");
    for (const QString& a : c.rest) {
        if (std::optional<QString> problem = cliAddressProblem(a))
            return problem;
    }
    return std::nullopt;
}

// A value as a message shows it: control characters as "?", a byte that is
// not UTF-8 as \xE9.
QString shownValue(const QString& text)
{
    QString value = shownFileName(text);
    for (QChar& ch : value) {
        if (ch.unicode() < 0x20 || ch.unicode() == 0x7F)
            ch = QLatin1Char('?');
    }
    return value;
}

std::optional<QString> checkWrite(CliCommand& c)
{
    if (c.rest.size() != 2)
        return QStringLiteral("write needs an address and a value");
    if (std::optional<QString> problem = cliAddressProblem(c.rest[0]))
        return problem;
    // A script's value is taken as it stands or not at all: the field rules
    // of the windows (blanks, "%" and decimal marks dropped, empty text as 0)
    // would turn "1.5" into 15 and an unset variable into 0.
    static const QRegularExpression kDigits(QStringLiteral("^[0-9]+$"));
    if (!kDigits.match(c.rest[1]).hasMatch()) {
        c.refusedValue
            = QStringLiteral("%1: the value \"%2\" is not allowed: write takes a whole number in "
                             "decimal digits (no sign, decimal mark, separator, exponent or blank)")
                  .arg(c.rest[0], shownValue(c.rest[1]));
    }
    return std::nullopt;
}

std::optional<QString> checkTransfer(CliCommand& c, bool upload)
{
    if (c.rest.size() != 1 || !(c.group = groupCode(c.rest[0])))
        return c.name + QStringLiteral(" needs one of params, timing, shift, all");
    if (!c.parser.isSet(upload ? c.options.output : c.options.input))
        return c.name + (upload ? QStringLiteral(" needs -o FILE.sdt") : QStringLiteral(" needs -i FILE.sdt"));
    return std::nullopt;
}

std::optional<QString> checkCompare(CliCommand& c)
{
    if (c.rest.size() != 1 || !(c.scope = compareScopeNamed(c.rest[0])))
        return QStringLiteral("compare needs one of params, timing, all");
    if (!c.parser.isSet(c.options.input))
        return QStringLiteral("compare needs -i FILE.sdt");
    return std::nullopt;
}

std::optional<QString> checkProgramFile(CliCommand& c)
{
    if (c.rest.size() != 1)
        return c.name + QStringLiteral(" needs one program file (.nvk)");
    return std::nullopt;
}

std::optional<QString> checkNothing(CliCommand& c)
{
    if (!c.rest.isEmpty())
        return c.name + QStringLiteral(" takes no arguments");
    return std::nullopt;
}

// The files a command reads or writes, checked before the link opens: a
// failure, or done.
Status checkUploadFile(const CliCommand& c, RSComm&)
{
    if (const std::optional<QString> problem = outputProblem(c.parser.value(c.options.output)))
        return fail(Cause::BadFile, *problem);
    return done();
}

// Reads the set-up file at `path` (by its bytes) into FileData.
Status readInputFile(const QString& path)
{
    const QString shown = shownFileName(path);
    bool missing = false;
    if (const std::optional<QString> problem = notARegularFile(path, &missing))
        return fail(Cause::BadFile, *problem);
    if (missing)
        return fail(Cause::BadFile, QStringLiteral("%1: no such file").arg(shown));
    QString reason;
    const std::optional<QByteArray> bytes = readNativeFile(path, kMaxSetupFileBytes, &reason);
    if (!bytes)
        return fail(Cause::BadFile, QStringLiteral("%1: %2").arg(shown, reason));
    if (!decodeSetupRecord(*bytes, FileData, &reason)) {
        if (bytes->size() >= kMaxSetupFileBytes)
            reason = QStringLiteral("The file holds no complete set-up record within its first %1 bytes.")
                         .arg(kMaxSetupFileBytes);
        return fail(Cause::BadFile, QStringLiteral("%1: %2").arg(shown, reason));
    }
    return done();
}

Status checkDownloadFile(const CliCommand& c, RSComm&)
{
    const QString path = c.parser.value(c.options.input);
    if (const Status read = readInputFile(path); !read)
        return read;
    if (FileData.Version != ProgramVersion && !c.parser.isSet(c.options.anyVersion)) {
        return fail(Cause::BadFile,
            QStringLiteral("%1 was created by set-up program version %2 (this is %3); its data "
                           "tables may not be properly aligned. --any-version downloads it anyway")
                .arg(shownFileName(path), FileData.Version, ProgramVersion));
    }
    AcceptFileData();
    return done();
}

Status checkProgramUploadFile(const CliCommand& c, RSComm&)
{
    if (!QFileInfo(c.rest[0]).isFile()) {
        return fail(Cause::BadFile,
            QStringLiteral("%1: no such program file (its first character names the board)").arg(c.rest[0]));
    }
    return done();
}

Status checkProgramDownloadFile(const CliCommand& c, RSComm& rs)
{
    rs.setDownloadFile(c.rest[0]);
    if (!rs.ValidProgram())
        return fail(Cause::BadFile, QStringLiteral("%1 is not a valid program file set").arg(c.rest[0]));
    return done();
}

struct CommandEntry
{
    const char* name;
    const char* arguments; // as the usage shows them
    const char* help;
    bool writes; // to the controller: needs --yes
    std::optional<QString> (*check)(CliCommand&);
    Status (*files)(const CliCommand&, RSComm&); // or none
    int (*run)(CliRun&, const CliCommand&, CliPort&);
    // A command that does not open the link runs this instead.
    int (*withoutLink)(const CliCommand&, CliContext&, const ProgramFolder&) = nullptr;
};

std::optional<QString> checkJournal(CliCommand& c)
{
    if (!c.rest.isEmpty())
        return QStringLiteral("journal takes no arguments");
    return journalOptionProblem(c.parser.value(c.options.since), c.parser.value(c.options.kind));
}

int runJournal(const CliCommand& c, CliContext& context, const ProgramFolder& folder)
{
    JournalRequest request;
    request.connection = c.parser.value(c.options.journal);
    request.since = c.parser.value(c.options.since);
    request.kind = c.parser.value(c.options.kind);
    request.press = c.parser.value(c.options.press);
    request.csv = c.parser.isSet(c.options.csv);
    return printJournal(request, folder, context.out, context.err);
}

const std::array<CommandEntry, 9> kCommands { {
    { "read", "ADDRESS...", "print ADDRESS=VALUE for each address", false, checkAddresses, nullptr, runRead },
    { "write", "ADDRESS VALUE --yes", "write one value, print it as read back", true, checkWrite, nullptr,
        runWrite },
    { "upload", "params|timing|shift|all -o FILE.sdt", "save controller data in a set-up file", false,
        [](CliCommand& c) { return checkTransfer(c, true); }, checkUploadFile, runUpload },
    { "download", "params|timing|shift|all -i FILE.sdt --yes [--any-version]",
        "send a set-up file's data to the controller", true, [](CliCommand& c) { return checkTransfer(c, false); },
        checkDownloadFile, runDownload },
    { "compare", "params|timing|all -i FILE.sdt [--csv] [--strict] [--any-version]",
        "list where the controller differs from a set-up file", false, checkCompare, checkDownloadFile,
        runCompare },
    { "program-upload", "FILE.nvk", "read the controller's program into a file set", false, checkProgramFile,
        checkProgramUploadFile, runProgramUpload },
    { "program-download", "FILE.nvk --yes", "load a program file set into the controller", true,
        checkProgramFile, checkProgramDownloadFile, runProgramDownload },
    { "status", "", "mode, firmware revision, fault code and text", false, checkNothing, nullptr, runStatus },
    { "journal", "[--since DATE] [--kind KIND] [--press NAME] [--csv]",
        "print the press journal (KIND: alarms, writes, transfers, samples, events)", false, checkJournal, nullptr,
        nullptr, runJournal },
} };

const CommandEntry* findCommand(const QString& name)
{
    for (const CommandEntry& entry : kCommands) {
        if (name == QLatin1String(entry.name))
            return &entry;
    }
    return nullptr;
}

} // namespace

QString talvekCliUsage()
{
    QString text = QStringLiteral(
        "Usage: talvek-cli [--port N | --device PATH|URL | --press NAME [--plant FILE]]\n"
        "                  [--baud 9600|19200] [--trace FILE]\n"
        "                  [--program-folder DIR] [--journal CONNECTION] COMMAND\n"
        "\n"
        "Commands:\n");
    for (const CommandEntry& entry : kCommands) {
        QString line = QStringLiteral("  %1 %2").arg(QLatin1String(entry.name), QLatin1String(entry.arguments));
        if (line.size() > 42)
            line += QLatin1Char('\n') + QString(43, QLatin1Char(' '));
        else
            line = line.leftJustified(43);
        text += line + QLatin1String(entry.help) + QLatin1Char('\n');
    }
    text += QStringLiteral(
        "\n"
        "Without --port, --device and --baud it uses the port TALVEK uses: the port settings\n"
        "support/RSPort.cfg and the port links support/ports/COMn in ~/.config/TALVEK when\n"
        "installed, beside the program in a portable copy, or in DIR with --program-folder DIR.\n"
        "It reads them and never writes them (no settings: port 1 at 9600 baud).\n"
        "--device and a port link also take a serial device server's port:\n"
        "rfc2217://HOST:PORT (Telnet with RFC 2217) or socket://HOST:PORT (raw TCP).\n"
        "--press NAME takes the port and speed of that press from the plant file\n"
        "support/Presses.cfg (or --plant FILE): \"name, port, speed[, set-up file]\" a line.\n"
        "--all-presses runs \"upload all -o DIR\" (DIR/NAME.sdt), \"compare all\" (against each\n"
        "press's set-up file) or \"status\" on every press of the plant file at once, one line\n"
        "a press; it exits 0 only when every press succeeded.\n"
        "Addresses: B166, W1026, D1100, F15, B1018.0, 1FF0H; none whose bytes reach FF00H (the\n"
        "high byte FFH is the attention byte). A value to write is decimal digits only. talvek-cli\n"
        "never asks: what TALVEK would ask about fails with a message on stderr. --trace FILE\n"
        "writes the exchange log of the link monitor.\n"
        "Every write is recorded in the press journal that TALVEK keeps (journal/journal.sqlite\n"
        "in ~/.local/share/TALVEK, in .talvek/ of a portable copy); --journal names\n"
        "another: a SQLite file, a PostgreSQL connection (\"host=... dbname=... user=...\"),\n"
        "or off. --since takes 2026-03-05 or 2026-03-05T14:00 and nothing after it.\n"
        "\n"
        "Exit codes: 0 done, 1 compare found differences, 2 usage, 3 file, 4 no such device,\n"
        "5 permission denied, 6 port in use or not set up, 7 controller silent, 8 value refused,\n"
        "9 controller refused or link fault, 10 a write without --yes, 11 the controller holds a\n"
        "value an interrupted run may have changed (named on stderr). An upload or download\n"
        "that stopped part way exits with the code of what stopped it and names the rows and\n"
        "channels not moved; a compare that could not read a value names the values not read.\n"
        "compare prints one line per difference: ADDRESS CAPTION: file VALUE, controller VALUE\n"
        "(with --csv: group,address,caption,file,controller); the shift data is not compared.\n"
        "A channel the PLS holds as a pulse train, where the file holds it empty (a set-up file\n"
        "cannot hold a pulse train), is a note on a line of its own, not a difference: it makes\n"
        "the exit code 1 only with --strict.\n");
    return text;
}

std::optional<QString> cliAddressProblem(const QString& address)
{
    static const QRegularExpression kSyntax(QStringLiteral(
        "^(?:([BbWwDd])(\\d{1,5})|[Ff](\\d{1,6})|[A-Za-z](\\d{1,5})\\.[0-7]|([0-9A-Fa-f]{1,4})[Hh])$"));
    const QRegularExpressionMatch m = kSyntax.match(address);
    // The byte address of the value and its size in bytes.
    qint64 first = -1;
    int count = 1;
    if (m.hasCaptured(2)) {
        first = m.captured(2).toInt();
        const QChar type = m.captured(1).front().toUpper();
        count = type == QLatin1Char('W') ? 2 : type == QLatin1Char('D') ? 4 : 1;
    } else if (m.hasCaptured(3)) {
        first = m.captured(3).toInt() / 8 + 32;
    } else if (m.hasCaptured(4)) {
        first = m.captured(4).toInt();
    } else if (m.hasCaptured(5)) {
        first = m.captured(5).toInt(nullptr, 16);
    }
    if (first < 0 || first > 0xFFFF)
        return QStringLiteral("%1 is not a controller address").arg(address);
    if (const std::optional<qint64> byte = unreachableByte(first, count)) {
        const QString where = *byte == first ? QStringLiteral("its address") : QStringLiteral("its byte");
        return QStringLiteral(
            "%1 cannot be reached: %2 %3H has the high byte FFH, the attention byte, which the "
            "board takes as the start of a handshake")
            .arg(address, where, QString::number(*byte, 16).toUpper());
    }
    return std::nullopt;
}

bool isCliAddress(const QString& address)
{
    return !cliAddressProblem(address);
}

CliPort::CliPort(std::unique_ptr<SerialPortControl> inner, std::optional<int> port, std::optional<int> baud)
    : m_inner(std::move(inner))
    , m_port(port)
    , m_baud(baud)
{ }

void CliPort::setCommPort(int port)
{
    m_inner->setCommPort(m_port.value_or(port));
}

void CliPort::setSettings(const QString& settings)
{
    if (!m_baud) {
        m_inner->setSettings(settings);
        return;
    }
    QStringList fields = settings.split(QLatin1Char(','));
    fields[0] = QString::number(*m_baud);
    m_inner->setSettings(fields.join(QLatin1Char(',')));
}

namespace {

// What is wrong with --port and --baud, or nothing.
std::optional<QString> portProblem(CliCommand& c)
{
    if (c.parser.isSet(c.options.port) && c.parser.isSet(c.options.device))
        return QStringLiteral("--port and --device exclude each other");
    // --press names the press to talk to (the journal: whose rows to show).
    if (c.parser.isSet(c.options.press) && c.name != QLatin1String("journal")
        && (c.parser.isSet(c.options.port) || c.parser.isSet(c.options.device)))
        return QStringLiteral("--press excludes --port and --device");
    if (c.parser.isSet(c.options.port)) {
        bool ok = false;
        const int n = c.parser.value(c.options.port).toInt(&ok);
        if (!ok || n < 1 || n > 99)
            return QStringLiteral("--port takes a port number 1..99");
        c.port = n;
    }
    if (c.parser.isSet(c.options.baud)) {
        const QString b = c.parser.value(c.options.baud);
        bool number = false;
        const int baud = b.toInt(&number);
        if (!number || !isSupportedSpeed(baud))
            return QStringLiteral("--baud takes 9600 or 19200");
        c.baud = baud;
    }
    const bool networkDevice
        = c.parser.isSet(c.options.device) && looksLikeNetworkPort(c.parser.value(c.options.device));
    if (networkDevice) {
        QString why;
        if (!parsePortAddress(c.parser.value(c.options.device), &why))
            return why;
    }
#ifdef Q_OS_WIN
    if (c.parser.isSet(c.options.device) && !networkDevice) {
        // On Windows the device is a COM port by its number.
        static const QRegularExpression com(
            QStringLiteral("^(?:\\\\\\\\\\.\\\\)?COM(\\d{1,2})$"), QRegularExpression::CaseInsensitiveOption);
        const QRegularExpressionMatch m = com.match(c.parser.value(c.options.device));
        if (!m.hasMatch())
            return QStringLiteral("--device takes COM1..COM99 here");
        c.port = m.captured(1).toInt();
    }
#endif
    return std::nullopt;
}

// -o and -i take a file name of any bytes; every other name (the options'
// and the program file sets') goes through Qt, which would open another file
// for one that is not UTF-8.
std::optional<QString> nameProblem(const CliCommand& c)
{
    const CliOptions& o = c.options;
    for (const QCommandLineOption* option : { &o.trace, &o.folder, &o.journal, &o.device }) {
        const QString value = c.parser.value(*option);
        if (!qtCanName(value)) {
            return QStringLiteral("--%1 %2: only -o and -i take a name that is not UTF-8")
                .arg(option->names().front(), shownFileName(value));
        }
    }
    if (!c.name.startsWith(QLatin1String("program-")))
        return std::nullopt;
    for (const QString& argument : c.rest) {
        if (!qtCanName(argument))
            return QStringLiteral("%1: only -o and -i take a name that is not UTF-8")
                .arg(shownFileName(argument));
    }
    return std::nullopt;
}

// --trace FILE: the link monitor's exchange log goes to the file. False when
// the file cannot be written.
bool startTrace(const CliCommand& c, QFile& trace, std::unique_ptr<LinkMonitor>& monitor, RSComm& rs,
    CliPrompter& prompter)
{
    if (!c.parser.isSet(c.options.trace))
        return true;
    trace.setFileName(c.parser.value(c.options.trace));
    if (!trace.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
        prompter.note(QStringLiteral("%1: %2").arg(trace.fileName(), trace.errorString()));
        return false;
    }
    monitor = std::make_unique<LinkMonitor>(64);
    trace.write(LinkMonitor::logHeader().toLatin1() + '\n');
    LinkMonitor* m = monitor.get();
    monitor->setSink(
        [&trace, m](const LinkMonitor::Exchange& e) { trace.write(m->formatExchange(e).toLatin1() + '\n'); });
    rs.setMonitor(monitor.get());
    return true;
}

// Bytes the board may have stored beside a value this run (a lost byte
// inside a write), and addresses it may still be waiting to store at (kept
// in the link's write-ahead record for the next run). True when anything was
// said.
bool reportStrayStores(const RSComm& rs, CliPrompter& prompter)
{
    const ByteLink& link = rs.byteLink();
    for (const int address : link.strayStores())
        prompter.note(QStringLiteral("B%1 may have been changed by a lost byte inside a write").arg(address));
    if (link.lostTrack())
        prompter.note(
            QStringLiteral("a lost byte inside a write may have changed a byte at an address the link "
                           "cannot tell"));
    QStringList names;
    for (const int address : link.pendingStores())
        names << QStringLiteral("B%1").arg(address);
    if (!names.isEmpty())
        prompter.note(QStringLiteral("the link ended inside a write: the board may store its next byte at %1")
                          .arg(names.join(QStringLiteral(" or "))));
    if (link.plsWritePending())
        prompter.note(QStringLiteral("the link ended inside a PLS write: the next bytes the board hears may "
                                     "change the PLS"));
    return !link.strayStores().isEmpty() || link.lostTrack() || !names.isEmpty() || link.plsWritePending();
}

// --press NAME: that press of the plant file (--plant FILE, or
// support/Presses.cfg of the program folder).
Result<PlantPress> plantPress(const CliCommand& c, const ProgramFolder& folder)
{
    const QString path = c.parser.isSet(c.options.plant) ? QFileInfo(c.parser.value(c.options.plant)).absoluteFilePath()
                                                         : folder.resolve(QLatin1String(kPlantFile));
    const Result<PlantFile> plant = readPlantFile(path);
    if (!plant)
        return plant.error();
    const QString name = c.parser.value(c.options.press);
    const PlantPress* press = plant->find(name);
    if (!press)
        return fail(Cause::BadFile,
            QStringLiteral("%1: no press named \"%2\"").arg(QDir::toNativeSeparators(path), name));
    return *press;
}

// Checks the command's files, opens the link, runs the command, closes the
// link and the trace.
int runOnLink(const CommandEntry& entry, const CliCommand& c, CliContext& context, const ProgramFolder& folder,
    CliPrompter& prompter)
{
    InitMachineData();
    CliRun run(context, folder, prompter);
    RSComm& rs = run.rs();
    // The command line's writes go into the press journal as TALVEK's do.
    CliJournal journal(folder, c.parser.value(c.options.journal), rs, context.clock, prompter);
    if (entry.files) {
        if (const Status files = entry.files(c, rs); !files) {
            prompter.note(files.error().detail);
            return code(CliExit::File);
        }
    }
    std::unique_ptr<LinkMonitor> monitor;
    QFile trace;
    if (!startTrace(c, trace, monitor, rs, prompter))
        return code(CliExit::File);

    // A network port's URL stands as written; a device path is made absolute.
    QString given = c.parser.isSet(c.options.device) ? c.parser.value(c.options.device) : QString();
    std::optional<int> port = c.port;
    std::optional<int> baud = c.baud;
    if (c.parser.isSet(c.options.press)) {
        const Result<PlantPress> press = plantPress(c, folder);
        if (!press) {
            prompter.note(press.error().detail);
            return code(CliExit::File);
        }
        if (press->commPort > 0)
            port = press->commPort;
        else
            given = press->port;
        if (!baud)
            baud = press->speed;
    }
#ifdef Q_OS_WIN
    const QString device = looksLikeNetworkPort(given) ? given.trimmed() : QString();
#else
    const QString device = given.isEmpty() ? QString()
        : looksLikeNetworkPort(given)      ? given.trimmed()
                                           : QFileInfo(given).absoluteFilePath();
#endif
    CliPort serial(context.makePort(folder, device), device.isEmpty() ? port : std::optional<int>(1), baud);
    rs.OnlineMode = true;
    rs.OpenRSComm(&serial);
    int result = 0;
    if (const Status opened = rs.openOutcome(); !opened || !rs.OnlineMode) {
        // A device named with --device has no port number.
        const QString where = device.isEmpty()
            ? QStringLiteral("COM%1 %2").arg(serial.commPort()).arg(serial.deviceForPort(serial.commPort()))
            : device;
        result = run.failed(QStringLiteral("the controller link could not be opened (%1)").arg(where),
            opened ? fail(Cause::SilentLine) : opened.error());
    } else if (const ByteLink::EarlierRun& earlier = rs.byteLink().earlierRun(); earlier.insideRecord) {
        // The opening's box has named what the board may have stored: the
        // command is not run on a controller in that state.
        prompter.note(
            QStringLiteral("%1 was not run: the controller may hold a value an interrupted run changed")
                .arg(c.name));
        result = code(CliExit::Interrupted);
    } else {
        result = entry.run(run, c, serial);
        // What an earlier run left was named: the run does not pass as clean.
        if (earlier.found() && result == code(CliExit::Ok))
            result = code(CliExit::Interrupted);
    }
    rs.CloseRSComm();
    if (reportStrayStores(rs, prompter) && result == code(CliExit::Ok))
        result = code(CliExit::ControllerRefused);
    if (monitor)
        monitor->flushSink();
    rs.setMonitor(nullptr);
    if (trace.isOpen() && (!trace.flush() || trace.error() != QFileDevice::NoError)) {
        prompter.note(QStringLiteral("%1: %2").arg(trace.fileName(), trace.errorString()));
        if (result == code(CliExit::Ok))
            result = code(CliExit::File);
    }
    return result;
}

// --all-presses: the command on every press of the plant file, each in a
// talvek-cli of its own.
int runOnAllPresses(const CliCommand& c, CliContext& context, const std::function<int(const QString&)>& usage)
{
    for (const QCommandLineOption* excluded : { &c.options.press, &c.options.port, &c.options.device })
        if (c.parser.isSet(*excluded))
            return usage(QStringLiteral("--all-presses excludes --press, --port and --device"));
    if (const std::optional<QString> problem = allPressesProblem(c.name, c.rest, c.parser.isSet(c.options.output)))
        return usage(*problem);
    if (c.parser.isSet(c.options.yes))
        return usage(QStringLiteral("--all-presses only reads from the presses"));
    const ProgramFolder folder = c.parser.isSet(c.options.folder)
        ? context.folder.withSettingsIn(c.parser.value(c.options.folder))
        : context.folder;
    const QString path = c.parser.isSet(c.options.plant) ? QFileInfo(c.parser.value(c.options.plant)).absoluteFilePath()
                                                         : folder.resolve(QLatin1String(kPlantFile));
    const Result<PlantFile> plant = readPlantFile(path);
    if (!plant) {
        context.err << "talvek-cli: " << plant.error().detail << '\n' << Qt::flush;
        return code(CliExit::File);
    }
    AllPressesRun run { QCoreApplication::applicationFilePath(), {}, c.name, c.rest,
        c.parser.isSet(c.options.output) ? QFileInfo(c.parser.value(c.options.output)).absoluteFilePath() : QString() };
    for (const QCommandLineOption* kept : { &c.options.folder, &c.options.journal, &c.options.baud })
        if (c.parser.isSet(*kept))
            run.forwarded << QStringLiteral("--") + kept->names().front() << c.parser.value(*kept);
    if (c.parser.isSet(c.options.anyVersion))
        run.forwarded << QStringLiteral("--any-version");
    return runAllPresses(*plant, run, context.out, context.err);
}

} // namespace

namespace {

// The parser takes every argument that begins with "-" for an option, and
// "-1" for an option named 1. An argument that begins with "-" and a digit,
// "." or "," is no option of ours: unless it is the value of the option
// before it, it is a command argument (a value to write), and goes through
// the parser marked as one.
constexpr QChar kNotAnOption = QChar(u'\uE000');

QStringList markNegativeNumbers(const QStringList& arguments, const QList<QCommandLineOption>& options)
{
    QStringList takingValue;
    for (const QCommandLineOption& option : options) {
        if (option.valueName().isEmpty())
            continue;
        for (const QString& name : option.names())
            takingValue << QStringLiteral("-") + name << QStringLiteral("--") + name;
    }
    static const QRegularExpression kNumberLike(QStringLiteral("^-[0-9.,]"));
    QStringList marked;
    bool optionValue = false;
    bool positionalOnly = false;
    for (const QString& a : arguments) {
        if (!optionValue && !positionalOnly && kNumberLike.match(a).hasMatch())
            marked << QString(kNotAnOption) + a;
        else
            marked << a;
        positionalOnly = positionalOnly || (!optionValue && a == QLatin1String("--"));
        optionValue = !optionValue && !positionalOnly && takingValue.contains(a);
    }
    return marked;
}

QStringList unmarked(QStringList arguments)
{
    for (QString& a : arguments) {
        if (a.startsWith(kNotAnOption))
            a.remove(0, 1);
    }
    return arguments;
}

} // namespace

int runTalvekCli(const QStringList& arguments, CliContext& context)
{
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const CliOptions o;
    const QList<QCommandLineOption> options { o.port, o.device, o.baud, o.trace, o.folder, o.yes,
        o.anyVersion, o.output, o.input, o.journal, o.since, o.kind, o.press, o.plant, o.allPresses, o.csv,
        o.strict, o.help };
    parser.addOptions(options);

    QTextStream& err = context.err;
    auto usage = [&](const QString& problem) {
        err << "talvek-cli: " << problem << '\n' << talvekCliUsage() << Qt::flush;
        return code(CliExit::Usage);
    };

    if (!parser.parse(QStringList { QStringLiteral("talvek-cli") } + markNegativeNumbers(arguments, options)))
        return usage(parser.errorText());
    if (parser.isSet(o.help)) {
        context.out << talvekCliUsage() << Qt::flush;
        return code(CliExit::Ok);
    }
    const QStringList args = unmarked(parser.positionalArguments());
    if (args.isEmpty())
        return usage(QStringLiteral("no command"));

    // The command line is checked before anything touches the port.
    CliCommand command { parser, o, args.front(), args.mid(1) };
    const CommandEntry* entry = findCommand(command.name);
    if (!entry)
        return usage(QStringLiteral("unknown command %1").arg(command.name));
    if (parser.isSet(o.allPresses))
        return runOnAllPresses(command, context, usage);
    if (const std::optional<QString> problem = portProblem(command))
        return usage(*problem);
    if (const std::optional<QString> problem = nameProblem(command))
        return usage(*problem);
    if (const std::optional<QString> problem = entry->check(command))
        return usage(*problem);

    CliPrompter prompter(err, parser.isSet(o.yes));
    if (command.refusedValue) {
        prompter.note(*command.refusedValue);
        return code(CliExit::ValueRefused);
    }
    if (entry->writes && !parser.isSet(o.yes)) {
        prompter.note(command.name + QStringLiteral(" writes to the controller: add --yes to go ahead"));
        return code(CliExit::NeedsYes);
    }

    const ProgramFolder folder
        = parser.isSet(o.folder) ? context.folder.withSettingsIn(parser.value(o.folder)) : context.folder;
    if (entry->withoutLink)
        return entry->withoutLink(command, context, folder);
    const int result = runOnLink(*entry, command, context, folder, prompter);
    prompter.endRun(result == code(CliExit::Ok));
    return result;
}

} // namespace talvek
