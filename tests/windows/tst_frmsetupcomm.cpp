// The comm port settings dialog: the files it reads and writes byte for byte,
// the port field check, the link closed and reopened around a save, and the
// device shown for a port number.

#include "base/Clock.h"
#include "base/ProgramFolder.h"
#include "K7700Sim.h"
#include "link/CommPortSettings.h"
#include "link/QtSerialPortControl.h"
#include "link/RSComm.h"
#include "MainWindowRig.h"
#include "ScriptedPrompter.h"
#include "shared/modUtility.h"
#include "SimPort.h"
#include "windows/frmSetupComm.h"
#include "windows/UpDown.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>
#include <memory>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#endif

using namespace talvek;
using namespace talvek::test;

namespace {

const QString kMissing = QStringLiteral("<missing>");
const QString kRefusal = QStringLiteral("Only a Number Between 1 and 99 can be Entered");

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : kMissing.toLatin1();
}

bool writeFile(const QString& path, const QByteArray& data)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(data) == data.size();
}

// A program folder on the in-process simulator, with the link and the mode switch.
struct CommRig
{
    QTemporaryDir dir;
    ProgramFolder folder { dir.path() };
    K7700Sim sim;
    FakeClock clock;
    SimPort port { sim, clock };
    ScriptedPrompter prompter;
    RSComm rs { folder, clock, prompter };
    std::unique_ptr<SerialPortControl> otherPort; // used instead of the simulator port when set
    std::unique_ptr<OnlineModeSwitch> mode;
    std::unique_ptr<frmSetupComm> dlg;

    CommRig() { mode = std::make_unique<OnlineModeSwitch>(rs, &port); }

    QString path(const QString& relative) const { return dir.path() + QLatin1Char('/') + relative; }

    frmSetupComm& open()
    {
        dlg = std::make_unique<frmSetupComm>(rs, *mode, folder, prompter);
        return *dlg;
    }
    // Shown and active, the focus in the port field.
    void showActive()
    {
        dlg->show();
        dlg->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(dlg.get()));
        dlg->txtCommPort->setFocus(Qt::OtherFocusReason);
        QCOMPARE(QApplication::focusWidget(), dlg->txtCommPort);
    }
    void typePort(const QString& text)
    {
        dlg->txtCommPort->selectAll();
        QTest::keyClick(dlg->txtCommPort, Qt::Key_Delete);
        QTest::keyClicks(dlg->txtCommPort, text);
        QCOMPARE(dlg->txtCommPort->text(), text);
    }
    void goOnline()
    {
        mode->setMode(true);
        QVERIFY(rs.OnlineMode);
        QVERIFY(port.isOpen());
        port.clearRecord();
    }
    void checkOneRefusal()
    {
        const auto boxes = prompter.messages();
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes[0].text, kRefusal);
        QCOMPARE(boxes[0].title, QStringLiteral("Comm Port"));
        QCOMPARE(boxes[0].icon, MsgIcon::Information);
        QCOMPARE(boxes[0].buttons, MsgButtons::OK);
    }
};

} // namespace

class tst_frmSetupComm final : public QObject
{
    Q_OBJECT

private slots:
    void controls();
    void loadShowsSettings_data();
    void loadShowsSettings();
    void portFieldCheck_data();
    void portFieldCheck();
    void saveRefusesBadPortWithOneMessage();
    void spinnerStaysWithinLimits();
    void saveOffline_data();
    void saveOffline();
    void saveReplacesFilesWhateverTheirCase();
    void cancelWritesNothing_data();
    void cancelWritesNothing();
    void saveWhileOnlineReopens();
    void failedReopenKeepsDialogOpenAndOffline();
    void saveFileErrorKeepsDialogOpen_data();
    void saveFileErrorKeepsDialogOpen();
    void saveFailingMidWriteNamesTheFault();
    void deviceShownForPortNumber();
    void pickingAdapter();
    void networkPorts();
    void installedCopySavesPerUser();
    void commPortMenuOpensDialog();
};

void tst_frmSetupComm::controls()
{
    CommRig rig;
    frmSetupComm& d = rig.open();
    QCOMPARE(d.windowTitle(), QStringLiteral("Comm Port Settings"));
    QVERIFY(d.isModal());
    QCOMPARE(d.fraCommPort->title(), QStringLiteral("Comm Port"));
    QCOMPARE(d.fraPortSpeed->title(), QStringLiteral("Port Speed"));
    QCOMPARE(d.optPortSpeed[0]->text(), QStringLiteral("9600"));
    QCOMPARE(d.optPortSpeed[1]->text(), QStringLiteral("19200"));
    QCOMPARE(d.cmdSave->text(), QStringLiteral("&Save"));
    QCOMPARE(d.cmdCancel->text(), QStringLiteral("&Cancel"));
    QCOMPARE(d.updCommPort->Min(), 1);
    QCOMPARE(d.updCommPort->Max(), 99);
    for (const char* name : { "txtCommPort", "updCommPort", "fraCommPort", "fraPortSpeed", "optPortSpeed_0",
             "optPortSpeed_1", "cmdSave", "cmdCancel" })
        QVERIFY2(d.findChild<QWidget*>(QString::fromLatin1(name)), name);
    QVERIFY(rig.prompter.calls().isEmpty());
}

