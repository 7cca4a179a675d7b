// The set-up parameters editor on the in-process simulator, driven with real
// key and mouse events: presentations, the online and offline passes, the tab
// rule, the check box, and every edge of the numeric entry fields; and the
// road of one ONLINE edit from the main window down to the wire.

#include "LiveRig.h"
#include "MainWindowRig.h"
#include "shared/MachineData.h"
#include "shared/modUtility.h"
#include "shared/SetupFile.h"
#include "SimLinkMode.h"
#include "windows/frmSetup.h"
#include "windows/NumericField.h"
#include "windows/UpDown.h"
#include "WireOps.h"

#include <QCheckBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QToolButton>

using namespace talvek;
using namespace talvek::test;

namespace {

const QString Deg = QString(kDegreeSign);

struct SetupRig : SimLinkMode
{
    std::unique_ptr<frmSetup> w;

    SetupRig()
    {
        resetMachineDataGlobals();
        InitMachineData(1, 0, 0);
        w = std::make_unique<frmSetup>(prompter, rs, mode);
        w->refreshLoop().setAutoStep(false);
        w->resize(900, 640);
    }
    ~SetupRig()
    {
        w.reset();
        if (port.isOpen())
            port.close();
    }
    // Shows and activates the window (the loop is started, not yet stepped).
    bool show()
    {
        w->show();
        w->activateWindow();
        return QTest::qWaitForWindowActive(w.get());
    }
    void online() { mode.setMode(true); }
    void cycle() { w->refreshLoop().runCycle(); }
    QLineEdit* txt(int i) { return w->txtSetup[size_t(i)]; }
    QString text(int i) { return txt(i)->text(); }
    qsizetype mark() const { return port.exchanges().size(); }
    QList<WireOp> writesSince(qsizetype from) const { return Writes(port.exchanges(), from); }
    QList<int> readsSince(qsizetype from) const { return ReadAddresses(port.exchanges(), from); }
};

// The controller values the tests start from.
void loadController(K7700Sim& sim)
{
    const std::array<int, 8> values { 120, 130, 300, 250, 350, 375, 250, 20 };
    for (int i = 0; i < 8; ++i)
        sim.setWord(1020 + 2 * i + (i >= 5 ? 2 : 0), quint16(values[size_t(i)]));
    sim.setByte(1018, 0x01);
}

// Lets posted events run (the Tab that Enter sends on, a refusal finished
// after its focus change) without letting any timer fire.
void settle()
{
    QCoreApplication::sendPostedEvents();
    QCoreApplication::sendPostedEvents();
}

// A click into the field (begin editing selects all), then the keys.
void typeInto(QLineEdit* box, const QString& keys)
{
    QTest::mouseClick(box, Qt::LeftButton);
    QTest::keyClicks(box, keys);
}

QList<WireOp> wordWrite(int address, int value)
{
    return { { true, address, value & 0xFF }, { true, address + 1, value >> 8 } };
}

} // namespace

class tst_frmSetup : public QObject
{
    Q_OBJECT

private slots:
    void controls();
    void onlineShowsDashUntilRead();
    void tabSwitchMidPassEndsThePassWithoutARead();
    void offlineEditingEnablesWithinOneCycle();
    void fieldEdgeCases_data();
    void fieldEdgeCases();
    void refusedEntryKeepsFocusAndEditing();
    void refusalKeepsTheTab();
    void arrowWhileTypingInTheMainWindow();
    void escapeTwiceLeaves();
    void escapeKeyEscapeRestoresTwice();
    void enterInsertsNothing();
    void editedFieldKeepsItsTextThroughTheRefresh();
    void spinnerWritesTheSteppedValue();
    void grayedCheckBoxIgnoresClicks();
    void checkBoxWriteBackOnceAfterRefreshChange();
    void checkBoxClickWrites();
    void offlineEditsOnlyChangeCurrentData();
    void commErrorTakesTheWindowOffline();
    void focusBeforeTheFirstPresentationIsNoEntry();
    void unloadWhileEditingValidatesNothing();
    void onlineRoadOfOneEdit();
    void keyboardPageChangeChecksTheEntry();
    void aTypedValueIsWrittenOnce();
    void saveTakesTheEntryBeingTyped();
};

