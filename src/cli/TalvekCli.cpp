#include "cli/TalvekCli.h"

#include "base/Clock.h"
#include "base/ProgramFolder.h"
#include "link/CodeTables.h"
#include "link/CommPortSettings.h"
#include "link/K7700Registers.h"
#include "link/LinkMonitor.h"
#include "link/RSComm.h"
#include "shared/DataTransfer.h"
#include "shared/MachineData.h"
#include "shared/SetupFile.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>

namespace talvek {

namespace {

struct DataGroup
{
    const char* name;
    qint16 code;
};

constexpr std::array<DataGroup, 4> kGroups { {
    { "params", TransferSetupParameters },
    { "timing", TransferTimingChannels },
    { "shift", TransferShiftData },
    { "all", TransferAll },
} };

std::optional<qint16> groupCode(const QString& name)
{
    for (const DataGroup& g : kGroups) {
        if (name == QLatin1String(g.name))
            return g.code;
    }
    return std::nullopt;
}

int code(CliExit e)
{
    return int(e);
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

    // The exit code after a controller operation failed: the cause the link
    // reported, or `fallback`.
    int failed(const QString& what, CliExit fallback = CliExit::ControllerRefused)
    {
        m_prompter.fail(fallback, what);
        return code(m_prompter.failure());
    }

    // A read with one repetition when it failed without a link failure (an
    // echo went wrong), as the program upload reads; nothing when it failed.
    std::optional<QString> read(const QString& address)
    {
        ByteLink& link = m_rs.byteLink();
        QString value = link.ReadValue(address);
        if (value.isEmpty() && !link.CommError)
            value = link.ReadValue(address);
        if (value.isEmpty())
            return std::nullopt;
        return value;
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

int runRead(CliRun& run, const QStringList& addresses)
{
    for (const QString& address : addresses) {
        const std::optional<QString> value = run.read(address);
        if (!value)
            return run.failed(QStringLiteral("read of %1 failed").arg(address));
        run.out() << address << '=' << *value << Qt::endl;
    }
    return code(CliExit::Ok);
}

int runWrite(CliRun& run, const QString& address, const QString& value)
{
    RSComm& rs = run.rs();
    rs.RSWrite(address, value);
    if (run.prompter().failure() != CliExit::Ok)
        return run.failed(QStringLiteral("%1 was not written").arg(address));
    if (rs.CommError)
        return run.failed(QStringLiteral("write of %1 failed").arg(address));
    if (rs.byteLink().WriteMismatch) {
        return run.failed(QStringLiteral("write of %1 not confirmed: the controller's echo was wrong twice; "
                                         "the value may not have been written")
                              .arg(address));
    }
    const std::optional<QString> back = run.read(address);
    if (!back)
        return run.failed(QStringLiteral("%1 was written, but reading it back failed").arg(address));
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

int runUpload(CliRun& run, qint16 transfer, const QString& path)
{
    const QFileInfo target(path);
    if (!target.absoluteDir().exists())
        return run.failed(
            QStringLiteral("%1: no such folder").arg(QDir::toNativeSeparators(target.absolutePath())),
            CliExit::File);
    const std::optional<TransferWork> work = TransferWorkFor(transfer, ParamCount);
    DataTransfer upload(run.rs(), CurrentData, progressHooks(run, work->status, work->maximum));
    upload.Run(transfer, ParamCount);
    run.endProgress();
    if (run.rs().CommError)
        return run.failed(QStringLiteral("upload not complete; %1 not written").arg(path));
    if (upload.timingAborted()) {
        return run.failed(
            QStringLiteral("the PLS board refused a timing channel operation; %1 not written").arg(path));
    }
    QString reason;
    if (!SaveCurrentData(path, &reason))
        return run.failed(QStringLiteral("%1: %2").arg(path, reason), CliExit::File);
    return code(CliExit::Ok);
}

int runDownload(CliRun& run, qint16 transfer, const QString& path, bool anyVersion)
{
    QString reason;
    if (!LoadFileData(path, &reason))
        return run.failed(QStringLiteral("%1: %2").arg(path, reason), CliExit::File);
    if (FileData.Version != ProgramVersion && !anyVersion) {
        return run.failed(
            QStringLiteral("%1 was created by set-up program version %2 (this is %3); its data "
                           "tables may not be properly aligned. --any-version downloads it anyway")
                .arg(path, FileData.Version, ProgramVersion),
            CliExit::File);
    }
    AcceptFileData();
    const qint16 code = transfer + TransferDownloadOffset;
    const std::optional<TransferWork> work = TransferWorkFor(code, ParamCount);
    DataTransfer download(run.rs(), CurrentData, progressHooks(run, work->status, work->maximum));
    download.Run(code, ParamCount);
    run.endProgress();
    if (run.rs().CommError)
        return run.failed(QStringLiteral("download not complete"));
    if (download.timingAborted())
        return run.failed(
            QStringLiteral("the PLS board refused a timing channel operation; download not complete"));
    if (run.rs().byteLink().WriteMismatch)
        return run.failed(
            QStringLiteral("a write was not confirmed by the controller; download not complete"));
    return int(CliExit::Ok);
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

int runProgramUpload(CliRun& run, const QString& path)
{
    if (!QFileInfo(path).isFile()) {
        return run.failed(
            QStringLiteral("%1: no such program file (its first character names the board)").arg(path),
            CliExit::File);
    }
    RSComm& rs = run.rs();
    rs.setUploadFile(path);
    rs.setInUploadMode(true);
    {
        ProgramProgress progress(run, QStringLiteral("Program upload"));
        rs.UploadProgram();
    }
    run.endProgress();
    if (run.prompter().lastText() != QLatin1String("Program Upload Complete!"))
        return run.failed(QStringLiteral("program upload not complete"));
    return code(CliExit::Ok);
}

int runProgramDownload(CliRun& run, const QString& path)
{
    RSComm& rs = run.rs();
    {
        ProgramProgress progress(run, QStringLiteral("Program download"));
        rs.DumpProgram();
    }
    run.endProgress();
    if (run.prompter().lastText() != QLatin1String("Program Download Complete!"))
        return run.failed(QStringLiteral("program download not complete"));
    return code(CliExit::Ok);
}

int runStatus(CliRun& run, SerialPortControl& port)
{
    RSComm& rs = run.rs();
    const qint16 firmware = rs.FirmwareRev();
    if (rs.CommError)
        return run.failed(QStringLiteral("reading the firmware revision failed"));
    const std::optional<QString> fault = run.read(reg::faultCode);
    if (!fault)
        return run.failed(QStringLiteral("reading the fault code failed"));
    const qint16 faultCode = qint16(fault->toInt());
    QTextStream& out = run.out();
    out << "mode: " << (rs.OnlineMode ? "ONLINE" : "OFFLINE") << Qt::endl;
    out << "port: COM" << port.commPort() << ' ' << port.deviceForPort(port.commPort()) << ' '
        << port.settings() << Qt::endl;
    out << "firmware revision: " << firmware << Qt::endl;
    out << "fault code: " << faultCode << Qt::endl;
    out << "fault: " << FaultDescriptionText(faultCode, run.folder(), run.prompter()) << Qt::endl;
    return code(CliExit::Ok);
}

} // namespace

QString TalvekCliUsage()
{
    return QStringLiteral(
        "Usage: talvek-cli [--port N | --device PATH] [--baud 9600|19200] [--trace FILE] COMMAND\n"
        "\n"
        "Commands:\n"
        "  read ADDRESS...                          print ADDRESS=VALUE for each address\n"
        "  write ADDRESS VALUE --yes                write one value, print it as read back\n"
        "  upload params|timing|shift|all -o FILE.sdt\n"
        "                                           save controller data in a set-up file\n"
        "  download params|timing|shift|all -i FILE.sdt --yes [--any-version]\n"
        "                                           send a set-up file's data to the controller\n"
        "  program-upload FILE.nvk                  read the controller's program into a file set\n"
        "  program-download FILE.nvk --yes          load a program file set into the controller\n"
        "  status                                   mode, firmware revision, fault code and text\n"
        "\n"
        "Without --port, --device and --baud the port settings are TALVEK's (support/RSPort.cfg\n"
        "beside the program, or under --program-folder DIR). Addresses: B166, W1026, D1100, F15,\n"
        "B1018.0, 1FF0H. talvek-cli never asks: what TALVEK would ask about fails with a message\n"
        "on stderr. --trace FILE writes the exchange log of the link monitor.\n"
        "\n"
        "Exit codes: 0 done, 2 usage, 3 file, 4 no such device, 5 permission denied,\n"
        "6 port in use or not set up, 7 controller silent, 8 value refused, 9 controller refused\n"
        "or link fault, 10 a write without --yes.\n");
}

bool IsCliAddress(const QString& address)
{
    static const QRegularExpression syntax(QStringLiteral(
        "^(?:[BbWwDd](\\d{1,5})|[Ff](\\d{1,6})|[A-Za-z](\\d{1,5})\\.[0-7]|([0-9A-Fa-f]{1,4})[Hh])$"));
    const QRegularExpressionMatch m = syntax.match(address);
    if (!m.hasMatch())
        return false;
    if (m.hasCaptured(1))
        return m.captured(1).toInt() <= 65535;
    if (m.hasCaptured(2))
        return m.captured(2).toInt() / 8 + 32 <= 65535;
    if (m.hasCaptured(3))
        return m.captured(3).toInt() <= 65535;
    return true;
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
    QCommandLineOption help { QStringList { QStringLiteral("h"), QStringLiteral("help") } };
};

// A command line as parsed: the command, its arguments, the options.
struct CliCommand
{
    const QCommandLineParser& parser;
    const CliOptions& options;
    QString name;
    QStringList rest;
    std::optional<int> port;
    std::optional<int> baud;
    std::optional<qint16> group; // upload and download
};

// What is wrong with --port and --baud, or nothing.
std::optional<QString> portProblem(CliCommand& c)
{
    if (c.parser.isSet(c.options.port) && c.parser.isSet(c.options.device))
        return QStringLiteral("--port and --device exclude each other");
    if (c.parser.isSet(c.options.port)) {
        bool ok = false;
        const int n = c.parser.value(c.options.port).toInt(&ok);
        if (!ok || n < 1 || n > 99)
            return QStringLiteral("--port takes a port number 1..99");
        c.port = n;
    }
    if (c.parser.isSet(c.options.baud)) {
        const QString b = c.parser.value(c.options.baud);
        if (b != QLatin1String("9600") && b != QLatin1String("19200"))
            return QStringLiteral("--baud takes 9600 or 19200");
        c.baud = b.toInt();
    }
    return std::nullopt;
}

// What is wrong with the command and its arguments, or nothing.
std::optional<QString> commandProblem(CliCommand& c)
{
    const QString& command = c.name;
    const QStringList& rest = c.rest;
    if (command == QLatin1String("read")) {
        if (rest.isEmpty())
            return QStringLiteral("read needs at least one address");
        for (const QString& a : rest) {
            if (!IsCliAddress(a))
                return QStringLiteral("%1 is not a controller address").arg(a);
        }
    } else if (command == QLatin1String("write")) {
        if (rest.size() != 2)
            return QStringLiteral("write needs an address and a value");
        if (!IsCliAddress(rest[0]))
            return QStringLiteral("%1 is not a controller address").arg(rest[0]);
    } else if (command == QLatin1String("upload") || command == QLatin1String("download")) {
        const bool upload = command == QLatin1String("upload");
        if (rest.size() != 1 || !(c.group = groupCode(rest[0])))
            return command + QStringLiteral(" needs one of params, timing, shift, all");
        if (!c.parser.isSet(upload ? c.options.output : c.options.input))
            return command
                + (upload ? QStringLiteral(" needs -o FILE.sdt") : QStringLiteral(" needs -i FILE.sdt"));
    } else if (command == QLatin1String("program-upload") || command == QLatin1String("program-download")) {
        if (rest.size() != 1)
            return command + QStringLiteral(" needs one program file (.nvk)");
    } else if (command == QLatin1String("status")) {
        if (!rest.isEmpty())
            return QStringLiteral("status takes no arguments");
    } else {
        return QStringLiteral("unknown command %1").arg(command);
    }
    return std::nullopt;
}

bool writesToController(const QString& command)
{
    return command == QLatin1String("write") || command == QLatin1String("download")
        || command == QLatin1String("program-download");
}

// --device: a port link in a folder of our own names the device (on
// Windows the device is a COM port by its number). Nothing when the link
// could not be made (or the device is no COM port: `usageProblem`).
std::optional<ProgramFolder> devicePortFolder(CliCommand& c, const ProgramFolder& folder,
    std::optional<QTemporaryDir>& deviceFolder, CliPrompter& prompter, QString& usageProblem)
{
    const QString device = c.parser.value(c.options.device);
#ifdef Q_OS_WIN
    Q_UNUSED(deviceFolder);
    Q_UNUSED(prompter);
    static const QRegularExpression com(
        QStringLiteral("^(?:\\\\\\\\\\.\\\\)?COM(\\d{1,2})$"), QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = com.match(device);
    if (!m.hasMatch()) {
        usageProblem = QStringLiteral("--device takes COM1..COM99 here");
        return std::nullopt;
    }
    c.port = m.captured(1).toInt();
    return folder;
#else
    Q_UNUSED(folder);
    Q_UNUSED(usageProblem);
    deviceFolder.emplace();
    const QString link = deviceFolder->filePath(portLinkFile(1));
    if (!deviceFolder->isValid() || !QDir().mkpath(QFileInfo(link).absolutePath())
        || !QFile::link(QFileInfo(device).absoluteFilePath(), link)) {
        prompter.fail(CliExit::File, QStringLiteral("cannot make a port link in a temporary folder"));
        return std::nullopt;
    }
    c.port = 1;
    return ProgramFolder(deviceFolder->path());
#endif
}

// The files a command reads, checked before the link opens: true when
// they are there.
bool commandFilesPresent(const CliCommand& c, RSComm& rs, CliPrompter& prompter)
{
    if (c.name == QLatin1String("download")) {
        const QString path = c.parser.value(c.options.input);
        if (!QFileInfo(path).isFile()) {
            prompter.fail(CliExit::File, QStringLiteral("%1: no such file").arg(path));
            return false;
        }
    }
    if (c.name == QLatin1String("program-download")) {
        rs.setDownloadFile(c.rest[0]);
        if (!rs.ValidProgram()) {
            prompter.fail(CliExit::File, QStringLiteral("%1 is not a valid program file set").arg(c.rest[0]));
            return false;
        }
    }
    return true;
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
        prompter.fail(CliExit::File, QStringLiteral("%1: %2").arg(trace.fileName(), trace.errorString()));
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

// The command on the open link.
int runCommand(const CliCommand& c, CliRun& run, CliPort& serial)
{
    const QString& command = c.name;
    if (!run.rs().OnlineMode) {
        return run.failed(QStringLiteral("the controller link could not be opened (COM%1 %2)")
                              .arg(serial.commPort())
                              .arg(serial.deviceForPort(serial.commPort())),
            CliExit::PortError);
    }
    if (command == QLatin1String("read"))
        return runRead(run, c.rest);
    if (command == QLatin1String("write"))
        return runWrite(run, c.rest[0], c.rest[1]);
    if (command == QLatin1String("upload"))
        return runUpload(run, *c.group, c.parser.value(c.options.output));
    if (command == QLatin1String("download"))
        return runDownload(
            run, *c.group, c.parser.value(c.options.input), c.parser.isSet(c.options.anyVersion));
    if (command == QLatin1String("program-upload"))
        return runProgramUpload(run, c.rest[0]);
    if (command == QLatin1String("program-download"))
        return runProgramDownload(run, c.rest[0]);
    if (command == QLatin1String("status"))
        return runStatus(run, serial);
    return code(CliExit::Ok);
}

// Opens the link, runs the command, closes the link and the trace.
int runOnLink(const CliCommand& c, CliContext& context, const ProgramFolder& folder,
    const ProgramFolder& portFolder, CliPrompter& prompter)
{
    InitMachineData();
    CliRun run(context, folder, prompter);
    RSComm& rs = run.rs();
    if (!commandFilesPresent(c, rs, prompter))
        return code(CliExit::File);
    std::unique_ptr<LinkMonitor> monitor;
    QFile trace;
    if (!startTrace(c, trace, monitor, rs, prompter))
        return code(CliExit::File);

    CliPort serial(context.makePort(portFolder), c.port, c.baud);
    rs.OnlineMode = true;
    rs.OpenRSComm(&serial);
    int result = runCommand(c, run, serial);
    rs.CloseRSComm();
    rs.setMonitor(nullptr);
    if (trace.isOpen() && (!trace.flush() || trace.error() != QFileDevice::NoError)) {
        prompter.note(QStringLiteral("%1: %2").arg(trace.fileName(), trace.errorString()));
        if (result == code(CliExit::Ok))
            result = code(CliExit::File);
    }
    return result;
}

} // namespace

int RunTalvekCli(const QStringList& arguments, CliContext& context)
{
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const CliOptions o;
    parser.addOptions(
        { o.port, o.device, o.baud, o.trace, o.folder, o.yes, o.anyVersion, o.output, o.input, o.help });

    QTextStream& err = context.err;
    auto usage = [&](const QString& problem) {
        err << "talvek-cli: " << problem << '\n' << TalvekCliUsage() << Qt::flush;
        return code(CliExit::Usage);
    };

    if (!parser.parse(QStringList { QStringLiteral("talvek-cli") } + arguments))
        return usage(parser.errorText());
    if (parser.isSet(o.help)) {
        context.out << TalvekCliUsage() << Qt::flush;
        return code(CliExit::Ok);
    }
    const QStringList args = parser.positionalArguments();
    if (args.isEmpty())
        return usage(QStringLiteral("no command"));

    // The command line is checked before anything touches the port.
    CliCommand command { parser, o, args.front(), args.mid(1), {}, {}, {} };
    if (const std::optional<QString> problem = portProblem(command))
        return usage(*problem);
    if (const std::optional<QString> problem = commandProblem(command))
        return usage(*problem);

    CliPrompter prompter(err, parser.isSet(o.yes));
    if (writesToController(command.name) && !parser.isSet(o.yes)) {
        prompter.fail(CliExit::NeedsYes,
            command.name + QStringLiteral(" writes to the controller: add --yes to go ahead"));
        return code(CliExit::NeedsYes);
    }

    const ProgramFolder folder
        = parser.isSet(o.folder) ? ProgramFolder(parser.value(o.folder)) : context.folder;
    std::optional<QTemporaryDir> deviceFolder;
    std::optional<ProgramFolder> portFolder = folder;
    if (parser.isSet(o.device)) {
        QString problem;
        portFolder = devicePortFolder(command, folder, deviceFolder, prompter, problem);
        if (!problem.isEmpty())
            return usage(problem);
        if (!portFolder)
            return code(CliExit::File);
    }
    return runOnLink(command, context, folder, *portFolder, prompter);
}

} // namespace talvek