void tst_frmSetupComm::loadShowsSettings_data()
{
    QTest::addColumn<QString>("folderName");
    QTest::addColumn<QByteArray>("content"); // "<missing>": no file
    QTest::addColumn<QString>("shown");
    QTest::addColumn<int>("speedIndex");
    QTest::addColumn<QString>("error"); // text of the load error box, empty for none

    const QByteArray missing = kMissing.toLatin1();
    QTest::newRow("no file") << "support" << missing << "1" << 0 << "";
    QTest::newRow("empty file") << "support" << QByteArray() << "1" << 0 << "";
    QTest::newRow("150 shows 99") << "support" << QByteArray("150,4800\r\n") << "99" << 0 << "";
    QTest::newRow("0 shows 1") << "support" << QByteArray("0,19200\r\n") << "1" << 1 << "";
    QTest::newRow("dialog spacing") << "support" << QByteArray("3, 19200 \r\n") << "3" << 1 << "";
    QTest::newRow("reader spacing") << "support" << QByteArray("12,9600\r\n") << "12" << 0 << "";
    QTest::newRow("quoted fields") << "support" << QByteArray("\"5\",\"19200\"\r\n") << "5" << 1 << "";
    QTest::newRow("folder spelled Support") << "Support" << QByteArray("42,19200\r\n") << "42" << 1 << "";
    QTest::newRow("port not a number")
        << "support" << QByteArray("abc,19200\r\n") << "1" << 0 << "Error Number = 13\r\n\r\nType mismatch";
    QTest::newRow("speed missing") << "support" << QByteArray("7\r\n") << "1" << 0
                                   << "Error Number = 62\r\n\r\nInput past end of file";
    QTest::newRow("port overflows") << "support" << QByteArray("70000,19200\r\n") << "1" << 0
                                    << "Error Number = 6\r\n\r\nOverflow";
}

void tst_frmSetupComm::loadShowsSettings()
{
    QFETCH(QString, folderName);
    QFETCH(QByteArray, content);
    QFETCH(QString, shown);
    QFETCH(int, speedIndex);
    QFETCH(QString, error);

    CommRig rig;
    const QString file = rig.path(folderName + QStringLiteral("/RSPort.cfg"));
    if (content != kMissing.toLatin1())
        QVERIFY(writeFile(file, content));
    QDir().mkpath(rig.path(folderName)); // so that "support" resolves to the folder under test

    frmSetupComm& d = rig.open();
    QCOMPARE(d.txtCommPort->text(), shown);
    QVERIFY(d.optPortSpeed[speedIndex]->isChecked());
    QVERIFY(!d.optPortSpeed[1 - speedIndex]->isChecked());

    const auto boxes = rig.prompter.messages();
    if (error.isEmpty()) {
        QCOMPARE(boxes.size(), 0);
    } else {
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes[0].text, error);
        QCOMPARE(boxes[0].title, QStringLiteral("SetupComm CurrentSettings"));
        QCOMPARE(boxes[0].icon, MsgIcon::Information);
        QCOMPARE(boxes[0].buttons, MsgButtons::OK);
    }
    // Opening the dialog reads the file and writes nothing.
    QCOMPARE(readFile(file), content);
    QVERIFY(!d.wasOnline());
}

void tst_frmSetupComm::portFieldCheck_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("accepted");

    QTest::newRow("0") << "0" << false;
    QTest::newRow("100") << "100" << false;
    QTest::newRow("abc") << "abc" << false;
    QTest::newRow("-1") << "-1" << false;
    QTest::newRow("0.4") << "0.4" << false;
    QTest::newRow("99.5") << "99.5" << false;
    QTest::newRow("digit grouping") << "1,5" << false;
    QTest::newRow("3abc") << "3abc" << false;
    QTest::newRow("1") << "1" << true;
    QTest::newRow("99") << "99" << true;
    QTest::newRow("blanks around") << " 42 " << true;
    QTest::newRow("99.4") << "99.4" << false;
    QTest::newRow("1.5") << "1.5" << true;
}

void tst_frmSetupComm::portFieldCheck()
{
    QFETCH(QString, typed);
    QFETCH(bool, accepted);

    CommRig rig;
    rig.open();
    rig.showActive();
    rig.typePort(typed);
    QTest::keyClick(rig.dlg->txtCommPort, Qt::Key_Tab);
    QCoreApplication::processEvents();

    if (accepted) {
        QCOMPARE(rig.prompter.messages().size(), 0);
        QCOMPARE(QApplication::focusWidget(), rig.dlg->updCommPort);
    } else {
        rig.checkOneRefusal();
        QCOMPARE(QApplication::focusWidget(), rig.dlg->txtCommPort);
        QCOMPARE(rig.dlg->txtCommPort->text(), typed);
        // Still nothing more once the events have run again.
        QCoreApplication::processEvents();
        QCOMPARE(rig.prompter.messages().size(), 1);
    }
    QVERIFY(rig.dlg->isVisible());
}

void tst_frmSetupComm::saveRefusesBadPortWithOneMessage()
{
    CommRig rig;
    rig.open();
    rig.showActive();
    rig.typePort(QStringLiteral("100"));

    // A click on Save moves the focus out of the field and clicks: one refusal.
    QTest::mouseClick(rig.dlg->cmdSave, Qt::LeftButton);
    QCoreApplication::processEvents();
    rig.checkOneRefusal();
    QCOMPARE(QApplication::focusWidget(), rig.dlg->txtCommPort);
    QVERIFY(rig.dlg->isVisible());
    QVERIFY(!QFileInfo::exists(rig.rs.CommSettingsFile()));

    // Enter in the field presses Save: refused again, still nothing written.
    rig.prompter.clear();
    QTest::keyClick(rig.dlg->txtCommPort, Qt::Key_Return);
    QCoreApplication::processEvents();
    rig.checkOneRefusal();
    QVERIFY(rig.dlg->isVisible());
    QVERIFY(!QFileInfo::exists(rig.rs.CommSettingsFile()));

    // Corrected, Enter saves.
    rig.prompter.clear();
    rig.typePort(QStringLiteral("9"));
    QTest::keyClick(rig.dlg->txtCommPort, Qt::Key_Return);
    QCoreApplication::processEvents();
    QCOMPARE(rig.prompter.messages().size(), 0);
    QVERIFY(!rig.dlg->isVisible());
    QCOMPARE(rig.dlg->result(), int(QDialog::Accepted));
    QCOMPARE(readFile(rig.rs.CommSettingsFile()), QByteArray("9, 9600 \r\n"));
}