void tst_frmSetup::controls()
{
    SetupRig r;
    frmSetup& w = *r.w;
    QCOMPARE(w.windowTitle(), QStringLiteral("Set-Up"));
    QCOMPARE(w.tbsSetup->count(), 2);
    QCOMPARE(w.tbsSetup->tabText(0), QStringLiteral("&Bodymaker Setup Parameters"));
    QCOMPARE(w.tbsSetup->tabText(1), QStringLiteral("&Trimmer Parameters"));
    QCOMPARE(w.fraParameters[0]->title(), QStringLiteral("Brake Wear Compensation"));
    QCOMPARE(w.fraParameters[1]->title(), QStringLiteral("Bodymaker Running Speeds"));
    QCOMPARE(w.fraParameters[2]->title(), QStringLiteral("Trimmer Speed References"));
    QCOMPARE(w.chkBrakeWearCompEnable->text(), QStringLiteral("B&rake Wear Compensation Enable:"));
    QCOMPARE(w.cmdDefault->text(), QStringLiteral("-"));
    // The focus sink takes the focus but is not seen.
    QVERIFY(w.cmdDefault->focusPolicy() & Qt::TabFocus);
    QCOMPARE(w.cmdDefault->maximumSize(), QSize(0, 0));

    const QStringList captions { "B&DC Stop Position (Low Speed):", "BD&C Stop Position (High Speed):",
        "&Maximum Allowed Stopping Response (deg):", "&Low Speed (SPM):", "High &Speed (SPM):",
        "&Maximum Speed (full scale calibration) - CPM:", "&Idle Speed (Bodymaker Stopped) - CPM:",
        "High Speed &Offset (Trimmer Infeed Covered) - CPM:" };
    const QList<int> group { 0, 0, 0, 1, 1, 2, 2, 2 };
    for (int i = 0; i < 8; ++i) {
        QCOMPARE(w.lblSetup[size_t(i)]->text(), captions[i]);
        QCOMPARE(w.lblSetup[size_t(i)]->buddy(), w.txtSetup[size_t(i)]);
        QCOMPARE(w.updSetup[size_t(i)]->Min(), 0);
        QCOMPARE(w.updSetup[size_t(i)]->Max(), SetupParameters::fieldMax(i));
        QCOMPARE(w.updSetup[size_t(i)]->increment(), 1);
        QVERIFY(w.fraParameters[size_t(group[i])]->isAncestorOf(w.txtSetup[size_t(i)]));
        QCOMPARE(w.txtSetup[size_t(i)]->objectName(), QStringLiteral("txtSetup_%1").arg(i));
        QCOMPARE(w.field(i).entry().options().degrees, i <= 2);
    }
    QVERIFY(w.fraSetup[0]->isAncestorOf(w.fraParameters[0]));
    QVERIFY(w.fraSetup[0]->isAncestorOf(w.fraParameters[1]));
    QVERIFY(w.fraSetup[1]->isAncestorOf(w.fraParameters[2]));
    QVERIFY(w.fraParameters[0]->isAncestorOf(w.chkBrakeWearCompEnable));

    // Tab order: check box, then each text box followed by its up-down.
    QWidget* next = w.chkBrakeWearCompEnable;
    for (int i = 0; i < 8; ++i) {
        next = next->nextInFocusChain();
        QCOMPARE(next, static_cast<QWidget*>(w.txtSetup[size_t(i)]));
        next = next->nextInFocusChain();
        QCOMPARE(next, static_cast<QWidget*>(w.updSetup[size_t(i)]));
    }

    // Activation shows the first page; the access key of a caption lands in its field.
    QVERIFY(r.show());
    QVERIFY(w.fraSetup[0]->isVisible());
    QVERIFY(!w.fraSetup[1]->isVisible());
    QCOMPARE(w.firstVisibleField(), 0);
    QCOMPARE(w.lastVisibleField(), 4);
    OfflineEditing = true;
    r.cycle();
    r.cycle();
    QTest::keyClick(&w, Qt::Key_L, Qt::AltModifier);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w.txtSetup[3]));
}

void tst_frmSetup::onlineShowsDashUntilRead()
{
    SetupRig r;
    loadController(r.sim);
    QVERIFY(r.show());
    r.online();
    QVERIFY(r.rs.OnlineMode);
    frmSetup& w = *r.w;

    r.w->refreshLoop().step(); // presentation, pass begins
    for (int i = 0; i < 8; ++i) {
        QCOMPARE(r.text(i), QStringLiteral("-"));
        QVERIFY(w.txtSetup[size_t(i)]->isEnabled());
        QVERIFY(w.updSetup[size_t(i)]->isEnabled());
        QVERIFY(w.lblSetup[size_t(i)]->isEnabled());
    }
    QCOMPARE(w.chkBrakeWearCompEnable->checkState(), Qt::PartiallyChecked);
    QVERIFY(!w.checkBoxReady());

    qsizetype m = r.mark();
    r.w->refreshLoop().step(); // field 0 and the check box
    QCOMPARE(r.readsSince(m), QList<int>({ 1020, 1021, 1018 }));
    QCOMPARE(r.text(0), "120" + Deg);
    QCOMPARE(w.Tag(0), QStringLiteral("120"));
    QCOMPARE(w.chkBrakeWearCompEnable->checkState(), Qt::Checked);
    QVERIFY(w.checkBoxReady());
    QCOMPARE(r.text(1), QStringLiteral("-"));

    m = r.mark();
    r.w->refreshLoop().runCycle(); // the rest of the pass
    QCOMPARE(r.readsSince(m), QList<int>({ 1022, 1023, 1024, 1025, 1026, 1027, 1028, 1029 }));
    QCOMPARE(r.text(1), "130" + Deg);
    QCOMPARE(r.text(2), "300" + Deg);
    QCOMPARE(r.text(3), QStringLiteral("250"));
    QCOMPARE(r.text(4), QStringLiteral("350"));
    // The other tab's fields wait for their tab.
    for (int i = 5; i < 8; ++i)
        QCOMPARE(r.text(i), QStringLiteral("-"));
    // The online pass does not store what it reads.
    QCOMPARE(CurrentData.ParamValue[7], 0);
    QVERIFY(r.prompter.calls().isEmpty());
}

