// TALVEK: set-up and monitoring utility for the K7700 press line controller.

#include "Clock.h"
#include "FormUtility.h"
#include "ProgramFolder.h"
#include "QtPrompter.h"
#include "QtSerialPortControl.h"
#include "WindowMemory.h"
#include "frmMDIMain.h"
#include "modUtility.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(talvek::kAppTitle);
    QApplication::setApplicationVersion(QStringLiteral("%1.%2.%3")
                                            .arg(TALVEK_VERSION_MAJOR)
                                            .arg(TALVEK_VERSION_MINOR)
                                            .arg(TALVEK_VERSION_PATCH));
    QApplication::setWindowIcon(talvek::TalvekIcon());
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
    return app.exec();
}
