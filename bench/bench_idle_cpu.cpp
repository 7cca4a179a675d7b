// Idle CPU benchmark: the whole program, OFFLINE and untouched, should cost
// next to nothing. Starts the main window as the program does (real clock,
// real prompter, real serial-port control, never opened), shows each live
// display in turn (main display, shift data, I/O states) and lets it sit
// idle; the process CPU time (user + system, getrusage) over the idle time
// is printed as a percentage of one core. Target: under 2 %.
//
// Run it on the offscreen platform:
//   QT_QPA_PLATFORM=offscreen bench/bench_idle_cpu [seconds per window, default 10]

#include "base/Clock.h"
#include "base/ProgramFolder.h"
#include "link/QtSerialPortControl.h"
#include "windows/frmMDIMain.h"
#include "windows/QtPrompter.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <cstdlib>

#ifdef Q_OS_UNIX
#include <sys/resource.h>
#endif

namespace {

double processCpuSeconds()
{
#ifdef Q_OS_UNIX
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
#else
    return double(std::clock()) / CLOCKS_PER_SEC;
#endif
}

void runEventLoopFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;

    // A program folder of its own, so that nothing beside the real program
    // is touched.
    QTemporaryDir dir;
    talvek::ProgramFolder folder(dir.path());
    talvek::SteadyClock clock;
    talvek::QtPrompter prompter;
    talvek::QtSerialPortControl MSComm1(folder);
    talvek::frmMDIMain main(prompter, clock, folder, &MSComm1);
    main.show();

    std::printf(
        "platform: %s, %d s idle per window, OFFLINE\n", qPrintable(QApplication::platformName()), seconds);
    struct Window
    {
        int index;
        const char* name;
    };
    const Window windows[] = { { 0, "frmMain" }, { 4, "frmData" }, { 5, "frmDisplayIO" } };
    double worst = 0;
    for (const Window& w : windows) {
        main.ShowChildForm(w.index);
        runEventLoopFor(500); // settle: layout, first paint, deferred deletes
        const double cpu0 = processCpuSeconds();
        QElapsedTimer wall;
        wall.start();
        runEventLoopFor(seconds * 1000);
        const double cpu = processCpuSeconds() - cpu0;
        const double elapsed = double(wall.nsecsElapsed()) / 1e9;
        const double percent = 100.0 * cpu / elapsed;
        worst = std::max(worst, percent);
        std::printf("%-14s OFFLINE idle %5.2f s: CPU %.3f s = %.2f %% of one core (status: %s)\n", w.name,
            elapsed, cpu, percent, qPrintable(main.statusPanel(1)->text()));
    }
    std::printf(
        "worst: %.2f %% of one core (target: under 2 %%) -> %s\n", worst, worst < 2.0 ? "PASS" : "FAIL");
    return worst < 2.0 ? 0 : 1;
}