void tst_frmSetup::tabSwitchMidPassEndsThePassWithoutARead()
{
    SetupRig r;
    loadController(r.sim);
    QVERIFY(r.show());
    r.online();
    RefreshLoop& loop = r.w->refreshLoop();
    loop.step();
    loop.step(); // field 0
    loop.step(); // field 1
    QTest::mouseClick(r.w->tbsSetup, Qt::LeftButton, {}, r.w->tbsSetup->tabRect(1).center());
    QCOMPARE(r.w->tbsSetup->currentIndex(), 1);
    QVERIFY(!r.w->fraSetup[0]->isVisible());
    QVERIFY(r.w->fraSetup[1]->isVisible());
    qsizetype m = r.mark();
    loop.step(); // would be field 2: the pass ends instead
    QVERIFY(!loop.inPass());
    QCOMPARE(r.mark(), m);
    QCOMPARE(r.text(2), QStringLiteral("-"));
    loop.runCycle();
    QCOMPARE(r.readsSince(m), QList<int>({ 1032, 1033, 1034, 1035, 1036, 1037 }));
    QCOMPARE(r.text(5), QStringLiteral("375"));
    QCOMPARE(r.text(6), QStringLiteral("250"));
    QCOMPARE(r.text(7), QStringLiteral("20"));

    // Back to tab 1 between passes: its first pass ends at once, the next reads 0..4.
    QTest::mouseClick(r.w->tbsSetup, Qt::LeftButton, {}, r.w->tbsSetup->tabRect(0).center());
    m = r.mark();
    loop.runCycle();
    QCOMPARE(r.mark(), m);
    loop.runCycle();
    QCOMPARE(r.readsSince(m).first(), 1020);
    QCOMPARE(r.readsSince(m).size(), 11);
}

void tst_frmSetup::offlineEditingEnablesWithinOneCycle()
{
    SetupRig r;
    CurrentData.ParamValue[6] = 1;
    CurrentData.ParamValue[7] = 45;
    CurrentData.ParamValue[14] = 33;
    QVERIFY(r.show());
    r.cycle();
    frmSetup& w = *r.w;
    for (int i = 0; i < 8; ++i) {
        QVERIFY(!w.txtSetup[size_t(i)]->isEnabled());
        QVERIFY(!w.updSetup[size_t(i)]->isEnabled());
        QVERIFY(!w.lblSetup[size_t(i)]->isEnabled());
    }
    for (QGroupBox* g : w.fraParameters)
        QVERIFY(!g->isEnabled());
    QVERIFY(!w.chkBrakeWearCompEnable->isEnabled());
    // Disabled, but showing the working data, on both tabs.
    QCOMPARE(r.text(0), "45" + Deg);
    QCOMPARE(r.text(2), "300" + Deg);
    QCOMPARE(r.text(3), QStringLiteral("250"));
    QCOMPARE(r.text(7), QStringLiteral("33"));
    QCOMPARE(w.chkBrakeWearCompEnable->checkState(), Qt::Checked);
    QCOMPARE(r.mark(), 0); // offline: nothing on the wire

    // The menu command flips the flag; the pass notices, the next cycle enables.
    OfflineEditing = true;
    r.cycle();
    r.cycle();
    for (int i = 0; i < 8; ++i)
        QVERIFY(w.txtSetup[size_t(i)]->isEnabled());
    QVERIFY(w.chkBrakeWearCompEnable->isEnabled());
    QCOMPARE(r.text(0), "45" + Deg);

    OfflineEditing = false;
    r.cycle();
    r.cycle();
    QVERIFY(!w.txtSetup[0]->isEnabled());
    QCOMPARE(r.text(0), "45" + Deg);
}

void tst_frmSetup::fieldEdgeCases_data()
{
    QTest::addColumn<int>("field");
    QTest::addColumn<QString>("keys"); // typed over the value the refresh drew
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("stored");
    QTest::addColumn<QString>("message");

    const QString deg359 = QStringLiteral("Only a Number Between 0 and 359 can be Entered");
    const QString low = QStringLiteral("Only a Number Between 0 and 899 can be Entered");
    const QString wide = QStringLiteral("Only a Number Between 0 and 999 can be Entered");
    QTest::newRow("120 typed with the sign") << 0 << "120" + Deg << true << 120 << QString();
    QTest::newRow("45 typed with the sign") << 0 << "45" + Deg << true << 45 << QString();
    QTest::newRow("empty") << 0 << "\b" << false << 0 << deg359;
    QTest::newRow("a word") << 0 << "abc" << false << 0 << deg359;
    QTest::newRow("12abc") << 1 << "12abc" << false << 0 << deg359;
    QTest::newRow("degree Max") << 0 << "359" << true << 359 << QString();
    QTest::newRow("degree Max+1") << 0 << "360" << false << 0 << deg359;
    QTest::newRow("Min") << 3 << "0" << true << 0 << QString();
    QTest::newRow("Min-1") << 3 << "-1" << false << 0 << low;
    QTest::newRow("low speed Max") << 3 << "899" << true << 899 << QString();
    QTest::newRow("low speed Max+1") << 3 << "900" << false << 0 << low;
    QTest::newRow("high speed Max") << 4 << "999" << true << 999 << QString();
    QTest::newRow("high speed Max+1") << 4 << "1000" << false << 0 << wide;
    QTest::newRow("12.6 stores and writes 13") << 2 << "12.6" << true << 13 << QString();
    QTest::newRow("12.5 stores and writes 12") << 2 << "12.5" << true << 12 << QString();
}