void tst_frmSetupComm::spinnerStaysWithinLimits()
{
    CommRig rig;
    QVERIFY(writeFile(rig.path(QStringLiteral("support/RSPort.cfg")), "98,9600\r\n"));
    rig.open();
    rig.showActive();
    QCOMPARE(rig.dlg->txtCommPort->text(), QStringLiteral("98"));
    QToolButton* up = rig.dlg->updCommPort->upButton();
    QToolButton* down = rig.dlg->updCommPort->downButton();
    QTest::mouseClick(up, Qt::LeftButton);
    QCOMPARE(rig.dlg->txtCommPort->text(), QStringLiteral("99"));
    QTest::mouseClick(up, Qt::LeftButton);
    QCOMPARE(rig.dlg->txtCommPort->text(), QStringLiteral("99"));
    rig.typePort(QStringLiteral("2"));
    QTest::mouseClick(down, Qt::LeftButton);
    QCOMPARE(rig.dlg->txtCommPort->text(), QStringLiteral("1"));
    QTest::mouseClick(down, Qt::LeftButton);
    QCOMPARE(rig.dlg->txtCommPort->text(), QStringLiteral("1"));
    // A bad entry is stepped back into the limits; the arrows leave the focus in the field.
    rig.typePort(QStringLiteral("150"));
    QTest::mouseClick(down, Qt::LeftButton);
    QCOMPARE(rig.dlg->txtCommPort->text(), QStringLiteral("99"));
    QCoreApplication::processEvents();
    QCOMPARE(QApplication::focusWidget(), rig.dlg->txtCommPort);
    QCOMPARE(rig.prompter.messages().size(), 0);
}

void tst_frmSetupComm::saveOffline_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("speedIndex");
    QTest::addColumn<QByteArray>("settings");
    QTest::addColumn<QByteArray>("norvik");

    QTest::newRow("3 at 19200") << "3" << 1 << QByteArray("3, 19200 \r\n") << QByteArray("2\r\n");
    QTest::newRow("1 at 9600") << "1" << 0 << QByteArray("1, 9600 \r\n") << QByteArray("0\r\n");
    QTest::newRow("99 at 19200") << "99" << 1 << QByteArray("99, 19200 \r\n") << QByteArray("98\r\n");
    QTest::newRow("blanks around") << " 7 " << 0 << QByteArray("7, 9600 \r\n") << QByteArray("6\r\n");
    QTest::newRow("2.5 rounds to even") << "2.5" << 0 << QByteArray("2, 9600 \r\n") << QByteArray("1\r\n");
    QTest::newRow("3.5 rounds to even") << "3.5" << 1 << QByteArray("4, 19200 \r\n") << QByteArray("3\r\n");
}

void tst_frmSetupComm::saveOffline()
{
    QFETCH(QString, typed);
    QFETCH(int, speedIndex);
    QFETCH(QByteArray, settings);
    QFETCH(QByteArray, norvik);

    CommRig rig;
    // Two of the three development-system folders exist, one spelled in lower case.
    QVERIFY(QDir().mkpath(rig.path(QStringLiteral("nvk51"))));
    QVERIFY(QDir().mkpath(rig.path(QStringLiteral("PLS51"))));
    QVERIFY(writeFile(rig.path(QStringLiteral("PLS51/NORVIK.SFG")), "15\r\nleft over\r\n"));

    rig.open();
    rig.showActive();
    rig.typePort(typed);
    QTest::mouseClick(rig.dlg->optPortSpeed[speedIndex], Qt::LeftButton);
    QTest::mouseClick(rig.dlg->cmdSave, Qt::LeftButton);
    QCoreApplication::processEvents();

    QCOMPARE(rig.prompter.messages().size(), 0);
    QVERIFY(!rig.dlg->isVisible());
    QCOMPARE(rig.dlg->result(), int(QDialog::Accepted));
    // The support folder did not exist: it was made.
    QCOMPARE(readFile(rig.path(QStringLiteral("support/RSPort.cfg"))), settings);
    QCOMPARE(readFile(rig.path(QStringLiteral("nvk51/NORVIK.SFG"))), norvik);
    QCOMPARE(readFile(rig.path(QStringLiteral("PLS51/NORVIK.SFG"))), norvik);
    QVERIFY(!QFileInfo::exists(rig.path(QStringLiteral("NVK96"))));
    QVERIFY(!QFileInfo::exists(rig.path(QStringLiteral("NVK51"))));
    // No temporary files left behind.
    QCOMPARE(QDir(rig.path(QStringLiteral("nvk51"))).entryList(QDir::Files), QStringList { "NORVIK.SFG" });
    QCOMPARE(QDir(rig.path(QStringLiteral("support"))).entryList(QDir::Files), QStringList { "RSPort.cfg" });
    // Offline it stays: the port was never opened.
    QVERIFY(!rig.rs.OnlineMode);
    QCOMPARE(rig.port.openCount(), 0);
    QVERIFY(rig.port.written().isEmpty());
}

