// The transfer progress window and the File menu's data transfer commands on
// the in-process simulator: the window's texts and bar for each code, Cancel
// (button, Escape, close) part-way, the closing message, the confirmations,
// the offer to go online, and the shown child window waiting meanwhile.

#include "LiveRig.h"
#include "windows/frmProcessing.h"

#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>

using namespace talvek;
using namespace talvek::test;

namespace {

const QString kFailed = QStringLiteral("Error Processing Request\r\n\r\nProcess Not Complete");
const QString kOfflineQuestion
    = QStringLiteral("Program is Currently OFFLINE\r\n\r\nDo You Wish to Switch to ONLINE MODE to Continue?");
const QList<int> kShiftReads = dwordBytes(1100) + wordBytes(1104) + dwordBytes(1200) + wordBytes(1204)
    + wordBytes(1040) + wordBytes(1042);

struct TransferRig : LiveRig
{
    TransferRig()
    {
        w->tmrBackgroungUpdate->stop(); // its polls would mix with the transfer's reads
        sim.setD(1100, 123456);
        sim.setWord(1104, 7);
    }
    frmProcessing* window() const
    {
        return w->findChild<frmProcessing*>(QString(), Qt::FindDirectChildrenOnly);
    }
};

// Lets a shown transfer window run until it has hidden itself.
bool runs(frmProcessing* window)
{
    if (!window)
        return false;
    QSignalSpy finished(window, &QDialog::finished);
    return finished.wait(10000) && !window->isVisible();
}

void checkBox(const PromptCall& call, const QString& text, const QString& title, MsgButtons buttons)
{
    QCOMPARE(call.text, text);
    QCOMPARE(call.title, title);
    QCOMPARE(call.icon, buttons == MsgButtons::YesNo ? MsgIcon::Question : MsgIcon::Exclamation);
    QCOMPARE(call.buttons, buttons);
}

} // namespace

class tst_frmProcessing final : public QObject
{
    Q_OBJECT

private slots:
    void loadAndRun_data();
    void loadAndRun();
    void cancelPartWay_data();
    void cancelPartWay();
    void closingMessage_data();
    void closingMessage();
    void confirmations_data();
    void confirmations();
    void uploadGoesOnlineAndChildWaits();
    void downloadAllWhileOnline();
    void goingOnlineFails();
    void downloadOnARunningPress();
    void uploadNamesChannelsTheFileCannotHold();
};

void tst_frmProcessing::loadAndRun_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("status");
    QTest::addColumn<int>("maximum");
    QTest::addColumn<int>("end");
    QTest::newRow("0") << 0 << "Uploading Set-up Parameters, Please Standby..." << 13 << 12;
    QTest::newRow("1") << 1 << "Uploading Timing Channels, Please Standby..." << 33 << 32;
    QTest::newRow("2") << 2 << "Uploading Shift Data, Please Standby..." << 6 << 6;
    QTest::newRow("4") << 4 << "Uploading Data, Please Standby..." << 50 << 50;
    QTest::newRow("10") << 10 << "Downloading Set-up Parameters, Please Standby..." << 13 << 12;
    QTest::newRow("11") << 11 << "Downloading Timing Channels, Please Standby..." << 33 << 32;
    QTest::newRow("12") << 12 << "Downloading Shift Data, Please Standby..." << 6 << 6;
    QTest::newRow("14") << 14 << "Downloading Data, Please Standby..." << 50 << 50;
}

void tst_frmProcessing::loadAndRun()
{
    QFETCH(int, code);
    QFETCH(QString, status);
    TransferRig rig;
    rig.online();
    const qsizetype mark = rig.mark();
    TransferType = qint16(code);
    frmProcessing window(rig.rs(), rig.prompter, rig.w.get());
    window.show();

    // Loaded: centred, its texts, the bar at 0; the work has not started.
    QCOMPARE(window.fraProcessing->title(), QStringLiteral("Processing Request:"));
    QCOMPARE(window.cmdCancel->text(), QStringLiteral("&Cancel"));
    QCOMPARE(window.findChild<QLabel*>(QStringLiteral("lblProcessing")), window.lblProcessing);
    QCOMPARE(window.findChild<QProgressBar*>(QStringLiteral("prgProcessing")), window.prgProcessing);
    QCOMPARE(window.lblProcessing->text(), status);
    QCOMPARE(window.prgProcessing->minimum(), 0);
    QTEST(window.prgProcessing->maximum(), "maximum");
    QCOMPARE(window.prgProcessing->value(), 0);
    QVERIFY(window.isModal());
    const QRect screen = window.screen()->geometry();
    const QRect frame = window.frameGeometry();
    QCOMPARE(frame.topLeft(),
        screen.topLeft()
            + QPoint((screen.width() - frame.width()) / 2, (screen.height() - frame.height()) / 2));
    QCOMPARE(rig.mark(), mark);

    QVERIFY(runs(&window));
    QTEST(window.prgProcessing->value(), "end");
    QCOMPARE(window.result(), int(QDialog::Accepted));
    QVERIFY(rig.script().calls().isEmpty());
    QCOMPARE(TimingDownloaded, code == 11 || code == 14);
    // The timing phases show their own status and do not take a cancel.
    const bool timing = code % 10 == 1 || code % 10 == 4;
    QCOMPARE(window.cmdCancel->isEnabled(), !timing);
    if (timing)
        QCOMPARE(window.lblProcessing->text(), code > 9 ? kTimingDownloadStatus : kTimingUploadStatus);
}