void tst_frmSetup::fieldEdgeCases()
{
    QFETCH(int, field);
    QFETCH(QString, keys);
    QFETCH(bool, ok);
    QFETCH(int, stored);
    QFETCH(QString, message);

    SetupRig r;
    loadController(r.sim);
    QVERIFY(r.show());
    r.online();
    r.cycle();
    const int address = 1020 + 2 * field;
    const int before = r.sim.word(address);
    const QString shown = r.text(field);
    const int row = field + 7;
    const qint32 rowBefore = CurrentData.ParamValue[row];

    const qsizetype m = r.mark();
    QLineEdit* box = r.txt(field);
    QTest::mouseClick(box, Qt::LeftButton);
    QVERIFY(r.w->editing(field));
    QCOMPARE(box->selectedText(), shown);
    if (!keys.isEmpty())
        QTest::keyClicks(box, keys);
    QTest::keyClick(box, Qt::Key_Tab);
    settle();

    if (ok) {
        QVERIFY(r.prompter.calls().isEmpty());
        QCOMPARE(CurrentData.ParamValue[row], stored);
        // The controller receives what the working data holds, and only that.
        QCOMPARE(r.sim.word(address), stored);
        QCOMPARE(r.writesSince(m), wordWrite(address, stored));
        QVERIFY(!r.w->editing(field));
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(r.w->updSetup[size_t(field)]));
        // The next pass redraws the field, degree sign included.
        r.cycle();
        QCOMPARE(r.text(field), r.w->field(field).entry().displayFor(QString::number(stored)));
    } else {
        QCOMPARE(r.prompter.messages().size(), 1);
        const PromptCall call = r.prompter.messages().at(0);
        QCOMPARE(call.text, message);
        QCOMPARE(call.title, QStringLiteral("Set-up"));
        QCOMPARE(call.icon, MsgIcon::Information);
        QCOMPARE(call.buttons, MsgButtons::OK);
        QCOMPARE(CurrentData.ParamValue[row], rowBefore);
        QCOMPARE(r.sim.word(address), before);
        QVERIFY(r.writesSince(m).isEmpty());
        QCOMPARE(r.text(field), shown);
        QCOMPARE(r.w->Tag(field), QString::number(before));
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(box));
        QCOMPARE(box->selectedText(), shown);
        QVERIFY(r.w->editing(field));
    }
}

void tst_frmSetup::refusedEntryKeepsFocusAndEditing()
{
    SetupRig r;
    loadController(r.sim);
    QVERIFY(r.show());
    r.online();
    r.cycle();
    // A refusal while focus went on to the next field: that field neither
    // begins editing nor is validated before the focus comes back.
    typeInto(r.txt(3), QStringLiteral("abc"));
    QTest::keyClick(r.txt(3), Qt::Key_Tab);
    QTest::keyClick(r.w->updSetup[3], Qt::Key_Tab); // on to field 4 before the refusal ran
    const qsizetype m = r.mark();
    settle();
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(r.txt(3)));
    QVERIFY(!r.w->editing(4));
    QVERIFY(r.writesSince(m).isEmpty());
    QCOMPARE(r.prompter.messages().size(), 1);
    // The refresh leaves the refused field alone while it is edited.
    r.sim.setWord(1026, 444);
    r.cycle();
    QCOMPARE(r.text(3), QStringLiteral("250"));
    QCOMPARE(r.text(4), QStringLiteral("350"));
    // Accepting it makes the refresh take it over again.
    QTest::keyClicks(r.txt(3), QStringLiteral("500"));
    QTest::keyClick(r.txt(3), Qt::Key_Return);
    settle();
    QCOMPARE(CurrentData.ParamValue[10], 500);
    r.cycle();
    QCOMPARE(r.text(3), QStringLiteral("500"));
}

void tst_frmSetup::refusalKeepsTheTab()
{
    SetupRig r;
    loadController(r.sim);
    QVERIFY(r.show());
    r.online();
    r.cycle();
    // 950 in "Low Speed" (0..899), then a click on the other tab.
    typeInto(r.txt(3), QStringLiteral("950"));
    QTest::mouseClick(r.w->tbsSetup, Qt::LeftButton, {}, r.w->tbsSetup->tabRect(1).center());
    settle();
    QCOMPARE(r.prompter.messages().size(), 1);
    QCOMPARE(r.prompter.messages()[0].text, QStringLiteral("Only a Number Between 0 and 899 can be Entered"));
    // The page did not change: the operator is back in the field.
    QCOMPARE(r.w->tbsSetup->currentIndex(), 0);
    QVERIFY(r.w->fraSetup[0]->isVisible());
    QVERIFY(!r.w->fraSetup[1]->isVisible());
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(r.txt(3)));
    QCOMPARE(r.text(3), QStringLiteral("250"));
    QVERIFY(r.w->editing(3));
    // A value accepted now is written, and the tab changes on the next click.
    const qsizetype m = r.mark();
    QTest::keyClicks(r.txt(3), QStringLiteral("300"));
    QTest::mouseClick(r.w->tbsSetup, Qt::LeftButton, {}, r.w->tbsSetup->tabRect(1).center());
    settle();
    QCOMPARE(r.writesSince(m), wordWrite(1026, 300));
    QCOMPARE(r.w->tbsSetup->currentIndex(), 1);
    QVERIFY(r.w->fraSetup[1]->isVisible());
    QVERIFY(!r.w->editing(3));
    QCOMPARE(r.prompter.messages().size(), 1);
}

void tst_frmSetup::arrowWhileTypingInTheMainWindow()
{
    // As the application runs it: the editor inside the main window's MDI area.
    LiveRig rig;
    rig.showActive();
    loadController(rig.sim);
    auto* w = rig.show<frmSetup>(1);
    QVERIFY(w);
    rig.online();
    w->refreshLoop().runCycle();
    QCOMPARE(w->txtSetup[3]->text(), QStringLiteral("250"));

    // Typed 300, then the up arrow of the same field: 300 is accepted and
    // written, then the arrow steps it to 301.
    qsizetype m = rig.mark();
    typeInto(w->txtSetup[3], QStringLiteral("300"));
    QTest::mouseClick(w->updSetup[3]->upButton(), Qt::LeftButton);
    settle();
    QCOMPARE(rig.writesSince(m), wordWrite(1026, 300) + wordWrite(1026, 301));
    QCOMPARE(CurrentData.ParamValue[10], 301);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w->cmdDefault));
    QVERIFY(!w->editing(3));
    w->refreshLoop().runCycle();
    QCOMPARE(w->txtSetup[3]->text(), QStringLiteral("301"));

    // Typed out of range, then the arrow: refused as leaving would be; no
    // step, nothing written, the operator stays in the field.
    m = rig.mark();
    typeInto(w->txtSetup[3], QStringLiteral("950"));
    rig.script().answerMsg(MsgResult::OK);
    QTest::mouseClick(w->updSetup[3]->upButton(), Qt::LeftButton);
    settle();
    QCOMPARE(rig.writesSince(m), QList<WireOp>());
    QCOMPARE(CurrentData.ParamValue[10], 301);
    const auto boxes = rig.script().messages();
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].text, QStringLiteral("Only a Number Between 0 and 899 can be Entered"));
    QCOMPARE(w->txtSetup[3]->text(), QStringLiteral("301"));
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w->txtSetup[3]));
    QVERIFY(w->editing(3));
    QCOMPARE(rig.script().unexpected(), 0);
}

