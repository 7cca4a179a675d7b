#pragma once

// The live displays on a main window over the in-process simulator: shows a
// child window, switches ONLINE, fires the background timer, and lets the
// link die, all without running the event loop, so that every controller
// read happens exactly where a test steps a refresh loop (the loops of the
// shown windows never step by themselves).

#include "MainWindowRig.h"
#include "windows/frmMain.h"
#include "WireOps.h"

#include <QMetaObject>

namespace talvek::test {

struct LiveRig : Rig
{
    LiveRig()
    {
        w->show(); // the child windows are activated (shown) inside a shown frame
        if (auto* display = qobject_cast<frmMain*>(w->currentChild()))
            display->refreshLoop().setAutoStep(false);
    }

    template <class Window> Window* show(int index)
    {
        w->ShowChildForm(index);
        flushDeletes();
        auto* child = qobject_cast<Window*>(w->currentChild());
        // Only the test steps the loop.
        if (child)
            child->refreshLoop().setAutoStep(false);
        return child;
    }

    void online()
    {
        w->mnuViewOnline->trigger();
        QVERIFY(rs().OnlineMode);
        QVERIFY(port.isOpen());
    }

    // One tick of tmrBackgroungUpdate, as its timeout would run it.
    void tick() { QMetaObject::invokeMethod(w->tmrBackgroungUpdate, "timeout", Qt::DirectConnection); }

    // The link dies: the board stops answering; the operator answers the
    // link's Retry/Cancel box with Cancel.
    void killLink()
    {
        sim.setDroppedOut(true);
        script().answerMsg(MsgResult::Cancel);
    }

    qsizetype mark() const { return port.exchanges().size(); }
    QList<int> readsSince(qsizetype from) const { return ReadAddresses(port.exchanges(), from); }
    QList<WireOp> writesSince(qsizetype from) const { return Writes(port.exchanges(), from); }

    // Only the link's own box was shown, once.
    void onlyTheLinksBox()
    {
        const auto boxes = script().messages();
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes[0].text, kNoComm);
        QCOMPARE(script().unexpected(), 0);
    }
};

// The byte addresses a word / double word read puts on the wire.
inline QList<int> wordBytes(int address)
{
    return { address, address + 1 };
}
inline QList<int> dwordBytes(int address)
{
    return { address, address + 1, address + 2, address + 3 };
}

} // namespace talvek::test
