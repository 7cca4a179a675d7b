// TALVEK: set-up and monitoring utility for the K7700 press line controller.

#include "base/BasicError.h"
#include "base/Clock.h"
#include "base/ProgramFolder.h"
#include "link/CommPortSettings.h"
#include "link/QtSerialPortControl.h"
#include "link/SerialDevices.h"
#include "shared/modUtility.h"
#include "windows/FormUtility.h"
#include "windows/frmMDIMain.h"
#include "windows/QtPrompter.h"
#include "windows/SetupFileCommands.h"
#include "windows/SystemInfo.h"
#include "windows/WindowMemory.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QTimer>
#include <cstdio>

namespace {

void print(FILE* stream, const QString& text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication::setApplicationName(talvek::kAppTitle);
    QCoreApplication::setApplicationVersion(QStringLiteral("%1.%2.%3")
                                                .arg(TALVEK_VERSION_MAJOR)
                                                .arg(TALVEK_VERSION_MINOR)
                                                .arg(TALVEK_VERSION_PATCH));

    // The command line is read before any window system is asked for, so that
    // --help, --version and --system-info answer on a terminal without a display.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Sets up and watches the K7700 controller of a can-making press line over a serial link."));
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption versionOption = parser.addVersionOption();
    const QCommandLineOption systemInfoOption(QStringLiteral("system-info"),
        QStringLiteral(
            "Print what a support call needs (versions, files, port settings, serial devices) and exit."));
    parser.addOption(systemInfoOption);
    const QCommandLineOption commPortOption(QStringLiteral("comm-port"),
        QStringLiteral("Save the comm port settings with port number <n> (1 to 99), as the Comm Port dialog "
                       "does, and exit."),
        QStringLiteral("n"));
    parser.addOption(commPortOption);
    const QCommandLineOption speedOption(QStringLiteral("speed"),
        QStringLiteral("The port speed saved with --comm-port: 9600 (the default) or 19200."),
        QStringLiteral("baud"));
    parser.addOption(speedOption);
    parser.addPositionalArgument(QStringLiteral("file"), QStringLiteral("A set-up data file (.sdt) to open."),
        QStringLiteral("[file]"));
    // Without an application object yet, the usage line is given the program's name here.
    const auto helpText = [&parser, &arguments] {
        return parser.helpText().replace(QStringLiteral("<executable_name>"),
            QFileInfo(arguments.value(0, QStringLiteral("talvek"))).fileName());
    };
    if (!parser.parse(arguments)) {
        print(stderr, QStringLiteral("talvek: %1\n\n%2").arg(parser.errorText(), helpText()));
        return 2;
    }
    if (parser.isSet(helpOption) || parser.isSet(QStringLiteral("help-all"))) {
        print(stdout, helpText());
        return 0;
    }
    if (parser.isSet(versionOption)) {
        print(
            stdout, QStringLiteral("%1 %2\n").arg(talvek::kAppTitle, QCoreApplication::applicationVersion()));
        return 0;
    }
    if (parser.positionalArguments().size() > 1) {
        print(stderr, QStringLiteral("talvek: one set-up file at a time\n\n%1").arg(helpText()));
        return 2;
    }
    if (parser.isSet(systemInfoOption)) {
        QCoreApplication app(argc, argv);
        talvek::ProgramFolder folder;
        talvek::QtSerialPortControl port(folder);
        print(stdout, talvek::SystemInfoReport(folder, &port, talvek::ListSerialDevices()));
        return 0;
    }

    if (parser.isSet(commPortOption) || parser.isSet(speedOption)) {
        bool ok = false;
        const int port = parser.value(commPortOption).toInt(&ok);
        const QString speedText
            = parser.isSet(speedOption) ? parser.value(speedOption) : QStringLiteral("9600");
        const int speed = speedText.toInt();
        if (!parser.isSet(commPortOption) || !ok || port < 1 || port > 99
            || (speed != 9600 && speed != 19200)) {
            print(stderr,
                QStringLiteral(
                    "talvek: --comm-port takes a port number from 1 to 99, --speed 9600 or 19200\n"));
            return 2;
        }
        QCoreApplication app(argc, argv);
        talvek::ProgramFolder folder;
        try {
            talvek::SaveCommPortSettings(folder, port, speed);
        } catch (const talvek::BasicError& e) {
            print(stderr, QStringLiteral("talvek: %1\n").arg(e.description()));
            return 1;
        }
        print(stdout,
            QStringLiteral("Port %1 at %2 baud saved in %3\n")
                .arg(port)
                .arg(speed)
                .arg(folder.writablePath(QStringLiteral("support/RSPort.cfg"))));
        return 0;
    }

    QApplication app(argc, argv);
    QApplication::setWindowIcon(talvek::TalvekIcon());
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
    main.show();
    // A file named on the command line (a double-click in the file manager)
    // opens as Open would, once the window is up.
    if (!parser.positionalArguments().isEmpty()) {
        const QString file = parser.positionalArguments().constFirst();
        QTimer::singleShot(0, &main, [&main, file] { main.fileCommands().openFile(file); });
    }
    return app.exec();
}