void tst_frmSetup::escapeTwiceLeaves()
{
    SetupRig r;
    loadController(r.sim);
    QVERIFY(r.show());
    r.online();
    r.cycle();
    QLineEdit* box = r.txt(0);
    typeInto(box, QStringLiteral("77"));
    QCOMPARE(box->text(), QStringLiteral("77"));
    QTest::keyClick(box, Qt::Key_Escape);
    QCOMPARE(box->text(), QStringLiteral("120")); // plain, no degree sign
    QCOMPARE(box->selectedText(), QStringLiteral("120"));
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(box));
    const qsizetype m = r.mark();
    const qint32 rowBefore = CurrentData.ParamValue[7];
    QTest::keyClick(box, Qt::Key_Escape);
    settle();
    // Left for the focus sink; the restored value is nobody's entry: nothing
    // is stored or written.
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(r.w->cmdDefault));
    QVERIFY(!r.w->editing(0));
    QCOMPARE(CurrentData.ParamValue[7], rowBefore);
    QCOMPARE(r.writesSince(m), QList<WireOp>());
    QVERIFY(r.prompter.calls().isEmpty());
}

void tst_frmSetup::escapeKeyEscapeRestoresTwice()
{
    SetupRig r;
    loadController(r.sim);
    QVERIFY(r.show());
    r.online();
    r.cycle();
    QLineEdit* box = r.txt(3);
    typeInto(box, QStringLiteral("77"));
    QTest::keyClick(box, Qt::Key_Escape);
    QCOMPARE(box->text(), QStringLiteral("250"));
    QTest::keyClick(box, Qt::Key_5);
    QCOMPARE(box->text(), QStringLiteral("5"));
    QTest::keyClick(box, Qt::Key_Escape);
    QCOMPARE(box->text(), QStringLiteral("250"));
    QCOMPARE(box->selectedText(), QStringLiteral("250"));
    settle();
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(box));
    QVERIFY(r.w->editing(3));
    QCOMPARE(CurrentData.ParamValue[10], 250); // the default, untouched
    // A cursor key between is no key press: the next Esc leaves.
    QTest::keyClick(box, Qt::Key_Left);
    QTest::keyClick(box, Qt::Key_Escape);
    settle();
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(r.w->cmdDefault));
}

void tst_frmSetup::enterInsertsNothing()
{
    SetupRig r;
    QVERIFY(r.show());
    OfflineEditing = true;
    r.cycle();
    r.cycle();
    QLineEdit* box = r.txt(4);
    typeInto(box, QStringLiteral("400"));
    QTest::keyClick(box, Qt::Key_Return);
    QCOMPARE(box->text(), QStringLiteral("400"));
    settle();
    QCOMPARE(box->text(), QStringLiteral("400"));
    QCOMPARE(CurrentData.ParamValue[11], 400);
    // On past the field's own arrows (the last field of the page: to the tab strip).
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(r.w->tbsSetup));
    // The keypad's Enter does the same: on to the next field.
    typeInto(r.txt(3), QStringLiteral("123"));
    QTest::keyClick(r.txt(3), Qt::Key_Enter, Qt::KeypadModifier);
    settle();
    QCOMPARE(r.text(3), QStringLiteral("123"));
    QCOMPARE(CurrentData.ParamValue[10], 123);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(r.txt(4)));
}

void tst_frmSetup::editedFieldKeepsItsTextThroughTheRefresh()
{
    SetupRig r;
    loadController(r.sim);
    QVERIFY(r.show());
    r.online();
    r.cycle();
    typeInto(r.txt(1), QStringLiteral("33"));
    r.sim.setWord(1020, 11);
    r.sim.setWord(1022, 22);
    r.cycle();
    QCOMPARE(r.text(0), "11" + Deg);
    QCOMPARE(r.text(1), QStringLiteral("33"));
    QTest::keyClick(r.txt(1), Qt::Key_Tab);
    settle();
    QCOMPARE(r.sim.word(1022), 33);
    r.cycle();
    QCOMPARE(r.text(1), "33" + Deg);
}