void tst_frmSetupComm::saveReplacesFilesWhateverTheirCase()
{
    CommRig rig;
    QVERIFY(writeFile(rig.path(QStringLiteral("Support/RSPort.cfg")), "1,9600\r\n"));
    QVERIFY(writeFile(rig.path(QStringLiteral("Nvk96/norvik.sfg")), "0\r\n"));
    rig.open();
    rig.typePort(QStringLiteral("12"));
    rig.dlg->cmdSave->click();

    QCOMPARE(rig.prompter.messages().size(), 0);
    QCOMPARE(readFile(rig.path(QStringLiteral("Support/RSPort.cfg"))), QByteArray("12, 9600 \r\n"));
    QCOMPARE(readFile(rig.path(QStringLiteral("Nvk96/norvik.sfg"))), QByteArray("11\r\n"));
    QVERIFY(!QFileInfo::exists(rig.path(QStringLiteral("support"))));
    QCOMPARE(QDir(rig.path(QStringLiteral("Nvk96"))).entryList(QDir::Files), QStringList { "norvik.sfg" });
}

void tst_frmSetupComm::cancelWritesNothing_data()
{
    QTest::addColumn<bool>("online");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("escape");

    QTest::newRow("offline, Cancel") << false << "8" << false;
    QTest::newRow("offline, Escape") << false << "8" << true;
    QTest::newRow("online, Cancel") << true << "8" << false;
    QTest::newRow("bad port, Cancel") << true << "abc" << false;
    QTest::newRow("bad port, Escape") << false << "0" << true;
}

void tst_frmSetupComm::cancelWritesNothing()
{
    QFETCH(bool, online);
    QFETCH(QString, typed);
    QFETCH(bool, escape);

    CommRig rig;
    const QString cfg = rig.path(QStringLiteral("support/RSPort.cfg"));
    QVERIFY(writeFile(cfg, "1,9600\r\n"));
    QVERIFY(writeFile(rig.path(QStringLiteral("NVK51/NORVIK.SFG")), "4\r\n"));
    QVERIFY(QDir().mkpath(rig.path(QStringLiteral("NVK96"))));
    if (online)
        rig.goOnline();

    rig.open();
    QCOMPARE(rig.dlg->wasOnline(), online);
    rig.showActive();
    rig.typePort(typed);
    QTest::mouseClick(rig.dlg->optPortSpeed[1], Qt::LeftButton);
    QCoreApplication::processEvents();
    if (escape) {
        rig.dlg->txtCommPort->setFocus();
        QTest::keyClick(rig.dlg->txtCommPort, Qt::Key_Escape);
    } else {
        QTest::mouseClick(rig.dlg->cmdCancel, Qt::LeftButton);
    }
    QCoreApplication::processEvents();

    QVERIFY(!rig.dlg->isVisible());
    QCOMPARE(rig.dlg->result(), int(QDialog::Rejected));
    // The speed click moved the focus out of a bad field: that one refusal only.
    QCOMPARE(rig.prompter.messages().size(), typed == QStringLiteral("8") ? 0 : 1);
    QCOMPARE(readFile(cfg), QByteArray("1,9600\r\n"));
    QCOMPARE(readFile(rig.path(QStringLiteral("NVK51/NORVIK.SFG"))), QByteArray("4\r\n"));
    QVERIFY(!QFileInfo::exists(rig.path(QStringLiteral("NVK96/NORVIK.SFG"))));
    // The link is as it was.
    QCOMPARE(rig.rs.OnlineMode, online);
    QCOMPARE(rig.port.isOpen(), online);
    QVERIFY(rig.port.written().isEmpty());
}

void tst_frmSetupComm::saveWhileOnlineReopens()
{
    CommRig rig;
    rig.goOnline(); // writes the default settings 1,9600 and opens port 1
    QCOMPARE(rig.port.commPort(), 1);
    const int opened = rig.port.openCount();
    const int closed = rig.port.closeCount();
    QSignalSpy shown(rig.mode.get(), &OnlineModeSwitch::modeShown);

    rig.open();
    QVERIFY(rig.dlg->wasOnline());
    rig.showActive();
    rig.typePort(QStringLiteral("3"));
    QTest::mouseClick(rig.dlg->optPortSpeed[1], Qt::LeftButton);
    QTest::mouseClick(rig.dlg->cmdSave, Qt::LeftButton);
    QCoreApplication::processEvents();

    QCOMPARE(rig.prompter.messages().size(), 0);
    QVERIFY(!rig.dlg->isVisible());
    QCOMPARE(rig.dlg->result(), int(QDialog::Accepted));
    QCOMPARE(readFile(rig.rs.CommSettingsFile()), QByteArray("3, 19200 \r\n"));
    // Closed (with its attention byte), then opened on the new port and speed
    // (with the opening attention byte), and the board answered both.
    QCOMPARE(rig.port.closeCount(), closed + 1);
    QCOMPARE(rig.port.openCount(), opened + 1);
    QCOMPARE(rig.port.written(), QByteArray("\xFF\xFF"));
    QCOMPARE(rig.port.exchanges().size(), 2);
    QVERIFY(!rig.port.exchanges()[1].reply.isEmpty());
    QCOMPARE(rig.port.commPort(), 3);
    QCOMPARE(rig.port.settings(), QStringLiteral("19200,n,8,1"));
    QVERIFY(rig.port.isOpen());
    QVERIFY(rig.rs.OnlineMode);
    QVERIFY(!rig.rs.CommError);
    // The mode panel followed: OFFLINE while closed, ONLINE again.
    QCOMPARE(shown.size(), 2);
    QCOMPARE(shown[0][0].toBool(), false);
    QCOMPARE(shown[1][0].toBool(), true);
}