void tst_frmProcessing::cancelPartWay_data()
{
    QTest::addColumn<int>("how");
    QTest::newRow("Cancel button") << 0;
    QTest::newRow("Escape") << 1;
    QTest::newRow("window closed") << 2;
}

void tst_frmProcessing::cancelPartWay()
{
    QFETCH(int, how);
    TransferRig rig;
    rig.online();
    CurrentData.ParamValue[2] = 4242;
    TransferType = kTransferAll;
    frmProcessing window(rig.rs(), rig.prompter, rig.w.get());
    window.show();
    bool stillShown = false;
    QObject::connect(window.prgProcessing, &QProgressBar::valueChanged, &window, [&](int value) {
        if (value != 2)
            return;
        if (how == 0)
            QTest::mouseClick(window.cmdCancel, Qt::LeftButton);
        else if (how == 1)
            QTest::keyClick(&window, Qt::Key_Escape);
        else
            window.close();
        stillShown = window.isVisible();
    });
    QVERIFY(runs(&window));

    QVERIFY(stillShown); // the window never goes under the transfer
    QVERIFY(window.transfer().cancelRequested());
    // Rows 0 and 1 were read, row 2 on is left; the timing phase still ran.
    QCOMPARE(CurrentData.ParamValue.mid(0, 4), (QList<qint32> { 123456, 7, 4242, 0 }));
    QCOMPARE(window.prgProcessing->value(), 2 + 32);
    QVERIFY(rig.script().calls().isEmpty());
}

void tst_frmProcessing::closingMessage_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("failure");
    QTest::addColumn<int>("end");
    // The bar counts the rows moved, not the one that failed.
    QTest::newRow("link dies in row 2") << 2 << 0 << 2;
    QTest::newRow("row 2 read wrong twice, link fine") << 2 << 4 << 2;
    QTest::newRow("link failed before the start") << 14 << 1 << 0;
    QTest::newRow("PLS configuration refused, link fine") << 11 << 2 << 0; // no channel sent after it
    QTest::newRow("recall refused, link fine") << 1 << 3 << 1;
}

void tst_frmProcessing::closingMessage()
{
    QFETCH(int, code);
    QFETCH(int, failure);
    TransferRig rig;
    rig.online();
    if (failure == 0) {
        rig.sim.dropOutAfter(2 + 12 + 1); // handshake, rows 0 and 1, a byte of row 2
        rig.script().answerMsg(MsgResult::Cancel);
    } else if (failure == 1) {
        rig.rs().CommError = true;
    } else if (failure == 2) {
        rig.sim.rejectNextPLSWrite(0);
    } else if (failure == 4) {
        // Handshake (2), rows 0 and 1 (12); row 2's echo, and again on its retry.
        rig.sim.corruptReplyTo(14);
        rig.sim.corruptReplyTo(18);
    } else {
        K7700Sim::PLSChannel beyond; // a position no recall can report
        beyond.kind = K7700Sim::PLSChannel::Kind::Setpoints;
        beyond.on = 5000;
        rig.sim.setPLSChannel(0, beyond);
    }
    rig.script().answerMsg(MsgResult::OK);
    TransferType = qint16(code);
    frmProcessing window(rig.rs(), rig.prompter, rig.w.get());
    window.show();
    QVERIFY(runs(&window));

    const auto boxes = rig.script().messages();
    QCOMPARE(boxes.size(), failure == 0 ? 2 : 1);
    if (failure == 0)
        QCOMPARE(boxes[0].text, kNoComm);
    checkBox(boxes.back(), kFailed, QStringLiteral("TALVEK"), MsgButtons::OK);
    QTEST(window.prgProcessing->value(), "end");
    if (failure == 4) {
        QCOMPARE(CurrentData.ParamValue[2], DefaultData.ParamValue[2]); // nothing stored for it
        QVERIFY(!rig.rs().CommError);
    }
    QCOMPARE(rig.script().unexpected(), 0);
}