void tst_frmSetup::spinnerWritesTheSteppedValue()
{
    SetupRig r;
    loadController(r.sim);
    QVERIFY(r.show());
    r.online();
    r.cycle();
    qsizetype m = r.mark();
    QTest::mouseClick(r.w->updSetup[3]->upButton(), Qt::LeftButton);
    QCOMPARE(r.w->Tag(3), QStringLiteral("251"));
    QCOMPARE(CurrentData.ParamValue[10], 251);
    QCOMPARE(r.writesSince(m), wordWrite(1026, 251));
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(r.w->cmdDefault));

    // Typing in another field is validated first; in the same field the
    // typed value is accepted and the arrow steps from it.
    typeInto(r.txt(4), QStringLiteral("500"));
    m = r.mark();
    QTest::mouseClick(r.w->updSetup[2]->downButton(), Qt::LeftButton);
    QCOMPARE(r.writesSince(m), wordWrite(1028, 500) + wordWrite(1024, 299));
    typeInto(r.txt(2), QStringLiteral("17"));
    m = r.mark();
    QTest::mouseClick(r.w->updSetup[2]->upButton(), Qt::LeftButton);
    settle();
    QCOMPARE(r.writesSince(m), wordWrite(1024, 17) + wordWrite(1024, 18));
    QCOMPARE(CurrentData.ParamValue[9], 18);
    QVERIFY(r.prompter.calls().isEmpty());

    // At a limit nothing changes and nothing is written.
    r.sim.setWord(1026, 899);
    r.cycle();
    m = r.mark();
    QTest::mouseClick(r.w->updSetup[3]->upButton(), Qt::LeftButton);
    QCOMPARE(r.mark(), m);
    QCOMPARE(r.w->Tag(3), QStringLiteral("899"));
}

void tst_frmSetup::grayedCheckBoxIgnoresClicks()
{
    SetupRig r;
    loadController(r.sim);
    QVERIFY(r.show());
    r.online();
    r.w->refreshLoop().step(); // online presentation: grayed, not ready
    QCheckBox* chk = r.w->chkBrakeWearCompEnable;
    QCOMPARE(chk->checkState(), Qt::PartiallyChecked);
    const qsizetype m = r.mark();
    QTest::mouseClick(chk, Qt::LeftButton);
    QCOMPARE(CurrentData.ParamValue[6], 0);
    QCOMPARE(r.mark(), m);
    // The refresh puts the controller's value back without writing it.
    r.w->refreshLoop().step();
    QCOMPARE(chk->checkState(), Qt::Checked);
    QVERIFY(r.writesSince(m).isEmpty());
    QCOMPARE(CurrentData.ParamValue[6], 0);
}

void tst_frmSetup::checkBoxWriteBackOnceAfterRefreshChange()
{
    SetupRig r;
    loadController(r.sim);
    r.sim.setByte(1018, 0xF0); // bit 0 clear, the other bits in use
    QVERIFY(r.show());
    r.online();
    r.cycle();
    QCOMPARE(r.w->chkBrakeWearCompEnable->checkState(), Qt::Unchecked);
    qsizetype m = r.mark();
    r.cycle();
    QVERIFY(r.writesSince(m).isEmpty());

    // The keypad switches it on: the refresh's change raises the click, which
    // writes the same value back once.
    r.sim.setByte(1018, 0xF1);
    m = r.mark();
    r.cycle();
    r.cycle();
    QCOMPARE(r.w->chkBrakeWearCompEnable->checkState(), Qt::Checked);
    QCOMPARE(r.writesSince(m), QList<WireOp>({ { true, 1018, 0xF1 } }));
    QCOMPARE(CurrentData.ParamValue[6], 1);
    QCOMPARE(r.sim.byte(1018), 0xF1);
}

void tst_frmSetup::checkBoxClickWrites()
{
    SetupRig r;
    loadController(r.sim);
    r.sim.setByte(1018, 0x81);
    QVERIFY(r.show());
    r.online();
    r.cycle();
    const qsizetype m = r.mark();
    QTest::mouseClick(r.w->chkBrakeWearCompEnable, Qt::LeftButton);
    QCOMPARE(r.w->chkBrakeWearCompEnable->checkState(), Qt::Unchecked);
    QCOMPARE(CurrentData.ParamValue[6], 0);
    QCOMPARE(r.writesSince(m), QList<WireOp>({ { true, 1018, 0x80 } }));
    QCOMPARE(r.sim.byte(1018), 0x80);
}

void tst_frmSetup::offlineEditsOnlyChangeCurrentData()
{
    SetupRig r;
    OfflineEditing = true;
    QVERIFY(r.show());
    r.cycle();
    r.cycle();
    typeInto(r.txt(0), QStringLiteral("90") + Deg);
    QTest::keyClick(r.txt(0), Qt::Key_Tab);
    settle();
    QCOMPARE(CurrentData.ParamValue[7], 90);
    QVERIFY(HasUnsavedChanges());
    QTest::mouseClick(r.w->chkBrakeWearCompEnable, Qt::LeftButton);
    QCOMPARE(CurrentData.ParamValue[6], 1);
    QCOMPARE(r.mark(), 0);
    QCOMPARE(r.port.openCount(), 0);
    r.cycle();
    QCOMPARE(r.text(0), "90" + Deg);
}

void tst_frmSetup::commErrorTakesTheWindowOffline()
{
    SetupRig r;
    loadController(r.sim);
    CurrentData.ParamValue[10] = 222;
    QVERIFY(r.show());
    r.online();
    RefreshLoop& loop = r.w->refreshLoop();
    loop.runCycle();
    r.sim.setDroppedOut(true);
    r.prompter.answerMsg(MsgResult::Cancel); // the link's own Retry/Cancel box
    loop.runCycle();
    QVERIFY(r.rs.CommError);
    loop.runCycle(); // the next cycle takes the program offline
    QVERIFY(!r.rs.OnlineMode);
    QVERIFY(!r.port.isOpen());
    QVERIFY(!r.txt(3)->isEnabled());
    QCOMPARE(r.text(3), QStringLiteral("222"));
    // One box, the link's; none from this window.
    QCOMPARE(r.prompter.messages().size(), 1);
    QCOMPARE(r.prompter.messages().at(0).buttons, MsgButtons::RetryCancel);
}