void tst_frmSetupComm::failedReopenKeepsDialogOpenAndOffline()
{
    CommRig rig;
    rig.goOnline();
    QSignalSpy shown(rig.mode.get(), &OnlineModeSwitch::modeShown);
    rig.open();
    rig.showActive();
    rig.typePort(QStringLiteral("5"));
    rig.port.failOpenWith(SerialError(
        SerialErrorNumber::kPortUnavailable, QStringLiteral("SimPort"), QStringLiteral("The port is in use")));
    QTest::mouseClick(rig.dlg->cmdSave, Qt::LeftButton);
    QCoreApplication::processEvents();

    // The link's own message, and the dialog waits for a correction.
    auto boxes = rig.prompter.messages();
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].title, QStringLiteral("Comm Port Error"));
    QVERIFY(rig.dlg->isVisible());
    QCOMPARE(rig.dlg->result(), int(QDialog::Rejected)); // not accepted
    QVERIFY(!rig.rs.OnlineMode);
    QVERIFY(!rig.port.isOpen());
    QCOMPARE(readFile(rig.rs.CommSettingsFile()), QByteArray("5, 9600 \r\n"));
    QVERIFY(!shown.isEmpty());
    QCOMPARE(shown.last()[0].toBool(), false);

    // The port is free again: a second save reopens and closes the dialog.
    rig.prompter.clear();
    rig.port.failOpenWith(std::nullopt);
    rig.dlg->cmdSave->click();
    QCOMPARE(rig.prompter.messages().size(), 0);
    QVERIFY(!rig.dlg->isVisible());
    QCOMPARE(rig.dlg->result(), int(QDialog::Accepted));
    QVERIFY(rig.rs.OnlineMode);
    QVERIFY(rig.port.isOpen());
    QCOMPARE(rig.port.commPort(), 5);
    QCOMPARE(shown.last()[0].toBool(), true);
}

void tst_frmSetupComm::saveFileErrorKeepsDialogOpen_data()
{
    QTest::addColumn<bool>("online");
    QTest::addColumn<QString>("blocker"); // a folder or file standing where the dialog writes
    QTest::addColumn<bool>("blockerIsDir");
    QTest::addColumn<QString>("textStart");
    QTest::addColumn<QByteArray>("settingsAfter");

    QTest::newRow("support is a file")
        << true << "support" << false
        << "Error Number = 75\r\n\r\nPath/File access error: cannot create the folder "
        << kMissing.toLatin1();
    QTest::newRow("NORVIK.SFG is a folder")
        << false << "NVK96/NORVIK.SFG" << true
        << "Error Number = 75\r\n\r\nPath/File access error: cannot write " << QByteArray("6, 9600 \r\n");
}

void tst_frmSetupComm::saveFileErrorKeepsDialogOpen()
{
    QFETCH(bool, online);
    QFETCH(QString, blocker);
    QFETCH(bool, blockerIsDir);
    QFETCH(QString, textStart);
    QFETCH(QByteArray, settingsAfter);

    CommRig rig;
    if (online) {
        rig.goOnline();
        QVERIFY(QDir(rig.path(QStringLiteral("support"))).removeRecursively());
    }
    if (blockerIsDir)
        QVERIFY(QDir().mkpath(rig.path(blocker)));
    else
        QVERIFY(writeFile(rig.path(blocker), "not a folder"));
    rig.open();
    rig.dlg->show();
    rig.typePort(QStringLiteral("6"));
    rig.dlg->cmdSave->click();

    const auto boxes = rig.prompter.messages();
    QCOMPARE(boxes.size(), 1);
    QVERIFY2(boxes[0].text.startsWith(textStart), qPrintable(visibleBreaks(boxes[0].text)));
    QCOMPARE(boxes[0].title, QStringLiteral("SetupComm"));
    QCOMPARE(boxes[0].icon, MsgIcon::Information);
    QCOMPARE(boxes[0].buttons, MsgButtons::OK);
    QVERIFY(rig.dlg->isVisible());
    QCOMPARE(rig.dlg->result(), int(QDialog::Rejected));
    // The link is closed and stays closed.
    QVERIFY(!rig.rs.OnlineMode);
    QVERIFY(!rig.port.isOpen());
    QCOMPARE(readFile(rig.path(QStringLiteral("support/RSPort.cfg"))), settingsAfter);
}

void tst_frmSetupComm::saveFailingMidWriteNamesTheFault()
{
#ifdef Q_OS_UNIX
    CommRig rig;
    const QString settings = rig.path(QStringLiteral("support/RSPort.cfg"));
    QVERIFY(writeFile(settings, "5, 9600 \r\n"));
    rig.open();
    rig.dlg->show();
    rig.typePort(QStringLiteral("6"));

    // A file size limit below the settings line makes its write fail part
    // way, as a full disk would.
    rlimit saved {};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = saved;
    limited.rlim_cur = 4;
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &limited), 0);
    rig.dlg->cmdSave->click();
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    const auto boxes = rig.prompter.messages();
    QCOMPARE(boxes.size(), 1);
    // The write's own fault, not the cancellation of the half-written file.
    QCOMPARE(boxes[0].text,
        QStringLiteral("Error Number = 75\r\n\r\nPath/File access error: cannot write ")
            + QDir::toNativeSeparators(settings) + QStringLiteral(" (File too large)"));
    QCOMPARE(boxes[0].title, QStringLiteral("SetupComm"));
    QVERIFY(rig.dlg->isVisible());
    QCOMPARE(readFile(settings), QByteArray("5, 9600 \r\n"));
    QCOMPARE(QDir(rig.path(QStringLiteral("support"))).entryList(QDir::Files | QDir::Hidden),
        QStringList({ "RSPort.cfg" }));
#else
    QSKIP("needs a file size limit");
#endif
}

