// The child-window base on its own: the loop it sets up follows the window
// for the window's logic, the focus sink, and the teardown that ends the
// loop and the entry form once, before the window's members go.

#include "shared/NumericEntry.h"
#include "SimLinkMode.h"
#include "windows/ChildWindow.h"

#include <QPushButton>
#include <QTest>

using namespace talvek;
using namespace talvek::test;

namespace {

// A window's logic that counts what its loop tells it.
struct CountingClient final : RefreshClient
{
    int activations = 0;
    int unloads = 0;
    int offlinePasses = 0;
    void applyOnlinePresentation() override { }
    void applyOfflinePresentation() override { }
    int beginOnlinePass() override { return 0; }
    bool onlineItem(int) override { return false; }
    void offlinePass() override { ++offlinePasses; }
    void activated() override { ++activations; }
    void unloaded() override { ++unloads; }
};

class Window final : public ChildWindow<QWidget>
{
public:
    Window(CountingClient& client, NumericEntryForm& form, RSComm& rs, OnlineModeSwitch& mode)
        : cmdDefault(makeFocusSink(QStringLiteral("-")))
    {
        setEntryForm(form);
        followWithLoop(client, rs, mode, RefreshLoop::Activation::LoopPresents).setAutoStep(false);
    }
    ~Window() override { tearDown(); }
    using ChildWindow::tearDown;

    QPushButton* cmdDefault;
};

} // namespace

class tst_ChildWindow : public QObject
{
    Q_OBJECT

private slots:
    void loopFollowsTheWindowForItsLogic();
    void teardownEndsLoopAndFormOnce();
};

void tst_ChildWindow::loopFollowsTheWindowForItsLogic()
{
    SimLinkMode link;
    CountingClient client;
    NumericEntryForm form(link.prompter);
    Window w(client, form, link.rs, link.mode);

    QCOMPARE(RefreshLoop::of(&w), &w.refreshLoop());
    QCOMPARE(w.cmdDefault->objectName(), QStringLiteral("cmdDefault"));
    QCOMPARE(w.cmdDefault->parentWidget(), &w);
    QCOMPARE(w.cmdDefault->size(), QSize(0, 0));

    w.show();
    QCOMPARE(client.activations, 1);
    QVERIFY(w.refreshLoop().isRunning());
    w.refreshLoop().runCycle();
    QCOMPARE(client.offlinePasses, 1);

    w.hide();
    QCOMPARE(client.unloads, 1);
    QVERIFY(!w.refreshLoop().isRunning());
}

void tst_ChildWindow::teardownEndsLoopAndFormOnce()
{
    SimLinkMode link;
    CountingClient client;
    NumericEntryForm form(link.prompter);
    {
        Window w(client, form, link.rs, link.mode);
        w.show();
        form.live = true;
        QVERIFY(w.refreshLoop().isRunning());

        w.tearDown();
        QVERIFY(!form.live);
        QCOMPARE(RefreshLoop::of(&w), nullptr);

        // Whatever the form does after the teardown (it may already have gone
        // with the window's members), the base's own teardown leaves it alone.
        form.live = true;
    }
    QVERIFY(form.live);
    // The loop went without telling the logic of an unload.
    QCOMPARE(client.unloads, 0);
}

QTEST_MAIN(tst_ChildWindow)
#include "tst_childwindow.moc"