void tst_frmSetup::focusBeforeTheFirstPresentationIsNoEntry()
{
    SetupRig r;
    loadController(r.sim);
    QVERIFY(r.show());
    r.online();
    // The window being shown puts the focus into a field (as the frame's
    // focus handling can): that is no entry. The presentation puts the focus
    // into the first field, never on the focus sink, and enters nothing.
    r.txt(3)->setFocus(Qt::TabFocusReason);
    QVERIFY(!r.w->editing(3));
    const qsizetype m = r.mark();
    r.w->refreshLoop().step();
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(r.txt(0)));
    QVERIFY(!r.w->editing(0) && !r.w->editing(3));
    r.w->refreshLoop().runCycle();
    settle();
    QVERIFY(r.writesSince(m).isEmpty());
    QVERIFY(r.prompter.calls().isEmpty());
    QCOMPARE(r.text(0), QStringLiteral("120") + Deg); // the refresh fills the focused field
    QCOMPARE(r.text(3), QStringLiteral("250"));
    // The first key typed there begins the entry: it replaces the value.
    QTest::keyClicks(r.txt(0), QStringLiteral("95"));
    QVERIFY(r.w->editing(0));
    QCOMPARE(r.text(0), QStringLiteral("95"));
    QVERIFY(r.w->field(0).pending());
    QTest::keyClick(r.txt(0), Qt::Key_Tab);
    settle();
    QCOMPARE(r.sim.word(1020), quint16(95));
    QVERIFY(!r.w->field(0).pending());
}

void tst_frmSetup::unloadWhileEditingValidatesNothing()
{
    Rig rig;
    rig.showActive();
    frmMDIMain& main = *rig.w;
    main.ShowChildForm(1);
    flushDeletes();
    auto* setup = qobject_cast<frmSetup*>(main.currentChild());
    QVERIFY(setup);
    setup->refreshLoop().setAutoStep(false);
    rig.sim.setWord(1020, 120);
    main.mnuViewOnline->trigger();
    setup->refreshLoop().runCycle();
    typeInto(setup->txtSetup[0], QStringLiteral("200"));
    const qsizetype m = rig.port.exchanges().size();
    main.ShowChildForm(5); // typing, the operator switches windows
    flushDeletes();
    settle();
    QVERIFY(Writes(rig.port.exchanges(), m).isEmpty());
    QCOMPARE(rig.sim.word(1020), 120);
    QCOMPARE(CurrentData.ParamValue[7], 0);
    QVERIFY(rig.script().calls().isEmpty());
}

void tst_frmSetup::onlineRoadOfOneEdit()
{
    Rig rig;
    rig.showActive();
    frmMDIMain& main = *rig.w;
    QVERIFY(!rig.w->mnuWindowForm[1]->isChecked());
    rig.w->mnuWindowForm[1]->trigger();
    flushDeletes();
    auto* setup = qobject_cast<frmSetup*>(main.currentChild());
    QVERIFY(setup);
    setup->refreshLoop().setAutoStep(false);
    rig.sim.setWord(1026, 250);
    main.mnuViewOnline->trigger();
    QVERIFY(rig.rs().OnlineMode);
    setup->refreshLoop().runCycle();
    QCOMPARE(setup->txtSetup[3]->text(), QStringLiteral("250"));

    const qsizetype m = rig.port.exchanges().size();
    typeInto(setup->txtSetup[3], QStringLiteral("300"));
    QTest::keyClick(setup->txtSetup[3], Qt::Key_Return);
    settle();

    // The link was left in read mode by the refresh: handshake into write
    // mode, then address high, address low and data for each byte, echoed.
    const QList<SimPort::Exchange> all = rig.port.exchanges();
    QList<QPair<int, int>> wire;
    for (qsizetype i = m; i < all.size(); ++i)
        wire.append({ all[i].sent, all[i].reply.isEmpty() ? -1 : quint8(all[i].reply.back()) });
    const QList<QPair<int, int>> expected { { 0xFF, 0x55 }, { 0x02, 0x55 }, { 0x04, 0x04 }, { 0x02, 0x02 },
        { 0x2C, 0x2C }, { 0x04, 0x04 }, { 0x03, 0x03 }, { 0x01, 0x01 } };
    QCOMPARE(wire, expected);
    QCOMPARE(CurrentData.ParamValue[10], 300);
    QCOMPARE(rig.sim.word(1026), 300);
    QVERIFY(rig.script().calls().isEmpty());
}

// The set-up window inside the main window, ONLINE, its loop stepped by the test.
struct MainSetupRig
{
    Rig rig;
    frmSetup* setup = nullptr;
    MainSetupRig()
    {
        rig.showActive();
        rig.w->mnuWindowForm[1]->trigger();
        flushDeletes();
        setup = qobject_cast<frmSetup*>(rig.w->currentChild());
        if (setup)
            setup->refreshLoop().setAutoStep(false);
    }
    void cycle() { setup->refreshLoop().runCycle(); }
    QLineEdit* txt(int i) const { return setup->txtSetup[size_t(i)]; }
    // A key as the operator presses it: to whatever has the focus.
    static void key(Qt::Key k, Qt::KeyboardModifiers m = Qt::NoModifier)
    {
        QTest::keyClick(QApplication::focusWidget(), k, m);
    }
};

