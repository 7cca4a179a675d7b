// The link monitor window on a main window over the in-process simulator:
// the View menu item and its shortcut, a window of its own that outlives
// closing, its counters and log after clean and faulty exchanges, Pause,
// Clear and "Save Log…".

#include "Outcomes.h"
#include "LiveRig.h"
#include "windows/frmLinkMonitor.h"

#include <QFormLayout>
#include <QLabel>
#include <QMdiArea>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>

using namespace talvek;
using namespace talvek::test;

namespace {

QStringList logLines(const frmLinkMonitor& w)
{
    return w.txtLog->toPlainText().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// "FF 55 reply" for a log line.
QString bytesAndOutcome(const QString& line)
{
    return line.mid(16, 5) + QLatin1Char(' ') + line.mid(32);
}

// The caption of a counter's row.
QString form(const frmLinkMonitor& w, const char* label)
{
    auto* field = w.findChild<QLabel*>(QLatin1String(label));
    auto* layout = field ? qobject_cast<QFormLayout*>(field->parentWidget()->layout()) : nullptr;
    auto* caption = layout ? qobject_cast<QLabel*>(layout->labelForField(field)) : nullptr;
    return caption ? caption->text() : QString();
}

QStringList bytesAndOutcomes(const QStringList& lines)
{
    QStringList result;
    for (const QString& line : lines)
        result.append(bytesAndOutcome(line));
    return result;
}

} // namespace

class tst_frmLinkMonitor final : public QObject
{
    Q_OBJECT

private slots:
    void menuItemAndWindow();
    void countersAndLog();
    void pauseClearAndSave();
};

void tst_frmLinkMonitor::menuItemAndWindow()
{
    LiveRig rig;
    QAction* item = rig.w->mnuViewLinkMonitor;
    QCOMPARE(item->text(), QStringLiteral("&Link Monitor"));
    QCOMPARE(item->objectName(), QStringLiteral("mnuViewLinkMonitor"));
    QVERIFY(rig.w->mnuView->actions().contains(item));
    QCOMPARE(item->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_L));
    // No other command of the main window has that shortcut.
    for (const QAction* a : rig.w->findChildren<QAction*>()) {
        if (a != item && !a->shortcut().isEmpty())
            QVERIFY2(a->shortcut() != item->shortcut(), qPrintable(a->objectName()));
    }

    QVERIFY(!rig.w->linkMonitor());
    QCOMPARE(rig.rs().monitor(), nullptr); // nothing watches the link before it is opened
    item->trigger();
    QPointer<frmLinkMonitor> window = rig.w->linkMonitor();
    QVERIFY(window);
    QVERIFY(window->isVisible());
    QVERIFY(window->isWindow());
    QCOMPARE(window->windowTitle(), QStringLiteral("Link Monitor"));
    QCOMPARE(rig.w->mdiArea->subWindowList().size(), 1); // the main display alone
    QCOMPARE(rig.rs().monitor(), &window->monitor());

    // Closing hides it; the counters go on; the menu brings the same one back.
    window->close();
    QVERIFY(!window->isVisible());
    QCOMPARE(rig.rs().monitor(), &window->monitor());
    rig.w->ShowChildForm(1);
    item->trigger();
    QCOMPARE(rig.w->linkMonitor(), window);
    QVERIFY(window->isVisible());

    // It goes with the main window, before the link it watches.
    rig.w.reset();
    flushDeletes();
    QVERIFY(!window);
}