void tst_frmSetupComm::deviceShownForPortNumber()
{
#ifdef Q_OS_LINUX
    QTemporaryDir devices;
    const QString present = devices.filePath(QStringLiteral("ttyFAKE0"));
    QVERIFY(writeFile(present, QByteArray()));
    const QString gone = devices.filePath(QStringLiteral("ttyGONE"));

    CommRig rig;
    rig.otherPort = std::make_unique<QtSerialPortControl>(rig.folder);
    rig.mode = std::make_unique<OnlineModeSwitch>(rig.rs, rig.otherPort.get());
    QVERIFY(QDir().mkpath(rig.path(QStringLiteral("support/ports"))));
    QVERIFY(QFile::link(present, rig.path(QStringLiteral("support/ports/COM3"))));
    QVERIFY(QFile::link(gone, rig.path(QStringLiteral("support/ports/COM4"))));

    frmSetupComm& d = rig.open();
    const auto table = [](const QString& device) {
        return QStringLiteral("Device: %1 (%2)")
            .arg(device,
                QFileInfo::exists(device) ? QStringLiteral("found")
                                          : QStringLiteral("not found on this machine"));
    };
    QCOMPARE(d.lblCommDevice->text(), table(QStringLiteral("/dev/ttyS0")));

    const QList<QPair<QString, QString>> cases {
        { "3",
            QStringLiteral("Device: %1 (found, set by support/ports/COM3)")
                .arg(QFileInfo(present).canonicalFilePath()) },
        { "4",
            QStringLiteral("Device: %1 (not found on this machine, set by support/ports/COM4)").arg(gone) },
        { "33", table(QStringLiteral("/dev/ttyUSB0")) },
        { "96", table(QStringLiteral("/dev/ttyACM31")) },
        { "97", QStringLiteral("Device: none (no device for port 97 on this machine)") },
        { "abc", QStringLiteral("Device: -") },
        { "100", QStringLiteral("Device: -") },
        { "", QStringLiteral("Device: -") },
    };
    for (const auto& [typed, expected] : cases) {
        d.txtCommPort->setText(typed);
        QVERIFY2(d.lblCommDevice->text() == expected,
            qPrintable(typed + QStringLiteral(": ") + d.lblCommDevice->text()));
    }
    QCOMPARE(rig.prompter.messages().size(), 0);
#else
    QSKIP("The device table is the Linux one");
#endif
}

void tst_frmSetupComm::pickingAdapter()
{
#ifdef Q_OS_LINUX
    QTemporaryDir machine;
    const QString onlyLinked = machine.filePath(QStringLiteral("ttyFAKE0"));
    QVERIFY(writeFile(onlyLinked, QByteArray()));
    // An adapter the table does not know, with its stable by-id name.
    const QString xrNode = machine.filePath(QStringLiteral("ttyXRUSB0"));
    QVERIFY(writeFile(xrNode, QByteArray()));
    const QString exar = machine.filePath(QStringLiteral("by-id/usb-Exar_XR21V1410_7-if00"));
    QVERIFY(QDir().mkpath(machine.filePath(QStringLiteral("by-id"))));
    QVERIFY(QFile::link(xrNode, exar));

    CommRig rig;
    rig.otherPort = std::make_unique<QtSerialPortControl>(rig.folder);
    rig.mode = std::make_unique<OnlineModeSwitch>(rig.rs, rig.otherPort.get());
    QVERIFY(QDir().mkpath(rig.path(QStringLiteral("support/ports"))));
    QVERIFY(QFile::link(onlyLinked, rig.path(QStringLiteral("support/ports/COM3"))));

    QList<SerialDeviceInfo> present {
        { QStringLiteral("/dev/ttyUSB0"),
            QStringLiteral("/dev/serial/by-id/usb-FTDI_FT232R_A10K1-if00-port0"),
            QStringLiteral("FT232R USB UART"), QStringLiteral("FTDI"), QStringLiteral("A10K1") },
        { QFileInfo(onlyLinked).canonicalFilePath(), {}, QStringLiteral("Bench adapter"), {}, {} },
        { QFileInfo(xrNode).canonicalFilePath(), exar, QStringLiteral("XR21V1410 USB-UART"),
            QStringLiteral("Exar"), QStringLiteral("7") },
    };
    frmSetupComm& d = rig.open();
    d.setDeviceLister([&] { return present; });
    const auto row = [&](int i) {
        QStringList cells;
        for (int c = 0; c < 4; ++c)
            cells << d.lstDevices->topLevelItem(i)->text(c);
        return cells.join(QLatin1Char('|'));
    };
    QCOMPARE(d.lstDevices->topLevelItemCount(), 3);
    QCOMPARE(row(0),
        QStringLiteral("33|/dev/serial/by-id/usb-FTDI_FT232R_A10K1-if00-port0|FT232R USB UART, FTDI|A10K1"));
    QCOMPARE(row(1), QStringLiteral("3|%1|Bench adapter|").arg(QFileInfo(onlyLinked).canonicalFilePath()));
    QCOMPARE(row(2), QStringLiteral("-|%1|XR21V1410 USB-UART, Exar|7").arg(exar));

    // A device the table reaches, and one the operator linked: their numbers.
    QTest::mouseClick(d.lstDevices->viewport(), Qt::LeftButton, {},
        d.lstDevices->visualItemRect(d.lstDevices->topLevelItem(0)).center());
    QCOMPARE(d.txtCommPort->text(), QStringLiteral("33"));
    QCOMPARE(d.pendingPin().port, 0);
    d.lstDevices->setCurrentItem(d.lstDevices->topLevelItem(1));
    emit d.lstDevices->itemActivated(d.lstDevices->topLevelItem(1), 0);
    QCOMPARE(d.txtCommPort->text(), QStringLiteral("3"));

    // One no number reaches: a free number, pinned to its by-id name; a number
    // typed afterwards drops the pin.
    emit d.lstDevices->itemActivated(d.lstDevices->topLevelItem(2), 0);
    QCOMPARE(d.txtCommPort->text(), QStringLiteral("99"));
    QCOMPARE(d.pendingPin().pinTarget, exar);
    QCOMPARE(
        d.lblCommDevice->text(), QStringLiteral("Device: %1 (port 99 is linked to it when saved)").arg(exar));
    d.txtCommPort->setText(QStringLiteral("98"));
    QCOMPARE(d.pendingPin().port, 0);
    QCOMPARE(d.lblCommDevice->text(), QStringLiteral("Device: none (no device for port 98 on this machine)"));
    emit d.lstDevices->itemActivated(d.lstDevices->topLevelItem(2), 0);
    d.optPortSpeed[1]->setChecked(true);
    d.cmdSave->click();
    QVERIFY(!d.isVisible());
    QCOMPARE(readFile(rig.path(QStringLiteral("support/RSPort.cfg"))), QByteArray("99, 19200 \r\n"));
    QCOMPARE(QFileInfo(rig.path(QStringLiteral("support/ports/COM99"))).symLinkTarget(), exar);
    QCOMPARE(rig.otherPort->deviceForPort(99), QFileInfo(xrNode).canonicalFilePath());
    QCOMPARE(rig.prompter.messages().size(), 0);

    // Opened again, the pinned device shows its number; an adapter unplugged
    // leaves the list.
    frmSetupComm& again = rig.open();
    again.setDeviceLister([&] { return present; });
    QCOMPARE(again.txtCommPort->text(), QStringLiteral("99"));
    QCOMPARE(again.lstDevices->topLevelItem(2)->text(0), QStringLiteral("99"));
    present.removeFirst();
    again.refreshDevices();
    QCOMPARE(again.lstDevices->topLevelItemCount(), 2);
    QCOMPARE(again.lstDevices->topLevelItem(0)->text(0), QStringLiteral("3"));
#else
    QSKIP("Port links are a Unix matter");
#endif
}

