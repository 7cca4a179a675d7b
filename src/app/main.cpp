// TALVEK: set-up and monitoring utility for the K7700 press line controller.

#include "base/BasicError.h"
#include "base/Clock.h"
#include "base/ProgramFolder.h"
#include "base/QtOptions.h"
#include "link/CommPortSettings.h"
#include "link/QtSerialPortControl.h"
#include "link/SerialDevices.h"
#include "shared/JournalSettings.h"
#include "shared/SetupFileCommands.h"
#include "shared/SystemInfo.h"
#include "shared/modUtility.h"
#include "windows/FormUtility.h"
#include "windows/QtPrompter.h"
#include "windows/WindowMemory.h"
#include "windows/frmMDIMain.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QScreen>
#include <QTimer>
#include <cstdio>
#include <optional>

namespace {

void print(FILE* stream, const QString& text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

// The command line, read before any window system is asked for, so that
// --help, --version, --system-info and --comm-port answer on a terminal
// without a display.
struct CommandLine
{
    explicit CommandLine(int argc, char* argv[]);
    // The help text with the program's name in the usage line (there is no
    // application object yet to give it).
    QString helpText() const;

    QStringList arguments;
    QCommandLineParser parser;
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption versionOption = parser.addVersionOption();
    const QCommandLineOption systemInfoOption { QStringLiteral("system-info"),
        QStringLiteral(
            "Print what a support call needs (versions, files, port settings, serial devices) and exit.") };
    const QCommandLineOption commPortOption { QStringLiteral("comm-port"),
        QStringLiteral("Save the comm port settings with port number <n> (1 to 99), as the Comm Port dialog "
                       "does, and exit."),
        QStringLiteral("n") };
    const QCommandLineOption speedOption { QStringLiteral("speed"),
        QStringLiteral("The port speed saved with --comm-port: 9600 (the default) or 19200."),
        QStringLiteral("baud") };
};

CommandLine::CommandLine(int argc, char* argv[])
{
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    // -style Fusion and Qt's other options are QApplication's, as in every Qt program.
    arguments = talvek::withoutQtOptions(arguments);
    parser.setApplicationDescription(QStringLiteral(
        "Sets up and watches the K7700 controller of a can-making press line over a serial link."));
    parser.addOption(systemInfoOption);
    parser.addOption(commPortOption);
    parser.addOption(speedOption);
    parser.addPositionalArgument(QStringLiteral("file"), QStringLiteral("A set-up data file (.sdt) to open."),
        QStringLiteral("[file]"));
}

QString CommandLine::helpText() const
{
    return parser.helpText().replace(QStringLiteral("<executable_name>"),
        QFileInfo(arguments.value(0, QStringLiteral("talvek"))).fileName());
}

// What the command line answers without the program running: the exit code,
// or nothing when the program is to run.
std::optional<int> answerFromTerminal(CommandLine& cl)
{
    QCommandLineParser& parser = cl.parser;
    if (!parser.parse(cl.arguments)) {
        print(stderr, QStringLiteral("talvek: %1\n\n%2").arg(parser.errorText(), cl.helpText()));
        return 2;
    }
    if (parser.isSet(cl.helpOption) || parser.isSet(QStringLiteral("help-all"))) {
        print(stdout, cl.helpText());
        return 0;
    }
    if (parser.isSet(cl.versionOption)) {
        print(
            stdout, QStringLiteral("%1 %2\n").arg(talvek::kAppTitle, QCoreApplication::applicationVersion()));
        return 0;
    }
    if (parser.positionalArguments().size() > 1) {
        print(stderr, QStringLiteral("talvek: one set-up file at a time\n\n%1").arg(cl.helpText()));
        return 2;
    }
    return std::nullopt;
}

// --system-info: the support report on standard output.
int printSystemInfo(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    talvek::ProgramFolder folder;
    talvek::QtSerialPortControl port(folder);
    print(stdout, talvek::systemInfoReport(folder, &port, talvek::listSerialDevices()));
    // Where the journal is; it is opened (and its state known) by the program itself.
    talvek::JournalConfig journal = talvek::journalConfigFor(folder);
    if (const QString option = qEnvironmentVariable("TALVEK_JOURNAL"); !option.isEmpty())
        talvek::applyJournalOption(journal, option);
    print(stdout,
        journal.enabled ? QStringLiteral("Journal file: %1%2\n")
                              .arg(journal.connection.isEmpty() ? journal.file : QStringLiteral("PostgreSQL ") + journal.connection,
                                  QStringLiteral(" (press %1, rows kept %2 days)")
                                      .arg(journal.press.isEmpty() ? talvek::Journal::defaultPressName() : journal.press)
                                      .arg(journal.retentionDays))
                        : QStringLiteral("Journal: off\n"));
    return 0;
}

// --comm-port n [--speed baud]: the port settings saved as the Comm Port
// dialog saves them.
int saveCommPort(const CommandLine& cl, int argc, char* argv[])
{
    const QCommandLineParser& parser = cl.parser;
    bool ok = false;
    const int port = parser.value(cl.commPortOption).toInt(&ok);
    const QString speedText
        = parser.isSet(cl.speedOption) ? parser.value(cl.speedOption) : QStringLiteral("9600");
    const int speed = speedText.toInt();
    if (!parser.isSet(cl.commPortOption) || !ok || port < 1 || port > 99
        || !talvek::isSupportedSpeed(speed)) {
        print(stderr,
            QStringLiteral("talvek: --comm-port takes a port number from 1 to 99, --speed 9600 or 19200\n"));
        return 2;
    }
    QCoreApplication app(argc, argv);
    talvek::ProgramFolder folder;
    try {
        talvek::saveCommPortSettings(folder, port, speed);
    } catch (const talvek::BasicError& e) {
        print(stderr, QStringLiteral("talvek: %1\n").arg(e.description()));
        return 1;
    }
    print(stdout,
        QStringLiteral("Port %1 at %2 baud saved in %3\n")
            .arg(port)
            .arg(speed)
            .arg(folder.writablePath(QLatin1String(talvek::kPortSettingsFile))));
    return 0;
}

// The program: the main window until the operator ends it. `file` (a set-up
// file named on the command line) opens once the window is up.
int runProgram(int argc, char* argv[], const QString& file)
{
    QApplication app(argc, argv);
    QApplication::setWindowIcon(talvek::talvekIcon());
    QGuiApplication::setDesktopFileName(QStringLiteral("com.talvek.Talvek"));
    // The program ends when the main window's shutdown has run, whatever
    // other windows (help viewer) are still open.
    QApplication::setQuitOnLastWindowClosed(false);

    talvek::ProgramFolder folder;
    talvek::SteadyClock clock;
    talvek::QtPrompter prompter;
    talvek::QtSerialPortControl MSComm1(folder);

    // Window places and the last set-up folder, per user.
    talvek::WindowMemory memory;
    app.installEventFilter(&memory);

    talvek::frmMDIMain main(prompter, clock, folder, &MSComm1);
    main.setWindowMemory(&memory);
    QObject::connect(
        &main, &talvek::frmMDIMain::programEnded, &app, &QCoreApplication::quit, Qt::QueuedConnection);
    // On a screen smaller than the window's own size (800x480, 1024x600, or
    // a scale factor) the main window opens maximised: a window manager then
    // fits it to the screen frame and all, which the program cannot do before
    // the frame is known.
    const QSize room = main.screen() ? main.screen()->availableGeometry().size() : QSize();
    if (room.isValid() && (room.width() < 1024 || room.height() < 720))
        main.showMaximized();
    else
        main.show();
    // A file named on the command line (a double-click in the file manager)
    // opens as Open would.
    if (!file.isEmpty())
        QTimer::singleShot(0, &main, [&main, file] { main.fileCommands().openFile(file); });
    return app.exec();
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication::setApplicationName(talvek::kAppTitle);
    QCoreApplication::setApplicationVersion(QStringLiteral("%1.%2.%3")
                                                .arg(TALVEK_VERSION_MAJOR)
                                                .arg(TALVEK_VERSION_MINOR)
                                                .arg(TALVEK_VERSION_PATCH));

    CommandLine cl(argc, argv);
    if (const std::optional<int> code = answerFromTerminal(cl))
        return *code;
    if (cl.parser.isSet(cl.systemInfoOption))
        return printSystemInfo(argc, argv);
    if (cl.parser.isSet(cl.commPortOption) || cl.parser.isSet(cl.speedOption))
        return saveCommPort(cl, argc, argv);
    return runProgram(argc, argv, cl.parser.positionalArguments().value(0));
}
