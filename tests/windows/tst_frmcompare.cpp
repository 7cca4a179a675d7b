// The compare window bound to the main window: the File menu opens it, the
// table shows the compare's rows with differences and failed reads marked,
// Enter selects the differences, Alt+L downloads them, and two files
// compare without the link.

#include "MainWindowRig.h"
#include "shared/DataTransfer.h"
#include "shared/SetupFile.h"
#include "shared/modUtility.h"
#include "windows/frmCompare.h"

#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QSet>
#include <QTableWidget>

using namespace talvek;
using namespace talvek::test;

namespace {

frmCompare* openCompare(Rig& rig)
{
    rig.w->mnuFileCompareController->trigger();
    auto* window = rig.w->findChild<frmCompare*>();
    if (window) {
        window->activateWindow();
        QCoreApplication::processEvents(); // the read, once the window is up
    }
    return window;
}

int tableRow(const frmCompare& w, const QString& address)
{
    for (int r = 0; r < w.grdCompare->rowCount(); ++r) {
        if (w.grdCompare->item(r, frmCompare::ColAddress)->text() == address)
            return r;
    }
    return -1;
}

QString cell(const frmCompare& w, const QString& address, int column)
{
    return w.grdCompare->item(tableRow(w, address), column)->text();
}

} // namespace

class tst_frmCompare final : public QObject
{
    Q_OBJECT

private slots:
    void compareAndDownloadByKeyboard();
    void failedReadShowsAsFailed();
    void twoFiles();
};

void tst_frmCompare::compareAndDownloadByKeyboard()
{
    Rig rig;
    rig.showActive();
    rig.w->modeSwitch().setMode(true);
    // The working data holds what the board holds, but for one value.
    DataTransfer upload(rig.rs(), CurrentData);
    QVERIFY(upload.run(kTransferAll, ParamCount).ok());
    CurrentData.ParamValue[10] = 300; // W1026

    frmCompare* w = openCompare(rig);
    QVERIFY(w);
    QVERIFY(QTest::qWaitForWindowActive(w));
    QCOMPARE(w->grdCompare->rowCount(), 39);
    QCOMPARE(w->lblSummary->text(), QStringLiteral("1 value differs (of 39)."));
    QCOMPARE(cell(*w, QStringLiteral("W1026"), frmCompare::ColCaption), QStringLiteral("Low Speed (SPM)"));
    QCOMPARE(cell(*w, QStringLiteral("W1026"), frmCompare::ColWorking), QStringLiteral("300"));
    QCOMPARE(cell(*w, QStringLiteral("W1026"), frmCompare::ColOther), QStringLiteral("0"));
    QCOMPARE(cell(*w, QStringLiteral("W1026"), frmCompare::ColState), QStringLiteral("differs"));
    QVERIFY(w->grdCompare->item(tableRow(*w, QStringLiteral("W1026")), 0)->font().bold());
    QCOMPARE(cell(*w, QStringLiteral("W1028"), frmCompare::ColState), QString());
    QVERIFY(!cell(*w, QStringLiteral("W1028"), 0).isEmpty());

    // Enter in the table selects the differences; Alt+L downloads them.
    QCOMPARE(QApplication::focusWidget(), w->grdCompare);
    // Tab leaves the table for the buttons, Shift+Tab comes back.
    QTest::keyClick(w->grdCompare, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), w->cmdSelectDifferences);
    QTest::keyClick(w->cmdSelectDifferences, Qt::Key_Backtab, Qt::ShiftModifier);
    QCOMPARE(QApplication::focusWidget(), w->grdCompare);
    QTest::keyClick(w->grdCompare, Qt::Key_Return);
    QCOMPARE(w->selectedRows(), QList<int> { tableRow(*w, QStringLiteral("W1026")) });
    QVERIFY(w->cmdDownload->isEnabled());
    rig.script().answerMsg(MsgResult::Yes);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_L, Qt::AltModifier);
    QVERIFY(w->cmdDownload->isDown());
    // The access key clicks the button as a mouse would, a moment later.
    QTRY_COMPARE(rig.sim.word(1026), quint16(300));
    QCOMPARE(w->lblSummary->text(), QStringLiteral("No value differs (of 39)."));
    QCOMPARE(rig.script().unexpected(), 0);

    // The access keys of the window are its own, one each.
    QStringList keys;
    for (const QString& t : { w->cmdSelectDifferences->text(), w->cmdDownload->text(), w->cmdTake->text(),
             w->cmdReadAgain->text(), w->cmdClose->text(), w->findChild<QLabel*>(QStringLiteral("lblValues"))->text() })
        keys << t.mid(t.indexOf(QLatin1Char('&')) + 1, 1).toUpper();
    QCOMPARE(QSet<QString>(keys.cbegin(), keys.cend()).size(), 6);
    QTest::keyClick(w, Qt::Key_Escape);
    flushDeletes();
    QVERIFY(!rig.w->findChild<frmCompare*>());
}

