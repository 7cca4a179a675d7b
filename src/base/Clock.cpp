#include "base/Clock.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <QTimer>
#include <chrono>
#include <thread>

namespace talvek {

qint64 SteadyClock::nowMs() const
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void SteadyClock::sleepMs(qint64 ms)
{
    if (ms > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void SteadyClock::waitMs(qint64 ms)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() != app->thread()) {
        sleepMs(ms);
        return;
    }
    // The timer may fire a little early: wait until the time is really up.
    const qint64 until = nowMs() + ms;
    for (qint64 left = ms; left > 0; left = until - nowMs()) {
        QEventLoop loop;
        QTimer::singleShot(std::chrono::milliseconds(left), Qt::PreciseTimer, &loop, &QEventLoop::quit);
        loop.exec();
    }
}

void FakeClock::waitMs(qint64 ms)
{
    m_now += ms;
    if (QCoreApplication::instance())
        QCoreApplication::processEvents();
}

} // namespace talvek
