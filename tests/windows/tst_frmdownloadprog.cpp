// The program download road from the main window on the in-process simulator
// (the selection's own questions are the logic suite's): the progress window
// with its status line, the background monitor stopped for the transfer and
// the serial session after it; the target board road of the same selection;
// the progress window in upload mode.

#include "LiveRig.h"
#include "windows/frmDownloadProg.h"
#include "windows/frmTargetBoard.h"

#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>

using namespace talvek;
using namespace talvek::test;

namespace {

const QString kComplete = QStringLiteral("Program Download Complete!");

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

// A program file set in the rig's folder: board code, revision field, image.
QString programSet(const Rig& rig, const QString& name, const QByteArray& board, const QByteArray& rev,
    const QByteArray& hex)
{
    const QString base = rig.dir.path() + QLatin1Char('/') + name + QLatin1Char('.');
    writeFile(base + QStringLiteral("nvk"), board + "\r\n");
    writeFile(base + QStringLiteral("rev"), rev + "\r\n");
    writeFile(base + QStringLiteral("hex"), hex);
    return base + QStringLiteral("nvk");
}

const QByteArray kImage = ":040100001122334451\r\n:0201100055AAEE\r\n:00000001FF\r\n";

frmDownloadProg* transferWindow(const Rig& rig)
{
    return rig.w->findChild<frmDownloadProg*>(QString(), Qt::FindDirectChildrenOnly);
}

frmTargetBoard* panel(const Rig& rig)
{
    return rig.w->findChild<frmTargetBoard*>(QString(), Qt::FindDirectChildrenOnly);
}

// Lets the transfer run and the progress window close.
bool transferEnds(const Rig& rig)
{
    for (int i = 0; i < 200 && transferWindow(rig); ++i) {
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    return transferWindow(rig) == nullptr;
}

QStringList titles(const ScriptedPrompter& script)
{
    QStringList out;
    for (const PromptCall& c : script.calls())
        out << (c.kind == PromptCall::Kind::OpenFile ? QStringLiteral("<open>") : c.title);
    return out;
}

} // namespace

class tst_frmDownloadProg : public QObject
{
    Q_OBJECT

private slots:
    void downloadFromOffline();
    void runningPressAskedAgain();
    void invalidImageHaltsBeforeProgramMode();
    void targetBoardSelection();
    void uploadMode();
};

void tst_frmDownloadProg::downloadFromOffline()
{
    LiveRig rig;
    const QString path = programSet(rig, QStringLiteral("PRESS1"), "D", "PRESS 10312", kImage);
    rig.script().answerMsg(MsgResult::Yes); // go online
    rig.script().answerFile(path);
    rig.script().answerMsg(MsgResult::Yes); // "You are about to download"
    rig.w->mnuFileDownloadProgram->trigger();

    QVERIFY(rig.rs().OnlineMode);
    QCOMPARE(rig.w->globals().gProgramFilePath, path);
    const PromptCall& dialog = rig.script().calls()[1];
    QCOMPARE(dialog.kind, PromptCall::Kind::OpenFile);
    QCOMPARE(dialog.file.filter, QStringLiteral("Norvik Files(*.nvk)|*.nvk|"));
    QVERIFY(dialog.file.fileMustExist);
    QVERIFY(dialog.file.fileName.isEmpty());
    const PromptCall& confirm = rig.script().calls()[2];
    QCOMPARE(confirm.text,
        QStringLiteral(
            "You are about to download \"PRESS1.nvk\" to the K7700.\r\n\r\nDo you wish to continue?"));
    QCOMPARE(confirm.title, QStringLiteral("Program Download"));
    QCOMPARE(confirm.icon, MsgIcon::Question);
    QCOMPARE(confirm.buttons, MsgButtons::YesNo);
    QCOMPARE(confirm.defaultButton, MsgDefault::Button2); // Enter alone answers No

    // The progress window is up, modal, before its transfer starts.
    frmDownloadProg* window = transferWindow(rig);
    QVERIFY(window);
    QVERIFY(window->isVisible());
    QVERIFY(window->isModal());
    QCOMPARE(window->lblWaitDisplay->text(), QStringLiteral("Sending Program at Address: "));
    QVERIFY(!rig.w->tmrBackgroungUpdate->isActive());

    // Each event pump of the transfer is a tick of Timer1, which runs at
    // its 250 ms all through the transfer.
    QStringList status;
    int timerIdle = 0;
    QStringList progress;
    QTimer ticks;
    ticks.setInterval(0);
    connect(&ticks, &QTimer::timeout, [&] {
        if (auto* w = transferWindow(rig); w && w->transferRunning()) {
            if (rig.rs().InProgramMode()
                && (!w->Timer1->isActive() || w->Timer1->interval() != frmDownloadProg::kTimerIntervalMs))
                ++timerIdle;
            QMetaObject::invokeMethod(w->Timer1, "timeout", Qt::DirectConnection);
            if (status.isEmpty() || status.last() != w->lblWaitDisplay->text())
                status << w->lblWaitDisplay->text();
            if (progress.isEmpty() || progress.last() != w->prgDownload->text())
                progress << w->prgDownload->text();
        }
    });
    ticks.start();
    // Inside the download's own confirmation: the window cannot be closed and
    // the monitor stays off.
    bool closeRefused = false;
    rig.script().duringNextMsg([&] {
        window->close();
        window->reject();
        closeRefused = window->isVisible() && window->transferRunning()
            && !rig.w->tmrBackgroungUpdate->isActive() && rig.w->tmrBackgroungUpdate->interval() == 500;
    });
    rig.script().answerMsg(MsgResult::Yes);
    QVERIFY(transferEnds(rig));
    ticks.stop();
    QVERIFY(closeRefused);
    QVERIFY(status.size() > 1);
    QCOMPARE(timerIdle, 0);
    // One tick per record pump: before the first record no address is known yet.
    QCOMPARE(status.filter(QStringLiteral("Writing")),
        (QStringList { QStringLiteral("Writing to Program Address:  "),
            QStringLiteral("Writing to Program Address: 0100H"),
            QStringLiteral("Writing to Program Address: 0110H") }));
    // Beside it the progress bar counts the two data records of the image.
    QCOMPARE(progress.mid(progress.indexOf(QStringLiteral("0 of 2 records (0%)"))),
        (QStringList { QStringLiteral("0 of 2 records (0%)"), QStringLiteral("1 of 2 records (50%)"),
            QStringLiteral("2 of 2 records (100%)") }));

    QCOMPARE(titles(rig.script()),
        (QStringList { "Program Offline", "<open>", "Program Download", "Program Download - [PRESS 1]",
            "Program Download" }));
    QCOMPARE(rig.script().calls().last().text, kComplete);
    QCOMPARE(rig.script().unexpected(), 0);
    // The program and its ident are in the board.
    QCOMPARE(rig.sim.programRecords(), 2);
    QCOMPARE(rig.sim.byte(0x0102), quint8(0x33));
    QCOMPARE(rig.sim.byte(0x0111), quint8(0xAA));
    for (int i = 0; i < 8; ++i)
        QCOMPARE(int(rig.sim.byte(61424 + i)), i < 7 ? int("PRESS 1"[i]) : 0);
    QCOMPARE(rig.sim.byte(61432), quint8(3));
    QCOMPARE(rig.sim.byte(61433), quint8(18));
    // ONLINE again, the session reopened, the monitor running.
    QVERIFY(rig.rs().OnlineMode);
    QVERIFY(rig.port.isOpen());
    QCOMPARE(rig.panel(2), QStringLiteral("ONLINE"));
    QVERIFY(rig.w->tmrBackgroungUpdate->isActive());
    QVERIFY(!rig.rs().ValidProgram());
}

// On a running press the download (every output off) asks again after its
// own question, naming the speed; No loads nothing.
void tst_frmDownloadProg::runningPressAskedAgain()
{
    LiveRig rig;
    const QString path = programSet(rig, QStringLiteral("PRESS1"), "D", "PRESS 10312", kImage);
    rig.sim.setWord(K7700Sim::SpeedWord, 250);
    rig.online();
    const qsizetype m = rig.mark();
    rig.script().answerFile(path);
    rig.script().answerMsg(MsgResult::Yes); // "You are about to download"
    rig.script().answerMsg(MsgResult::No);
    rig.w->mnuFileDownloadProgram->trigger();
    QCOMPARE(titles(rig.script()), QStringList({ "<open>", "Program Download", "Program Download" }));
    const PromptCall& running = rig.script().calls()[2];
    QCOMPARE(running.text,
        QStringLiteral("The press is running at 250 SPM.\r\n\r\nA program download turns every output of the "
                       "K7700 off.\r\n\r\nDo you wish to continue?"));
    QCOMPARE(running.defaultButton, MsgDefault::Button2);
    QVERIFY(!transferWindow(rig));
    QVERIFY(rig.w->tmrBackgroungUpdate->isActive());
    QVERIFY(rig.writesSince(m).isEmpty());
}

void tst_frmDownloadProg::invalidImageHaltsBeforeProgramMode()
{
    LiveRig rig;
    rig.online();
    const QString path
        = programSet(rig, QStringLiteral("BAD"), "D", "BAD10312", ":040100001122334451\r\nnot a record\r\n");
    const qsizetype mark = rig.mark();
    rig.script().answerFile(path);
    rig.script().answerMsg(MsgResult::Yes);
    rig.script().answerMsg(MsgResult::Yes);
    rig.w->mnuFileDownloadProgram->trigger();
    QVERIFY(transferEnds(rig));
    const PromptCall& halt = rig.script().calls().last();
    QCOMPARE(halt.title, QStringLiteral("Program Dump"));
    QCOMPARE(halt.text,
        QStringLiteral(
            "Currently Selected Program is Invalid.\r\n\r\nProgram Download Halted!\r\n\r\nLine 2"));
    QCOMPARE(rig.script().unexpected(), 0);
    // The bad line was found before the board left its program: nothing
    // was sent, and the session goes on.
    QCOMPARE(rig.sim.programRecords(), 0);
    QVERIFY(rig.writesSince(mark).isEmpty()); // not even the ident registers cleared
    QVERIFY(!rig.rs().ValidProgram());
    QVERIFY(rig.rs().OnlineMode);
    QVERIFY(rig.port.isOpen());
    QCOMPARE(rig.panel(2), QStringLiteral("ONLINE"));
    QVERIFY(rig.w->tmrBackgroungUpdate->isActive());
}

void tst_frmDownloadProg::targetBoardSelection()
{
    LiveRig rig;
    const QString path = programSet(rig, QStringLiteral("RTC"), "A", "CLOCK0312", kImage);
    writeFile(
        rig.dir.path() + QStringLiteral("/RTC.lcf"), "E0000000000000000000000000000000000200271000%\r\n");

    // Cancel the first time: the panel opens (offline is fine) with no program.
    rig.script().answerFile(std::nullopt);
    rig.w->mnuViewTargetBoardStatus->trigger();
    frmTargetBoard* p = panel(rig);
    QVERIFY(p);
    p->refreshLoop().setAutoStep(false);
    QVERIFY(p->isVisible());
    QVERIFY(p->isModal());
    QCOMPARE(rig.script().calls().size(), 1);
    for (QLabel* l : p->lblRevIdentOnDisk)
        QCOMPARE(l->text(), QStringLiteral("-"));
    QVERIFY(!p->txtSetup[0]->isHidden()); // the K7700's network address
    p->cmdOk->click();
    QVERIFY(!p->isVisible());

    // A program chosen: the panel shows it.
    rig.script().answerFile(path);
    rig.w->mnuViewTargetBoardStatus->trigger();
    QCOMPARE(rig.script().calls().size(), 2); // the set is valid: no message
    QCOMPARE(panel(rig), p); // the same panel object
    p->refreshLoop().setAutoStep(false);
    QCOMPARE(p->lblRevIdentOnDisk[0]->text(), QStringLiteral("CLOCK"));
    QCOMPARE(p->lblRevIdentOnDisk[3]->text(), QStringLiteral("V5510"));
    p->cmdOk->click();

    // Cancelled again: the panel opens for the program chosen before.
    rig.script().answerFile(std::nullopt);
    rig.w->mnuViewTargetBoardStatus->trigger();
    p->refreshLoop().setAutoStep(false);
    QCOMPARE(rig.script().calls().last().file.fileName, path);
    QVERIFY(p->isVisible());
    QCOMPARE(p->lblRevIdentOnDisk[0]->text(), QStringLiteral("CLOCK"));
    QVERIFY(p->txtSetup[0]->isHidden());
    QVERIFY(!p->txtSetup[1]->isHidden());
    p->cmdOk->click();
    QCOMPARE(rig.script().unexpected(), 0);
}

void tst_frmDownloadProg::uploadMode()
{
    LiveRig rig;
    rig.online();
    const QString path = rig.dir.path() + QStringLiteral("/UP.nvk");
    writeFile(path, "5\r\n");
    rig.sim.setByte(0x2000, 0x12);
    RSComm& rs = rig.rs();
    rs.setUploadFile(path);
    rs.setInUploadMode(true);

    auto* window = new frmDownloadProg(rs, rig.clock, rig.w.get());
    window->SetTransferMode(frmDownloadProg::kModeUpload);
    QStringList status;
    QTimer ticks;
    ticks.setInterval(0);
    connect(&ticks, &QTimer::timeout, [&] {
        if (window->transferRunning()) {
            QMetaObject::invokeMethod(window->Timer1, "timeout", Qt::DirectConnection);
            status << window->lblWaitDisplay->text();
        }
    });
    bool ended = false;
    connect(window, &QDialog::finished, [&] { ended = true; });
    window->show();
    QCOMPARE(window->lblWaitDisplay->text(), QStringLiteral("Reading Program at Address: "));
    QVERIFY(!window->prgDownload->isVisible()); // the bar belongs to the download
    ticks.start();
    QTRY_VERIFY(ended);
    ticks.stop();
    QVERIFY(!window->isVisible());
    QCOMPARE(window->transferMode(), frmDownloadProg::kModeDownload);
    status
        = status.filter(QRegularExpression(QStringLiteral("^Reading From Program Address: [0-9A-F]{4}H$")));
    status.removeDuplicates();
    QCOMPARE(status.size(), 0x2000 / 16);
    QCOMPARE(status.first(), QStringLiteral("Reading From Program Address: 2000H"));
    QCOMPARE(status.last(), QStringLiteral("Reading From Program Address: 3FF0H"));
    QFile hex(rig.dir.path() + QStringLiteral("/UP.hex"));
    QVERIFY(hex.open(QIODevice::ReadOnly));
    QVERIFY(hex.readLine().startsWith(":1020000012"));
    delete window;
}

QTEST_MAIN(tst_frmDownloadProg)
#include "tst_frmdownloadprog.moc"
