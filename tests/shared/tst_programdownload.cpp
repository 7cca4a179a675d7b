// The program selection's questions on the in-process simulator (the offline
// question, the file dialog, a refused or cancelled selection) and the
// download's time-left estimate.

#include "LogicRig.h"
#include "Outcomes.h"
#include "shared/ProgramDownload.h"

#include <QFile>
#include <QTest>

using namespace talvek;
using namespace talvek::test;

namespace {

const QString kOfflineQuestion
    = QStringLiteral("Program is Currently OFFLINE\r\n\r\nDo You Wish to Switch to ONLINE MODE to Continue?");

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

const QByteArray kImage = ":040100001122334451\r\n:0201100055AAEE\r\n:00000001FF\r\n";

struct Rig : LogicLink
{
    QString programFilePath;

    // A program file set in the rig's folder: board code, revision field, image.
    QString programSet(const QString& name, const QByteArray& board, const QByteArray& rev)
    {
        const QString base = dir.path() + QLatin1Char('/') + name + QLatin1Char('.');
        writeFile(base + QStringLiteral("nvk"), board + "\r\n");
        writeFile(base + QStringLiteral("rev"), rev + "\r\n");
        writeFile(base + QStringLiteral("hex"), kImage);
        return base + QStringLiteral("nvk");
    }
    Result<QString> choose(qint16 purpose)
    {
        return ProgramSelection(rs, mode, prompter, programFilePath).choose(purpose);
    }
};

} // namespace

class tst_ProgramDownload : public QObject
{
    Q_OBJECT

private slots:
    void offlineAnsweredNo();
    void cancelledOrRefusedSelections();
    void targetBoardChoice();
    void timeLeft_data();
    void timeLeft();
};

void tst_ProgramDownload::offlineAnsweredNo()
{
    Rig rig;
    rig.prompter.answerMsg(MsgResult::No);
    QCOMPARE(shown(rig.choose(kSelectForDownload)), QStringLiteral("failed: Cancelled"));
    QCOMPARE(rig.prompter.calls().size(), 1); // no file dialog
    const PromptCall& box = rig.prompter.calls()[0];
    QCOMPARE(box.text, kOfflineQuestion);
    QCOMPARE(box.title, QStringLiteral("Program Offline"));
    QCOMPARE(box.icon, MsgIcon::Question);
    QCOMPARE(box.buttons, MsgButtons::YesNo);
    QVERIFY(!rig.rs.OnlineMode);
    QCOMPARE(rig.port.openCount(), 0);
}

void tst_ProgramDownload::cancelledOrRefusedSelections()
{
    Rig rig;
    rig.mode.setMode(true);
    const QString good = rig.programSet(QStringLiteral("PRESS1"), "D", "PRESS 10312");
    const QString pls = rig.programSet(QStringLiteral("PLS1"), "E", "PLS10312");
    rig.programFilePath = good;
    const qsizetype mark = rig.mark();

    // Cancelled file dialog: no message, nothing changes; it opened on the last program.
    rig.prompter.answerFile(std::nullopt);
    QCOMPARE(shown(rig.choose(kSelectForDownload)), QStringLiteral("failed: Cancelled"));
    QCOMPARE(rig.prompter.calls().size(), 1);
    QCOMPARE(rig.prompter.calls()[0].file.fileName, good);
    QCOMPARE(rig.programFilePath, good);

    // A PLS program: the PLS message and no confirmation.
    rig.prompter.clear();
    rig.prompter.answerFile(pls);
    QCOMPARE(shown(rig.choose(kSelectForDownload)), QStringLiteral("failed: BadFile"));
    QCOMPARE(rig.prompter.calls().size(), 2);
    const PromptCall& box = rig.prompter.calls()[1];
    QCOMPARE(box.text,
        QStringLiteral("PLS1 file is a PLS target board program.\r\nOpen PLS program to download to target "
                       "board.\r\n\r\nProgram Downloaded Halted."));
    QCOMPARE(box.title, QStringLiteral("PLS Program Download"));
    QCOMPARE(box.icon, MsgIcon::Information);

    // No at the confirmation: nothing to download.
    rig.prompter.clear();
    rig.prompter.answerFile(good);
    rig.prompter.answerMsg(MsgResult::No);
    QCOMPARE(shown(rig.choose(kSelectForDownload)), QStringLiteral("failed: Cancelled"));
    QCOMPARE(rig.prompter.calls().size(), 2);
    QCOMPARE(rig.prompter.calls()[1].text,
        QStringLiteral(
            "You are about to download \"PRESS1.nvk\" to the K7700.\r\n\r\nDo you wish to continue?"));
    QCOMPARE(rig.prompter.calls()[1].defaultButton, MsgDefault::Button2);
    QVERIFY(rig.rs.ValidProgram());
    QCOMPARE(rig.mark(), mark); // nothing on the wire

    // Yes, and the press stands: the program to download.
    rig.prompter.clear();
    rig.prompter.answerFile(good);
    rig.prompter.answerMsg(MsgResult::Yes);
    QCOMPARE(shown(rig.choose(kSelectForDownload)), good);
    QCOMPARE(rig.prompter.unexpected(), 0);
}

// The target board asks nothing about the line: a cancelled choice gives the
// program chosen before (none at first), a chosen one replaces it.
void tst_ProgramDownload::targetBoardChoice()
{
    Rig rig;
    const QString path = rig.programSet(QStringLiteral("RTC"), "A", "CLOCK0312");
    writeFile(
        rig.dir.path() + QStringLiteral("/RTC.lcf"), "E0000000000000000000000000000000000200271000%\r\n");
    rig.prompter.answerFile(std::nullopt);
    QCOMPARE(shown(rig.choose(kSelectForTargetBoard)), QString());
    rig.prompter.answerFile(path);
    QCOMPARE(shown(rig.choose(kSelectForTargetBoard)), path);
    rig.prompter.answerFile(std::nullopt);
    QCOMPARE(shown(rig.choose(kSelectForTargetBoard)), path);
    QCOMPARE(rig.prompter.calls().size(), 3); // the file dialogs only
    QCOMPARE(rig.prompter.calls().last().file.fileName, path);
    QCOMPARE(rig.port.openCount(), 0);
    QCOMPARE(rig.prompter.unexpected(), 0);
}

void tst_ProgramDownload::timeLeft_data()
{
    QTest::addColumn<int>("sent");
    QTest::addColumn<qint64>("elapsedMs");
    QTest::addColumn<int>("left");
    QTest::addColumn<QString>("text");
    QTest::newRow("no pace yet") << 0 << qint64(0) << 500 << "Time left: -";
    QTest::newRow("seconds, rounded up") << 10 << qint64(1000) << 101 << "Time left: about 11 s";
    QTest::newRow("minutes") << 100 << qint64(10000) << 1250 << "Time left: about 2 min 05 s";
    QTest::newRow("done") << 100 << qint64(10000) << 0 << "Time left: 0 s";
}

void tst_ProgramDownload::timeLeft()
{
    QFETCH(int, sent);
    QFETCH(qint64, elapsedMs);
    QFETCH(int, left);
    QFETCH(QString, text);
    QCOMPARE(downloadTimeLeftText(sent, elapsedMs, left), text);
}

QTEST_GUILESS_MAIN(tst_ProgramDownload)
#include "tst_programdownload.moc"
