#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>

namespace talvek {

class OnlineModeSwitch;
class RSComm;

// What a child window tells its refresh loop. The loop calls it; the window
// never loops itself.
class RefreshClient
{
public:
    virtual ~RefreshClient() = default;
    // At the start of every loop cycle, before the mode is looked at.
    virtual void cycleStarted() {}
    virtual void applyOnlinePresentation() = 0;
    virtual void applyOfflinePresentation() = 0;
    // Starts an online pass; returns how many items it has.
    virtual int beginOnlinePass() = 0;
    // One item of the online pass: at most one controller operation (a read
    // and what it shows). Returns false to end the pass (a failed read, a
    // changed tab).
    virtual bool onlineItem(int index) = 0;
    // The whole offline pass (no controller operations).
    virtual void offlinePass() = 0;
    // When the loop follows a window: its activation, before the loop starts,
    // and its unload, after the loop has stopped.
    virtual void activated() { }
    virtual void unloaded() { }
};

// The refresh loop of a child window, driven as steps on the event loop:
//
//   cycle: CommError set -> OnlineMode false, ApplyOnlineMode (the whole
//          program goes OFFLINE); cycleStarted(); the online or offline
//          presentation once per mode change; then one pass.
//   online pass: one item per step, each step a return to the event loop
//          (a 0 ms timer: the serial reads set the pace). The pass ends when
//          the mode changes, the loop stops or an item says so.
//   offline pass: one step, then a calm pause (offlineIntervalMs) so that an
//          idle program uses no CPU.
//
// A step that comes due while another step is still running (a modal box
// inside a controller operation runs a nested event loop) is put off, never
// run inside the other one.
class RefreshLoop final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RefreshLoop)

public:
    RefreshLoop(RefreshClient& client, RSComm& rs, OnlineModeSwitch& mode, QObject* parent = nullptr);
    ~RefreshLoop() override;

    // Starts the loop (activation) or ends it (unload); start() while running
    // does nothing.
    void start();
    void stop();
    bool isRunning() const { return m_running; }

    // What a followed window's activation does about the presentation.
    enum class Activation
    {
        // The loop's first cycle applies it (or the window did at load).
        LoopPresents,
        // The presentation of the current mode is applied at once, before the
        // loop starts.
        PresentMode,
    };
    // Follows the visibility of `window`: a show that does not come from the
    // window system activates it (activated(), the presentation as asked,
    // start()); a hide that does not come from the window system unloads it
    // (stop(), unloaded()). A window system's hide and show (the main window
    // minimised and restored) leave the loop running.
    void followVisibility(QObject* window, Activation activation);
    // The loop that follows the given window, if any.
    static RefreshLoop* of(const QObject* window);
    bool isActivated() const { return m_activated; }

    // Which presentation is applied; a window clears one to have the next
    // cycle apply it again (e.g. when offline editing is switched).
    bool onlinePresented() const { return m_onlinePresented; }
    bool offlinePresented() const { return m_offlinePresented; }
    void setOnlinePresented(bool on) { m_onlinePresented = on; }
    void setOfflinePresented(bool on) { m_offlinePresented = on; }

    // Runs one step at once (tests drive the loop step by step with this).
    void step();
    // Runs steps until the current cycle has finished its pass (tests).
    void runCycle();
    // With auto-stepping off the loop never arms its timer: steps run only
    // through step() / runCycle(), so a test that lets the event loop run
    // (posted events, focus changes) decides alone when the loop moves on.
    void setAutoStep(bool on);
    bool autoStep() const { return m_autoStep; }

    int offlineIntervalMs() const { return m_offlineIntervalMs; }
    void setOfflineIntervalMs(int ms) { m_offlineIntervalMs = ms; }
    // Whether a pass is under way and how far it got (tests).
    bool inPass() const { return m_inPass; }
    int passIndex() const { return m_index; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void schedule(int ms);
    void endPass();
    void activate();
    void unload();

    RefreshClient& m_client;
    RSComm& m_rs;
    OnlineModeSwitch& m_mode;
    QTimer m_timer;
    bool m_running = false;
    bool m_inStep = false;
    bool m_onlinePresented = false;
    bool m_offlinePresented = false;
    bool m_inPass = false;
    bool m_onlinePass = false;
    int m_index = 0;
    int m_count = 0;
    int m_offlineIntervalMs = 100;
    bool m_autoStep = true;
    QPointer<QObject> m_window;
    Activation m_activation = Activation::LoopPresents;
    bool m_activated = false;
};

} // namespace talvek