void tst_frmLinkMonitor::countersAndLog()
{
    LiveRig rig;
    rig.w->tmrBackgroungUpdate->stop();
    rig.w->mnuViewLinkMonitor->trigger();
    frmLinkMonitor& w = *rig.w->linkMonitor();
    QCOMPARE(w.lblExchanges->text(), QStringLiteral("0"));
    QCOMPARE(w.lblOnlineSince->text(), QStringLiteral("-"));
    QCOMPARE(w.lblReplyTimes->text(), QStringLiteral("-"));

    rig.online();
    rig.sim.setWord(180, 0x0102);
    QCOMPARE(shown(rig.rs().RSRead(QStringLiteral("W180"))), QStringLiteral("258"));
    // A reply in the second window (the timeout leaves the link for a new
    // handshake); a read; a spoilt echo in the next one.
    rig.sim.delayNextReply(1500);
    rig.sim.silenceNext(1, 1);
    QCOMPARE(shown(rig.rs().RSRead(QStringLiteral("W180"))), QStringLiteral("258"));
    QCOMPARE(shown(rig.rs().RSRead(QStringLiteral("W180"))), QStringLiteral("258"));
    // The echo of the address high byte goes wrong in the read and in its retry.
    rig.sim.corruptReplyTo(0);
    rig.sim.corruptReplyTo(4);
    QCOMPARE(shown(rig.rs().RSRead(QStringLiteral("W180"))), QStringLiteral("failed: EchoMismatch"));
    w.refresh();

    // Open 1, first read 6, the late one 12 (its reply came after the
    // resynchronisation, so it is read again: the attention byte that
    // completes the board's pair, a handshake, the word; and once more with
    // a handshake of its own, the two reads to agree after the trouble), the
    // next 4 (the retry left the link in read mode), the spoilt one 5 (its
    // retry: the completing attention byte, a handshake, the spoilt echo).
    QCOMPARE(w.lblExchanges->text(), QStringLiteral("30"));
    QCOMPARE(w.lblBytesOut->text(), QStringLiteral("31")); // and the resynchronising attention byte
    QCOMPARE(w.lblBytesIn->text(), QStringLiteral("30"));
    QCOMPARE(w.lblFirstWindowTimeouts->text(), QStringLiteral("1"));
    QCOMPARE(w.lblResynchronisations->text(), QStringLiteral("1"));
    QCOMPARE(w.lblEchoMismatches->text(), QStringLiteral("2"));
    QCOMPARE(w.lblRepeatedWrites->text(), QStringLiteral("0"));
    QCOMPARE(w.lblFailedReads->text(), QStringLiteral("1"));
    QCOMPARE(w.lblLinkFailures->text(), QStringLiteral("0"));
    QCOMPARE(w.lblWireFloor->text(), QStringLiteral("2.08 ms an exchange at 9600 baud"));
    QCOMPARE(w.lblReplyTimes->text().count(QStringLiteral(" / ")), 2);
    QVERIFY(w.lblOnlineSince->text() != QStringLiteral("-"));

    const QStringList read { "00 00 reply", "B4 02 reply", "00 00 reply", "B5 01 reply" };
    const QStringList handshake { "FF 55 reply", "01 55 reply" };
    // The resynchronising attention byte is logged when it goes out, and the
    // late reply as what it is: a reply after a resynchronisation. The
    // attention byte that completes the board's pair answers with the byte
    // at 00FFH.
    const QStringList completing { "FF 00 reply" };
    const QStringList late { "FF -- resync (attention)", "00 00 reply after resync" };
    QCOMPARE(bytesAndOutcomes(logLines(w)),
        QStringList { "FF 55 reply" } + handshake + read + late + completing + handshake
            + read + handshake + read + read + QStringList { "00 FF echo mismatch" } + completing + handshake
            + QStringList { "00 FF echo mismatch" });

    // The link dies: once.
    rig.killLink();
    (void)rig.rs().RSRead(QStringLiteral("W180"));
    (void)rig.rs().RSRead(QStringLiteral("W182"));
    w.refresh();
    QCOMPARE(w.lblLinkFailures->text(), QStringLiteral("1"));
    QCOMPARE(w.lblFailedReads->text(), QStringLiteral("2"));
    QCOMPARE(bytesAndOutcome(logLines(w).back()), QStringLiteral("FF -- no reply"));

    QCOMPARE(form(w, "lblOnlineSince"), QStringLiteral("Counting since:"));

    // Going ONLINE again starts the counters afresh. The board was left
    // inside the read the link died in: the opening's first attention byte
    // completes that read (it answers the byte at 00FFH), the second one is
    // acknowledged.
    rig.sim.setDroppedOut(false);
    rig.w->mnuViewOffline->trigger();
    rig.online();
    w.refresh();
    QCOMPARE(w.lblExchanges->text(), QStringLiteral("2"));
    QCOMPARE(bytesAndOutcomes(logLines(w).mid(logLines(w).size() - 2)),
        (QStringList { "FF 00 reply", "FF 55 reply" }));
    QCOMPARE(w.lblLinkFailures->text(), QStringLiteral("0"));
}

