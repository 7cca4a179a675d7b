// Shared helpers of the main window that need no window: file name and board
// type helpers, the save question, and the mode switch against the simulator.

#include "base/Clock.h"
#include "base/ProgramFolder.h"
#include "K7700Sim.h"
#include "link/RSComm.h"
#include "ScriptedPrompter.h"
#include "shared/modUtility.h"
#include "SimPort.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace talvek;
using namespace talvek::test;

class tst_modUtility : public QObject
{
    Q_OBJECT

private slots:
    void changeExtension_data();
    void changeExtension();
    void readBoardTypeCode_data();
    void readBoardTypeCode();
    void boardTypeCodeWhateverTheCaseOfTheName();
    void querySaveChanges();
    void modeSwitchOpensAndCloses();
    void modeSwitchDropsOnlineOnCommError();
};

void tst_modUtility::changeExtension_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("extension");
    QTest::addColumn<QString>("expected");
    QTest::newRow("replaces") << "/prog/set/K7700.hex"
                              << "nvk"
                              << "/prog/set/K7700.nvk";
    QTest::newRow("last extension only") << "/prog/a.b.rev"
                                         << "nvk"
                                         << "/prog/a.b.nvk";
    QTest::newRow("no extension") << "/prog/K7700"
                                  << "lcf"
                                  << "/prog/K7700.lcf";
    QTest::newRow("backslashes") << "/prog\\set\\K7700.rev"
                                 << "hex"
                                 << "/prog/set/K7700.hex";
    QTest::newRow("dotted folder") << "/prog.v2/K7700"
                                   << "nvk"
                                   << "/prog.v2/K7700.nvk";
    QTest::newRow("relative becomes absolute")
        << "set/K7700.hex"
        << "nvk" << QDir::cleanPath(QDir::currentPath() + "/set/K7700.nvk");
}

void tst_modUtility::changeExtension()
{
    QFETCH(QString, path);
    QFETCH(QString, extension);
    QFETCH(QString, expected);
    QCOMPARE(ChangeExtension(path, extension), expected);
}

void tst_modUtility::readBoardTypeCode_data()
{
    QTest::addColumn<QByteArray>("nvk"); // content of the .nvk file; "<none>": no file
    QTest::addColumn<int>("code");
    QTest::newRow("first item's first character") << QByteArray("6,R6016 CO-CPU\r\n") << int('6');
    QTest::newRow("item ends at line end") << QByteArray("A\r\nmore") << int('A');
    QTest::newRow("blanks before the item") << QByteArray("  D7,x") << int('D');
    QTest::newRow("quoted item") << QByteArray("\"2,x\",y") << int('2');
    QTest::newRow("Latin-1 character") << QByteArray("\xC4,x") << 0xC4;
    QTest::newRow("empty file") << QByteArray() << 68;
    QTest::newRow("empty first item") << QByteArray(",A") << 68;
    QTest::newRow("no file") << QByteArray("<none>") << 68;
}

void tst_modUtility::readBoardTypeCode()
{
    QFETCH(QByteArray, nvk);
    QFETCH(int, code);
    QTemporaryDir dir;
    if (nvk != "<none>") {
        QFile f(dir.filePath(QStringLiteral("PROG.nvk")));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(nvk);
    }
    // Any member of the program set names the same .nvk file.
    QCOMPARE(ReadBoardTypeCode(dir.filePath(QStringLiteral("PROG.hex"))), code);
    QCOMPARE(ReadBoardTypeCode(dir.filePath(QStringLiteral("PROG.nvk"))), code);
}

void tst_modUtility::boardTypeCodeWhateverTheCaseOfTheName()
{
    QTemporaryDir dir;
    QFile f(dir.filePath(QStringLiteral("PRESS1.NVK")));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("E\r\n");
    f.close();
    QCOMPARE(ReadBoardTypeCode(dir.filePath(QStringLiteral("PRESS1.NVK"))), int('E'));
    QCOMPARE(ReadBoardTypeCode(dir.filePath(QStringLiteral("press1.hex"))), int('E'));
    QCOMPARE(ReadBoardTypeCode(dir.filePath(QStringLiteral("OTHER.NVK"))), int('D'));
}

void tst_modUtility::querySaveChanges()
{
    ScriptedPrompter prompter;
    QCOMPARE(QuerySaveChanges(prompter, false), std::nullopt);
    QVERIFY(prompter.calls().isEmpty());
    for (MsgResult r : { MsgResult::Yes, MsgResult::No, MsgResult::Cancel }) {
        prompter.clear();
        prompter.answerMsg(r);
        QCOMPARE(QuerySaveChanges(prompter, true), std::optional<MsgResult>(r));
        QCOMPARE(prompter.calls().size(), 1);
        QCOMPARE(prompter.calls()[0].text, QStringLiteral("Save Changes to File?"));
        QCOMPARE(prompter.calls()[0].title, QStringLiteral("TALVEK"));
        QCOMPARE(prompter.calls()[0].icon, MsgIcon::Exclamation);
        QCOMPARE(prompter.calls()[0].buttons, MsgButtons::YesNoCancel);
    }
}

void tst_modUtility::modeSwitchOpensAndCloses()
{
    QTemporaryDir dir;
    ProgramFolder folder(dir.path());
    K7700Sim sim;
    FakeClock clock;
    SimPort port(sim, clock);
    ScriptedPrompter prompter;
    RSComm rs(folder, clock, prompter);
    OnlineModeSwitch mode(rs, &port);
    QSignalSpy shown(&mode, &OnlineModeSwitch::modeShown);

    mode.setMode(true);
    QVERIFY(port.isOpen());
    QVERIFY(rs.OnlineMode);
    QCOMPARE(shown.count(), 1);
    QCOMPARE(shown[0][0].toBool(), true);
    // The port settings file was made with its defaults.
    QFile cfg(folder.resolve(QStringLiteral("support/RSPort.cfg")));
    QVERIFY(cfg.open(QIODevice::ReadOnly));
    QCOMPARE(cfg.readAll(), QByteArray("1,9600\r\n"));

    mode.toggleMode();
    QVERIFY(!port.isOpen());
    QVERIFY(!rs.OnlineMode);
    QCOMPARE(shown.count(), 2);
    QCOMPARE(shown[1][0].toBool(), false);
    QCOMPARE(port.written(), QByteArray("\xFF\xFF"));
    QVERIFY(!mode.isDeferred());
}

void tst_modUtility::modeSwitchDropsOnlineOnCommError()
{
    QTemporaryDir dir;
    ProgramFolder folder(dir.path());
    K7700Sim sim;
    FakeClock clock;
    SimPort port(sim, clock);
    ScriptedPrompter prompter;
    RSComm rs(folder, clock, prompter);
    OnlineModeSwitch mode(rs, &port);
    QSignalSpy shown(&mode, &OnlineModeSwitch::modeShown);

    // A silent controller: the operator cancels the Retry/Cancel box; the
    // mode shown is OFFLINE and stays so.
    sim.setDroppedOut(true);
    prompter.answerMsg(MsgResult::Cancel);
    mode.setMode(true);
    QCOMPARE(shown.count(), 1);
    QCOMPARE(shown[0][0].toBool(), false);
    QVERIFY(rs.CommError);
    QVERIFY(!rs.OnlineMode);
    // Going OFFLINE with CommError set closes the port without a byte.
    port.clearRecord();
    mode.setMode(false);
    QVERIFY(!port.isOpen());
    QVERIFY(port.written().isEmpty());
    QCOMPARE(prompter.unexpected(), 0);
}

QTEST_GUILESS_MAIN(tst_modUtility)
#include "tst_modutility.moc"