void tst_frmSetupComm::networkPorts()
{
#ifdef Q_OS_LINUX
    CommRig rig;
    rig.otherPort = std::make_unique<QtSerialPortControl>(rig.folder);
    rig.mode = std::make_unique<OnlineModeSwitch>(rig.rs, rig.otherPort.get());
    QVERIFY(QDir().mkpath(rig.path(QStringLiteral("support/ports"))));
    const QString com5 = rig.path(QStringLiteral("support/ports/COM5"));
    QVERIFY(QFile::link(QStringLiteral("socket://10.0.0.9:2001"), com5));
    // A port where nobody listens.
    quint16 closed = 0;
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        closed = probe.serverPort();
    }
    const QString url = QStringLiteral("rfc2217://127.0.0.1:%1").arg(closed);

    frmSetupComm& d = rig.open();
    d.setDeviceLister([] { return QList<SerialDeviceInfo> {}; });
    const auto row = [&](int i) {
        QStringList cells;
        for (int c = 0; c < 4; ++c)
            cells << d.lstDevices->topLevelItem(i)->text(c);
        return cells.join(QLatin1Char('|'));
    };
    QCOMPARE(d.lstDevices->topLevelItemCount(), 1);
    QCOMPARE(row(0), QStringLiteral("5|socket://10.0.0.9:2001|Network port, raw TCP|"));
    d.lstDevices->setCurrentItem(nullptr);
    QVERIFY(!d.cmdRemoveNetworkPort->isEnabled());

    // A URL that is none is refused with why; a good one gets a free number.
    rig.prompter.answerInput(QStringLiteral("rfc2217://press7"));
    d.cmdAddNetworkPort->click();
    QCOMPARE(rig.prompter.messages().size(), 1);
    QCOMPARE(rig.prompter.messages()[0].text,
        QStringLiteral("The network port \"rfc2217://press7\" is not of the form rfc2217://HOST:PORT or "
                       "socket://HOST:PORT: the TCP port is missing."));
    QCOMPARE(d.lstDevices->topLevelItemCount(), 1);
    rig.prompter.clear();
    rig.prompter.answerInput(url);
    d.cmdAddNetworkPort->click();
    QCOMPARE(d.lstDevices->topLevelItemCount(), 2);
    QCOMPARE(row(1), QStringLiteral("-|%1|Network port, RFC 2217|").arg(url));
    QCOMPARE(d.txtCommPort->text(), QStringLiteral("99"));
    QCOMPARE(d.pendingPin().pinTarget, url);
    QCOMPARE(
        d.lblCommDevice->text(), QStringLiteral("Device: %1 (port 99 is linked to it when saved)").arg(url));

    // Test Connection names what failed.
    QVERIFY(d.cmdTestConnection->isEnabled());
    d.cmdTestConnection->click();
    QCOMPARE(rig.prompter.messages().size(), 1);
    QCOMPARE(rig.prompter.messages()[0].title, QStringLiteral("Test Connection"));
    QCOMPARE(rig.prompter.messages()[0].text,
        QStringLiteral("No connection to %1: the connection to 127.0.0.1 port %2 was refused (no server "
                       "listens there, or it takes no more connections).")
            .arg(url)
            .arg(closed));

    // Removed from the list at once, its link on Save.
    d.lstDevices->setCurrentItem(d.lstDevices->topLevelItem(0));
    d.cmdRemoveNetworkPort->click();
    QCOMPARE(d.lstDevices->topLevelItemCount(), 1);
    QVERIFY(QFileInfo(com5).isSymLink());
    d.cmdSave->click();
    QVERIFY(!d.isVisible());
    QCOMPARE(readFile(rig.path(QStringLiteral("support/RSPort.cfg"))), QByteArray("99, 9600 \r\n"));
    QVERIFY(!QFileInfo(com5).isSymLink());
    QCOMPARE(rig.otherPort->deviceForPort(99), url);

    frmSetupComm& again = rig.open();
    again.setDeviceLister([] { return QList<SerialDeviceInfo> {}; });
    QCOMPARE(again.lstDevices->topLevelItemCount(), 1);
    QCOMPARE(again.lstDevices->topLevelItem(0)->text(0), QStringLiteral("99"));
    QCOMPARE(again.lblCommDevice->text(), QStringLiteral("Network port: %1").arg(url));
    QCOMPARE(rig.prompter.messages().size(), 1);