void tst_frmProcessing::confirmations_data()
{
    QTest::addColumn<bool>("upload");
    QTest::addColumn<QList<int>>("answers"); // MsgResult values
    QTest::newRow("upload, No") << true << QList<int> { int(MsgResult::No) };
    QTest::newRow("upload, Yes, stay offline")
        << true << QList<int> { int(MsgResult::Yes), int(MsgResult::No) };
    QTest::newRow("download, No") << false << QList<int> { int(MsgResult::No) };
    QTest::newRow("download, Yes, stay offline")
        << false << QList<int> { int(MsgResult::Yes), int(MsgResult::No) };
}

void tst_frmProcessing::confirmations()
{
    QFETCH(bool, upload);
    QFETCH(QList<int>, answers);
    TransferRig rig;
    for (int a : answers)
        rig.script().answerMsg(MsgResult(a));
    (upload ? rig.w->mnuFileUploadData : rig.w->mnuFileDownloadData)[2]->trigger();

    const auto boxes = rig.script().messages();
    QCOMPARE(boxes.size(), answers.size());
    if (upload) {
        checkBox(boxes[0],
            QStringLiteral("You are about to Upload Data from the PLC\r\n\r\nDo You Wish to Continue?"),
            QStringLiteral("Data Upload"), MsgButtons::YesNo);
        QCOMPARE(boxes[0].defaultButton, MsgDefault::Button1);
    } else {
        // The question names what would be written (shift data is not
        // compared) and that the working data are the start-up defaults.
        checkBox(boxes[0],
            QStringLiteral("You are about to Download Data to the PLC\r\n\r\nShift Data from [unnamed].\r\n\r\n"
                           "The working data are the start-up defaults: they were not read from a press or a "
                           "set-up file.\r\n\r\nDo You Wish to Continue?"),
            QStringLiteral("Data Download"), MsgButtons::YesNo);
        // Writing to the press: Enter alone answers No.
        QCOMPARE(boxes[0].defaultButton, MsgDefault::Button2);
    }
    if (answers.size() > 1)
        checkBox(boxes[1], kOfflineQuestion, QStringLiteral("Program Offline"), MsgButtons::YesNo);
    // The upload time is stamped once the upload is confirmed, even when it
    // then does not run; nothing else happened.
    QCOMPARE(rig.w->globals().gUploadNOW.isEmpty(), !upload || answers.size() == 1);
    QCOMPARE(CurrentData, DefaultData);
    QCOMPARE(rig.port.openCount(), 0);
    QVERIFY(!rig.window());
    QCOMPARE(TransferType, qint16(0));
}

void tst_frmProcessing::uploadGoesOnlineAndChildWaits()
{
    TransferRig rig;
    auto* display = qobject_cast<frmMain*>(rig.w->currentChild());
    QVERIFY(display);
    display->refreshLoop().setAutoStep(true);
    rig.script().answerMsg(MsgResult::Yes);
    rig.script().answerMsg(MsgResult::Yes);
    rig.w->mnuFileUploadData[2]->trigger();

    QVERIFY(rig.rs().OnlineMode && rig.port.isOpen());
    QCOMPARE(TransferType, kTransferShiftData);
    frmProcessing* window = rig.window();
    QVERIFY(window);
    bool childWaited = true;
    QObject::connect(window->prgProcessing, &QProgressBar::valueChanged, window,
        [&] { childWaited = childWaited && !display->refreshLoop().autoStep(); });
    QVERIFY(runs(window));

    QVERIFY(childWaited);
    QVERIFY(display->refreshLoop().autoStep());
    QCOMPARE(rig.readsSince(0), kShiftReads); // nothing of the main display in between
    QCOMPARE(CurrentData.ParamValue.mid(0, 2), (QList<qint32> { 123456, 7 }));
    QCOMPARE(rig.script().messages().size(), 2);
    flushDeletes();
    QVERIFY(!rig.window());
}

void tst_frmProcessing::downloadAllWhileOnline()
{
    TransferRig rig;
    rig.online();
    CurrentData.ParamValue[10] = 321;
    CurrentData.OnSetpoint[9] = 40;
    CurrentData.OffSetpoint[9] = 50;
    rig.script().answerMsg(MsgResult::Yes); // no offline question
    rig.w->mnuFileDownloadData[4]->trigger();
    QVERIFY(runs(rig.window()));

    QCOMPARE(rig.script().messages().size(), 1);
    QVERIFY(rig.w->globals().gUploadNOW.isEmpty());
    QCOMPARE(rig.sim.word(1026), quint16(321));
    QCOMPARE(rig.sim.getD(1100), 0);
    QCOMPARE(rig.sim.plsChannel(9).on, quint16(40));
    QCOMPARE(rig.sim.plsChannel(9).off, quint16(50));
    QVERIFY(TimingDownloaded);
}

