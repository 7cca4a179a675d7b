#include "shared/RefreshLoop.h"

#include <QVariant>

#include "link/RSComm.h"
#include "shared/modUtility.h"

#include <QEvent>

namespace talvek {

namespace {
// How long a step waits when it came due inside another one.
constexpr int kBusyRetryMs = 50;
} // namespace

RefreshLoop::RefreshLoop(RefreshClient& client, RSComm& rs, OnlineModeSwitch& mode, QObject* parent)
    : QObject(parent)
    , m_client(client)
    , m_rs(rs)
    , m_mode(mode)
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &RefreshLoop::step);
}

namespace {
// The property by which a window knows the loop that follows it.
constexpr char kLoopProperty[] = "talvekRefreshLoop";
} // namespace

RefreshLoop::~RefreshLoop()
{
    m_running = false;
    m_timer.stop();
    if (m_window)
        m_window->setProperty(kLoopProperty, QVariant());
}

RefreshLoop* RefreshLoop::of(const QObject* window)
{
    if (!window)
        return nullptr;
    return qobject_cast<RefreshLoop*>(window->property(kLoopProperty).value<QObject*>());
}

void RefreshLoop::start()
{
    if (m_running)
        return;
    m_running = true;
    m_inPass = false;
    schedule(0);
}

void RefreshLoop::stop()
{
    m_running = false;
    m_inPass = false;
    m_timer.stop();
}

void RefreshLoop::followVisibility(QObject* window, Activation activation)
{
    if (m_window) {
        m_window->removeEventFilter(this);
        m_window->setProperty(kLoopProperty, QVariant());
    }
    m_window = window;
    m_activation = activation;
    if (window) {
        window->installEventFilter(this);
        window->setProperty(kLoopProperty, QVariant::fromValue<QObject*>(this));
    }
}

bool RefreshLoop::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_window && !event->spontaneous()) {
        if (event->type() == QEvent::Show && !m_activated)
            activate();
        else if (event->type() == QEvent::Hide && m_activated)
            unload();
    }
    return QObject::eventFilter(watched, event);
}

void RefreshLoop::activate()
{
    m_activated = true;
    m_client.activated();
    if (m_activation == Activation::PresentMode) {
        if (m_rs.OnlineMode) {
            m_client.applyOnlinePresentation();
            m_onlinePresented = true;
            m_offlinePresented = false;
        } else {
            m_client.applyOfflinePresentation();
            m_offlinePresented = true;
            m_onlinePresented = false;
        }
    }
    start();
}

void RefreshLoop::unload()
{
    m_activated = false;
    stop();
    m_client.unloaded();
}

void RefreshLoop::schedule(int ms)
{
    if (m_running && m_autoStep)
        m_timer.start(ms);
}

void RefreshLoop::setAutoStep(bool on)
{
    m_autoStep = on;
    if (!on)
        m_timer.stop();
    else
        schedule(0);
}

void RefreshLoop::endPass()
{
    m_inPass = false;
    m_index = 0;
    m_count = 0;
}

void RefreshLoop::step()
{
    if (!m_running)
        return;
    if (m_inStep || m_rs.isBusy()) {
        // Inside a modal box of a running step or controller operation.
        schedule(kBusyRetryMs);
        return;
    }
    m_inStep = true;
    struct Leave
    {
        bool& flag;
        ~Leave() { flag = false; }
    } leave {m_inStep};

    if (!m_inPass) {
        if (m_rs.CommError) {
            m_rs.OnlineMode = false;
            m_onlinePresented = false;
            m_mode.ApplyOnlineMode();
            if (!m_running)
                return;
        }
        m_client.cycleStarted();
        if (!m_running)
            return;
        if (m_rs.OnlineMode) {
            if (!m_onlinePresented)
                m_client.applyOnlinePresentation();
            m_onlinePresented = true;
            m_offlinePresented = false;
            m_onlinePass = true;
            m_count = m_client.beginOnlinePass();
            m_index = 0;
            m_inPass = m_count > 0;
            schedule(0);
        } else {
            if (!m_offlinePresented)
                m_client.applyOfflinePresentation();
            m_offlinePresented = true;
            m_onlinePresented = false;
            m_onlinePass = false;
            m_client.offlinePass();
            endPass();
            schedule(m_offlineIntervalMs);
        }
        return;
    }

    // One item of the online pass, after the return to the event loop.
    if (!m_rs.OnlineMode) {
        endPass();
        schedule(0);
        return;
    }
    const int index = m_index++;
    const bool goOn = m_client.onlineItem(index);
    if (!m_running)
        return;
    if (!goOn || m_index >= m_count)
        endPass();
    schedule(0);
}

void RefreshLoop::runCycle()
{
    if (!m_running)
        return;
    step(); // starts the cycle
    int guard = 10000;
    while (m_running && m_inPass && guard-- > 0)
        step();
}

} // namespace talvek