void tst_frmLinkMonitor::pauseClearAndSave()
{
    LiveRig rig;
    rig.w->tmrBackgroungUpdate->stop();
    rig.online();
    // Opened while ONLINE: it counts from now on.
    (void)rig.rs().RSRead(QStringLiteral("B166"));
    rig.w->mnuViewLinkMonitor->trigger();
    frmLinkMonitor& w = *rig.w->linkMonitor();
    QVERIFY(w.lblOnlineSince->text() != QStringLiteral("-"));
    QCOMPARE(w.lblExchanges->text(), QStringLiteral("0"));
    rig.w->mnuViewOffline->trigger();
    rig.online();
    w.refresh();
    QCOMPARE(logLines(w).size(), 2); // the close's attention byte and the open's

    w.cmdPause->click();
    QVERIFY(w.cmdPause->isChecked());
    (void)rig.rs().RSRead(QStringLiteral("B166"));
    w.refresh();
    QCOMPARE(logLines(w).size(), 2); // the log stands still
    QCOMPARE(w.lblExchanges->text(), QStringLiteral("5")); // the counters do not
    w.cmdPause->click(); // what came meanwhile is shown
    QCOMPARE(logLines(w).size(), 6);

    w.cmdClear->click();
    QCOMPARE(w.txtLog->toPlainText(), QString());
    QCOMPARE(w.monitor().logSize(), 0);
    QCOMPARE(w.lblExchanges->text(), QStringLiteral("5"));
    (void)rig.rs().RSRead(QStringLiteral("B166"));
    w.refresh();
    QCOMPARE(bytesAndOutcomes(logLines(w)), (QStringList { "00 00 reply", "A6 00 reply" }));

    // Save Log…: the header and the log's lines.
    QCOMPARE(w.cmdSaveLog->text(), QStringLiteral("Save Log…"));
    const QString path = rig.dir.filePath(QStringLiteral("link.log"));
    rig.script().answerFile(path);
    w.cmdSaveLog->click();
    const PromptCall& dialog = rig.script().calls().back();
    QCOMPARE(dialog.kind, PromptCall::Kind::SaveFile);
    QCOMPARE(dialog.file.title, QStringLiteral("Save Log"));
    QVERIFY(dialog.file.overwritePrompt);
    QFile saved(path);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromLatin1(saved.readAll()),
        LinkMonitor::logHeader() + QLatin1Char('\n') + logLines(w).join(QLatin1Char('\n'))
            + QLatin1Char('\n'));

    // A log that cannot be saved says so.
    const QString bad = rig.dir.filePath(QStringLiteral("no/such/folder/link.log"));
    rig.script().answerFile(bad);
    rig.script().answerMsg(MsgResult::OK);
    w.cmdSaveLog->click();
    const PromptCall& box = rig.script().calls().back();
    QCOMPARE(box.title, QStringLiteral("Link Monitor"));
    QCOMPARE(box.icon, MsgIcon::Exclamation);
    QVERIFY2(
        box.text.startsWith(QStringLiteral("The log could not be saved to ") + QDir::toNativeSeparators(bad)
            + QStringLiteral(".\r\n\r\nThe file could not be created: ")),
        qPrintable(box.text));
    // A cancelled dialog saves nothing and asks nothing more.
    const qsizetype calls = rig.script().calls().size();
    rig.script().answerFile(std::nullopt);
    w.cmdSaveLog->click();
    QCOMPARE(rig.script().calls().size(), calls + 1);
    QCOMPARE(rig.script().unexpected(), 0);
}

QTEST_MAIN(tst_frmLinkMonitor)
#include "tst_frmlinkmonitor.moc"