void tst_frmProcessing::goingOnlineFails()
{
    // The transfer runs even when the link did not open, and stops at its
    // first check.
    TransferRig rig;
    rig.sim.setDroppedOut(true);
    for (MsgResult a : { MsgResult::Yes, MsgResult::Yes, MsgResult::Cancel, MsgResult::OK })
        rig.script().answerMsg(a);
    rig.w->mnuFileUploadData[4]->trigger();
    QVERIFY(runs(rig.window()));

    const auto boxes = rig.script().messages();
    QCOMPARE(boxes.size(), 4);
    checkBox(boxes[1], kOfflineQuestion, QStringLiteral("Program Offline"), MsgButtons::YesNo);
    QCOMPARE(boxes[2].text, kNoComm);
    checkBox(boxes[3], kFailed, QStringLiteral("TALVEK"), MsgButtons::OK);
    QVERIFY(!rig.rs().OnlineMode);
    QCOMPARE(rig.window()->prgProcessing->value(), 0);
    QCOMPARE(CurrentData, DefaultData);
}

// The download question reads the controller first and names each value
// that differs from it; on a running press a second question names the speed
// (default No), and No writes nothing.
void tst_frmProcessing::downloadOnARunningPress()
{
    TransferRig rig;
    rig.online();
    rig.sim.setWord(K7700Sim::SpeedWord, 250);
    rig.script().answerMsg(MsgResult::Yes);
    rig.w->mnuFileUploadData[0]->trigger(); // Set-up Parameters
    QVERIFY(runs(rig.window()));
    flushDeletes();
    CurrentData.ParamValue[10] = 321; // one of the 12 rows changed since
    rig.w->globals().gFileNameCaption = QStringLiteral("[press3.sdt]");

    rig.script().answerMsg(MsgResult::Yes);
    rig.script().answerMsg(MsgResult::No);
    const qsizetype mark = rig.mark();
    rig.w->mnuFileDownloadData[0]->trigger();
    const auto boxes = rig.script().messages();
    QCOMPARE(boxes.size(), 3);
    QCOMPARE(boxes[1].text,
        QStringLiteral("You are about to Download Data to the PLC\r\n\r\nSet-up Parameters from [press3.sdt]: 1 of "
                       "12 values differs from what the controller holds:\r\nW1026 Low Speed (SPM): %1 -> 321\r\n\r\n"
                       "Do You Wish to Continue?")
            .arg(rig.sim.word(1026)));
    QCOMPARE(boxes[2].text,
        QStringLiteral("The press is running at 250 SPM.\r\n\r\nThe download writes the data to the controller of "
                       "the running press.\r\n\r\nDo you wish to continue?"));
    QCOMPARE(boxes[2].title, QStringLiteral("Data Download"));
    QCOMPARE(boxes[2].icon, MsgIcon::Exclamation);
    QCOMPARE(boxes[2].buttons, MsgButtons::YesNo);
    QCOMPARE(boxes[2].defaultButton, MsgDefault::Button2);
    QVERIFY(rig.writesSince(mark).isEmpty());
    QVERIFY(!rig.window());
}

// A timing upload that finds a pulse train names it at its end; the record
// holds the channel as empty.
void tst_frmProcessing::uploadNamesChannelsTheFileCannotHold()
{
    TransferRig rig;
    rig.online();
    K7700Sim::PLSChannel train;
    train.kind = K7700Sim::PLSChannel::Kind::PulseTrain;
    train.on = 4;
    train.onDivisions = 10;
    train.offDivisions = 10;
    rig.sim.setPLSChannel(9, train);
    rig.script().answerMsg(MsgResult::Yes);
    rig.script().answerMsg(MsgResult::OK);
    rig.w->mnuFileUploadData[1]->trigger();
    QVERIFY(runs(rig.window()));
    const auto boxes = rig.script().messages();
    QCOMPARE(boxes.size(), 2);
    QCOMPARE(boxes[1].text,
        QStringLiteral("The PLS holds channels that a set-up file cannot hold: CH11 (pulse train).\r\n\r\nThey "
                       "are kept here as empty channels (ON 0, OFF 0): a download of this data will clear them on "
                       "the PLS."));
    QCOMPARE(boxes[1].title, QStringLiteral("Data Upload"));
    QCOMPARE(boxes[1].icon, MsgIcon::Information);
    QCOMPARE(CurrentData.OnSetpoint[9], qint16(0));
    QCOMPARE(CurrentData.OffSetpoint[9], qint16(0));
    QCOMPARE(rig.script().unexpected(), 0);
}

QTEST_MAIN(tst_frmProcessing)
#include "tst_frmprocessing.moc"