#else
    QSKIP("Port links are a Unix matter");
#endif
}

void tst_frmSetupComm::installedCopySavesPerUser()
{
    // An installed copy: its own files read-only, the user's in the
    // configuration folder.
    CommRig rig;
    const QString share = rig.path(QStringLiteral("usr/share/talvek"));
    const QString config = rig.path(QStringLiteral("home/.config/TALVEK"));
    QVERIFY(writeFile(share + QStringLiteral("/support/RSPort.cfg"), "5,19200\r\n"));
    QVERIFY(QDir().mkpath(share + QStringLiteral("/NVK51")));
    rig.folder = ProgramFolder::installed(
        rig.path(QStringLiteral("usr/bin")), { share }, config, rig.path(QStringLiteral("home")));
#ifdef Q_OS_UNIX
    QVERIFY(QFile::setPermissions(share,
        QFileDevice::ReadOwner | QFileDevice::ExeOwner | QFileDevice::ReadOther | QFileDevice::ExeOther));
#endif

    frmSetupComm& d = rig.open();
    QCOMPARE(d.txtCommPort->text(), QStringLiteral("5")); // the shipped settings are read
    QVERIFY(d.optPortSpeed[1]->isChecked());
    d.txtCommPort->setText(QStringLiteral("7"));
    d.cmdSave->click();
    QVERIFY(!d.isVisible());
    QCOMPARE(rig.prompter.messages().size(), 0);
    QCOMPARE(readFile(config + QStringLiteral("/support/RSPort.cfg")), QByteArray("7, 19200 \r\n"));
    QCOMPARE(readFile(config + QStringLiteral("/NVK51/NORVIK.SFG")), QByteArray("6\r\n"));
    QVERIFY(!QFileInfo::exists(config + QStringLiteral("/NVK96"))); // not beside the program: skipped
    QCOMPARE(readFile(share + QStringLiteral("/support/RSPort.cfg")), QByteArray("5,19200\r\n"));
    QVERIFY(!QFileInfo::exists(share + QStringLiteral("/NVK51/NORVIK.SFG")));
    // The link reads the user's settings from now on.
    QCOMPARE(rig.rs.CommSettingsFile(), config + QStringLiteral("/support/RSPort.cfg"));

    // With no settings anywhere, the link writes its defaults for the user too.
    QVERIFY(QFile::remove(config + QStringLiteral("/support/RSPort.cfg")));
#ifdef Q_OS_UNIX
    QVERIFY(QFile::setPermissions(
        share, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
#endif
    QVERIFY(QFile::remove(share + QStringLiteral("/support/RSPort.cfg")));
    const PortSettings defaults = readPortSettings(rig.folder);
    QCOMPARE(defaults.port, 1);
    QCOMPARE(readFile(config + QStringLiteral("/support/RSPort.cfg")), QByteArray("1,9600\r\n"));
    QVERIFY(!QFileInfo::exists(share + QStringLiteral("/support/RSPort.cfg")));
}

void tst_frmSetupComm::commPortMenuOpensDialog()
{
    Rig main; // the main window on the simulator
    main.showActive();
    QVERIFY(main.w->findChildren<frmSetupComm*>().isEmpty());
    QTest::keyClick(main.w.get(), Qt::Key_M, Qt::ControlModifier);
    QPointer<frmSetupComm> dialog = main.w->findChild<frmSetupComm*>();
    QVERIFY(dialog);
    QVERIFY(dialog->isVisible());
    QCOMPARE(dialog->windowModality(), Qt::ApplicationModal);
    QTest::mouseClick(dialog->cmdCancel, Qt::LeftButton);
    flushDeletes();
    QVERIFY(dialog.isNull());

    // Online, the mode panel and menus follow a save: OFFLINE when the new
    // port does not open, ONLINE again once it does.
    main.w->mnuViewOnline->trigger();
    QCOMPARE(main.panel(2), QStringLiteral("ONLINE"));
    main.w->mnuEditCommPort->trigger();
    dialog = main.w->findChild<frmSetupComm*>();
    QVERIFY(dialog);
    QVERIFY(dialog->wasOnline());
    dialog->txtCommPort->setText(QStringLiteral("4"));
    main.port.failOpenWith(SerialError(
        SerialErrorNumber::kPortUnavailable, QStringLiteral("SimPort"), QStringLiteral("The port is in use")));
    dialog->cmdSave->click();
    QCOMPARE(main.script().messages().size(), 1);
    QCOMPARE(main.script().messages()[0].title, QStringLiteral("Comm Port Error"));
    QVERIFY(dialog->isVisible());
    QCOMPARE(main.panel(2), QStringLiteral("OFFLINE"));
    QVERIFY(main.w->mnuViewOffline->isChecked());
    QVERIFY(!main.w->mnuEditPasscode->isEnabled());

    main.port.failOpenWith(std::nullopt);
    dialog->cmdSave->click();
    QCOMPARE(main.script().messages().size(), 1);
    QCOMPARE(main.panel(2), QStringLiteral("ONLINE"));
    QVERIFY(main.w->mnuViewOnline->isChecked());
    QVERIFY(main.w->mnuEditPasscode->isEnabled());
    QCOMPARE(main.port.commPort(), 4);
    flushDeletes();
    QVERIFY(dialog.isNull());
}

QTEST_MAIN(tst_frmSetupComm)
#include "tst_frmsetupcomm.moc"