// A page changed by its access key (or Ctrl+Tab) ends the entry as Tab does:
// a value accepted is written before the page goes, one refused keeps the
// page with the message; nothing stale stays in the field.
void tst_frmSetup::keyboardPageChangeChecksTheEntry()
{
    MainSetupRig r;
    QVERIFY(r.setup);
    r.rig.sim.setWord(1020, 111);
    r.rig.w->mnuViewOnline->trigger();
    r.cycle();
    QCOMPARE(r.txt(0)->text(), QStringLiteral("111") + Deg);

    typeInto(r.txt(0), QStringLiteral("120"));
    QVERIFY(r.setup->field(0).pending());
    r.key(Qt::Key_T, Qt::AltModifier);
    QCOMPARE(r.setup->tbsSetup->currentIndex(), 1);
    QCOMPARE(r.rig.sim.word(1020), quint16(120));
    QVERIFY(!r.setup->editing(0));
    QVERIFY(!r.setup->field(0).pending());
    r.key(Qt::Key_B, Qt::AltModifier);
    QCOMPARE(r.setup->tbsSetup->currentIndex(), 0);
    r.rig.sim.setWord(1020, 112); // the controller moves on
    r.cycle(); // ends at the page change
    r.cycle();
    QCOMPARE(r.txt(0)->text(), QStringLiteral("112") + Deg);

    // Refused: the message, the page stays, the saved value is back.
    typeInto(r.txt(0), QStringLiteral("999"));
    const qsizetype m = r.rig.port.exchanges().size();
    r.key(Qt::Key_T, Qt::AltModifier);
    const auto boxes = r.rig.script().messages();
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].text, QStringLiteral("Only a Number Between 0 and 359 can be Entered"));
    QCOMPARE(r.setup->tbsSetup->currentIndex(), 0);
    QVERIFY(r.setup->fraSetup[0]->isVisible());
    QCOMPARE(r.txt(0)->text(), QStringLiteral("112") + Deg);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(r.txt(0)));
    QVERIFY(Writes(r.rig.port.exchanges(), m).isEmpty());
    // Leaving now writes nothing: what the field shows was not typed.
    r.key(Qt::Key_Tab);
    settle();
    QVERIFY(Writes(r.rig.port.exchanges(), m).isEmpty());
    QCOMPARE(r.rig.sim.word(1020), quint16(112));

    // Ctrl+Tab changes the page the same way.
    typeInto(r.txt(3), QStringLiteral("260"));
    r.key(Qt::Key_Tab, Qt::ControlModifier);
    QCOMPARE(r.setup->tbsSetup->currentIndex(), 1);
    QCOMPARE(r.rig.sim.word(1026), quint16(260));
    QCOMPARE(r.rig.script().unexpected(), 0);
}

// A typed value is written once however the field is left: taken by a menu
// command, the field left later writes nothing again; Esc that restored the
// value writes nothing at all.
void tst_frmSetup::aTypedValueIsWrittenOnce()
{
    MainSetupRig r;
    QVERIFY(r.setup);
    r.rig.sim.setWord(1026, 254);
    r.rig.w->mnuViewOnline->trigger();
    r.cycle();
    QCOMPARE(r.txt(3)->text(), QStringLiteral("254"));

    // Typed, then a Window menu command takes it; back in the window, the
    // field entered and left again writes nothing more.
    qsizetype m = r.rig.port.exchanges().size();
    typeInto(r.txt(3), QStringLiteral("255"));
    r.rig.w->mnuWindowForm[3]->trigger();
    flushDeletes();
    r.rig.w->mnuWindowForm[1]->trigger();
    flushDeletes();
    r.setup = qobject_cast<frmSetup*>(r.rig.w->currentChild());
    QVERIFY(r.setup);
    r.setup->refreshLoop().setAutoStep(false);
    r.cycle();
    typeInto(r.txt(3), QString());
    r.key(Qt::Key_Tab);
    settle();
    QCOMPARE(Writes(r.rig.port.exchanges(), m), wordWrite(1026, 255));

    // Typed, Esc restores: neither a command nor leaving writes anything.
    m = r.rig.port.exchanges().size();
    typeInto(r.txt(3), QStringLiteral("253"));
    r.key(Qt::Key_Escape);
    QCOMPARE(r.txt(3)->text(), QStringLiteral("255"));
    QVERIFY(!r.setup->field(3).pending());
    QVERIFY(r.rig.w->endFieldEntry());
    r.key(Qt::Key_Tab);
    r.key(Qt::Key_Escape);
    settle();
    QVERIFY(Writes(r.rig.port.exchanges(), m).isEmpty());
    QCOMPARE(r.rig.sim.word(1026), quint16(255));
    QCOMPARE(r.rig.script().unexpected(), 0);
}

// Ctrl+S while a value is typed offline: the file holds what the field shows.
void tst_frmSetup::saveTakesTheEntryBeingTyped()
{
    MainSetupRig r;
    QVERIFY(r.setup);
    r.rig.w->mnuEditOfflineEditing->trigger();
    QVERIFY(OfflineEditing);
    r.cycle();
    r.cycle();
    typeInto(r.txt(0), QStringLiteral("88"));
    const QString path = r.rig.dir.filePath(QStringLiteral("press3.sdt"));
    r.rig.script().answerFile(path);
    r.key(Qt::Key_S, Qt::ControlModifier);
    QCOMPARE(CurrentData.ParamValue[7], 88);
    QVERIFY(loadFileData(path));
    QCOMPARE(FileData.ParamValue[7], 88);
    QVERIFY(!r.setup->field(0).pending());

    // A refused entry keeps the operator in the field and saves nothing.
    typeInto(r.txt(0), QStringLiteral("400"));
    QVERIFY(QFile::remove(path));
    r.key(Qt::Key_S, Qt::ControlModifier);
    QCOMPARE(r.rig.script().messages().size(), 1);
    QVERIFY(!QFile::exists(path));
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(r.txt(0)));
    QCOMPARE(r.rig.script().unexpected(), 0);
}

QTEST_MAIN(tst_frmSetup)
#include "tst_frmsetup.moc"