void tst_frmCompare::failedReadShowsAsFailed()
{
    Rig rig;
    rig.showActive();
    rig.w->modeSwitch().setMode(true);
    rig.sim.setDroppedOut(true);
    rig.script().answerMsg(MsgResult::Cancel); // the link's Retry/Cancel
    frmCompare* w = openCompare(rig);
    QVERIFY(w);
    QCOMPARE(cell(*w, QStringLiteral("W1026"), frmCompare::ColOther), QStringLiteral("not read"));
    QCOMPARE(cell(*w, QStringLiteral("CH03"), frmCompare::ColState),
        QStringLiteral("not read (the controller did not answer)"));
    QCOMPARE(w->lblSummary->text(),
        QStringLiteral("No value differs (of 39); 39 could not be read, so they are neither same nor different."));
    // The program has gone OFFLINE: nothing can be sent or taken.
    QCOMPARE(rig.panel(2), QStringLiteral("OFFLINE"));
    w->grdCompare->selectAll();
    QVERIFY(!w->cmdDownload->isEnabled());
    QVERIFY(!w->cmdTake->isEnabled());
    QVERIFY(!w->cmdReadAgain->isEnabled());
}

void tst_frmCompare::twoFiles()
{
    Rig rig;
    MachineData changed = DefaultData;
    changed.ParamValue[9] = 310;
    const QString first = rig.dir.filePath(QStringLiteral("approved.sdt"));
    const QString second = rig.dir.filePath(QStringLiteral("tonight.sdt"));
    QVERIFY(writeSetupFile(first, DefaultData));
    QVERIFY(writeSetupFile(second, changed));
    const QList<PromptCall> before = rig.script().calls();
    rig.script().answerFile(first);
    rig.script().answerFile(second);
    rig.w->mnuFileCompareFiles->trigger();
    auto* w = rig.w->findChild<frmCompare*>();
    QVERIFY(w);
    QVERIFY(!w->againstController());
    QCOMPARE(rig.script().calls().size(), before.size() + 2);
    QCOMPARE(rig.script().calls().last().file.title, QStringLiteral("Compare Files - Second File"));
    // Named first and second (two files may share a name), the paths in tips.
    QCOMPARE(
        w->grdCompare->horizontalHeaderItem(frmCompare::ColWorking)->text(), QStringLiteral("First File"));
    QCOMPARE(
        w->grdCompare->horizontalHeaderItem(frmCompare::ColOther)->text(), QStringLiteral("Second File"));
    QCOMPARE(w->grdCompare->horizontalHeaderItem(frmCompare::ColWorking)->toolTip(),
        QDir::toNativeSeparators(first));
    QCOMPARE(w->grdCompare->horizontalHeaderItem(frmCompare::ColOther)->toolTip(),
        QDir::toNativeSeparators(second));
    QCOMPARE(cell(*w, QStringLiteral("W1024"), frmCompare::ColOther), QStringLiteral("310"));
    QCOMPARE(w->lblSummary->text(), QStringLiteral("1 value differs (of 39)."));
    QVERIFY(w->cmdDownload->isHidden() && w->cmdTake->isHidden() && w->cmdReadAgain->isHidden());
    QVERIFY(rig.port.exchanges().isEmpty()); // OFFLINE: the link was never used
}

QTEST_MAIN(tst_frmCompare)
#include "tst_frmcompare.moc"
