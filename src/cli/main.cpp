// talvek-cli: the controller link of TALVEK from the command line, for
// scripted reads, writes and nightly backups of a press's set-up.

#include "base/Clock.h"
#include "base/ProgramFolder.h"
#include "cli/CliFileNames.h"
#include "cli/TalvekCli.h"
#include "link/QtSerialPortControl.h"

#include <QCoreApplication>
#include <QTextStream>
#include <cstdio>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

int main(int argc, char* argv[])
{
#ifdef Q_OS_UNIX
    // The arguments as the bytes they came as: a file name need not be UTF-8,
    // and QCoreApplication::arguments() would put U+FFFD for such a byte.
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << talvek::argumentFromNative(argv[i]);
#endif
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("talvek-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral("%1.%2.%3")
                                                .arg(TALVEK_VERSION_MAJOR)
                                                .arg(TALVEK_VERSION_MINOR)
                                                .arg(TALVEK_VERSION_PATCH));

    // TALVEK's own program folder and settings: the same per-user folder as
    // the program's when installed, the folder beside it when portable. The
    // command line reads the settings and never writes them, not even the
    // defaults when there are none yet.
    talvek::ProgramFolder folder;
    folder.setSettingsReadOnly(true);
    talvek::SteadyClock clock;
    QTextStream out(stdout);
    QTextStream err(stderr);
#ifdef Q_OS_UNIX
    const bool terminal = ::isatty(STDERR_FILENO) == 1;
#else
    const bool terminal = false;
#endif
    talvek::CliContext context { folder, clock, out, err, terminal,
        [&clock](const talvek::ProgramFolder& folder,
            const QString& device) -> std::unique_ptr<talvek::SerialPortControl> {
            auto port = std::make_unique<talvek::QtSerialPortControl>(folder);
            port->setClock(clock);
            if (!device.isEmpty())
                port->setDevice(device);
            return port;
        } };
#ifndef Q_OS_UNIX
    const QStringList arguments = QCoreApplication::arguments().mid(1);
#endif
    const int result = talvek::runTalvekCli(arguments, context);
    out.flush();
    err.flush();
    return result;
}
