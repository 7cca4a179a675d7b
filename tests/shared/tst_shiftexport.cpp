// The shift data export: the twelve lines byte for byte, the save dialog,
// a cancelled dialog, and exports that cannot be written (one box naming the
// file and the reason, no half-written file, an old file left whole).

#include "ScriptedPrompter.h"
#include "shared/MachineData.h"
#include "shared/ShiftExport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#include <unistd.h>
#endif

using namespace talvek;
using namespace talvek::test;

namespace {

QByteArray readAll(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return "<missing>";
    return f.readAll();
}

const QByteArray kDefaultsFile = "untitled\r\n"
                                 "Date: \r\n"
                                 " \r\n"
                                 "Current Shift Data:\r\n"
                                 "(Total Good Cans, Total Short Cans)\r\n"
                                 " 0\r\n"
                                 " 0\r\n"
                                 " \r\n"
                                 "Last Shift Data:\r\n"
                                 "(Total Good Cans, Total Short Cans)\r\n"
                                 " 0\r\n"
                                 " 0\r\n";

} // namespace

class TestShiftExport : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        resetMachineDataGlobals();
        InitMachineData(1, 0, 0);
    }

    void startUpDefaultsByteForByte()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("shift.txt"));
        ScriptedPrompter prompter;
        prompter.answerFile(path);
        QString exportPath;
        QVERIFY(exportShiftData(prompter, exportPath, QString(), QString()));
        QCOMPARE(readAll(path), kDefaultsFile);
        QCOMPARE(exportPath, path);

        // The dialog: text files, overwrite confirmed, no name proposed the first time.
        QCOMPARE(prompter.calls().size(), 1);
        const PromptCall& call = prompter.calls().at(0);
        QCOMPARE(call.kind, PromptCall::Kind::SaveFile);
        QCOMPARE(call.file.filter, QStringLiteral("Text Files(*.txt)|*.txt|"));
        QVERIFY(call.file.overwritePrompt);
        QVERIFY(call.file.fileName.isEmpty());
        QCOMPARE(prompter.unexpected(), 0);

        // The next export proposes the last file and overwrites it.
        CurrentData.ParamValue[3] = 12;
        prompter.answerFile(path);
        QVERIFY(exportShiftData(prompter, exportPath, QString(), QString()));
        QCOMPARE(prompter.calls().at(1).file.fileName, path);
        QVERIFY(readAll(path).endsWith(" 0\r\n 12\r\n"));
        QCOMPARE(readAll(path).size(), kDefaultsFile.size() + 1);
    }

    void firstExportProposesTheSetupFileAndAddsTxt()
    {
        QTemporaryDir dir;
        ScriptedPrompter prompter;
        QString exportPath;
        prompter.answerFile(dir.filePath(QStringLiteral("shift 3")));
        QVERIFY(exportShiftData(
            prompter, exportPath, QString(), QString(), dir.filePath(QStringLiteral("line3.sdt"))));
        const PromptCall& call = prompter.calls().at(0);
        QCOMPARE(call.file.fileName, dir.filePath(QStringLiteral("line3.txt")));
        QCOMPARE(call.file.defaultExt, QStringLiteral("txt"));
        QCOMPARE(exportPath, dir.filePath(QStringLiteral("shift 3.txt")));
        QCOMPARE(readAll(exportPath), kDefaultsFile);
        QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("shift 3"))));
        // Unnamed data: only the folder is proposed.
        QString again;
        prompter.answerFile(std::nullopt);
        QVERIFY(!exportShiftData(prompter, again, QString(), QString(), dir.path() + QStringLiteral("/*")));
        QCOMPARE(prompter.calls().at(1).file.fileName, dir.path() + QStringLiteral("/*.txt"));
        QVERIFY(again.isEmpty());
    }

    void lines_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("date");
        QTest::addColumn<QList<qint32>>("rows");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("seven digits, no grouping")
            << "line3.sdt"
            << "05/03/2024 14:22:01" << QList<qint32> { 1234567, 65535, 655359999, 0 }
            << QByteArray("line3.sdt\r\nDate: 05/03/2024 14:22:01\r\n \r\nCurrent Shift Data:\r\n"
                          "(Total Good Cans, Total Short Cans)\r\n 1234567\r\n 65535\r\n \r\n"
                          "Last Shift Data:\r\n(Total Good Cans, Total Short Cans)\r\n 655359999\r\n 0\r\n");
        QTest::newRow("negative value")
            << "a.sdt"
            << "" << QList<qint32> { -5, 0, 7, -2147483647 - 1 }
            << QByteArray("a.sdt\r\nDate: \r\n \r\nCurrent Shift Data:\r\n"
                          "(Total Good Cans, Total Short Cans)\r\n-5\r\n 0\r\n \r\n"
                          "Last Shift Data:\r\n(Total Good Cans, Total Short Cans)\r\n 7\r\n-2147483648\r\n");
        QTest::newRow("single-byte title")
            << QStringLiteral("Pr\u00fcfung \u20ac.sdt") << "x" << QList<qint32> { 0, 0, 0, 0 }
            << QByteArray("Pr\xfc"
                          "fung ?.sdt\r\nDate: x\r\n \r\nCurrent Shift Data:\r\n"
                          "(Total Good Cans, Total Short Cans)\r\n 0\r\n 0\r\n \r\n"
                          "Last Shift Data:\r\n(Total Good Cans, Total Short Cans)\r\n 0\r\n 0\r\n");
    }

    void lines()
    {
        QFETCH(QString, title);
        QFETCH(QString, date);
        QFETCH(QList<qint32>, rows);
        QFETCH(QByteArray, expected);
        for (int i = 0; i < 4; ++i)
            CurrentData.ParamValue[i] = rows[i];
        QCOMPARE(shiftExportBytes(CurrentData, title, date), expected);
    }

    void missingRowsAreWrittenAsZero()
    {
        MachineData data;
        data.ParamValue = { 9 };
        QVERIFY(shiftExportBytes(data, QString(), QString())
                    .endsWith(" 9\r\n 0\r\n \r\n"
                              "Last Shift Data:\r\n"
                              "(Total Good Cans, Total Short Cans)\r\n"
                              " 0\r\n 0\r\n"));
    }

    void cancelledDialogIsSilent()
    {
        ScriptedPrompter prompter;
        prompter.answerFile(std::nullopt);
        QString exportPath = QStringLiteral("/somewhere/last.txt");
        QVERIFY(!exportShiftData(prompter, exportPath, QString(), QString()));
        QCOMPARE(exportPath, QStringLiteral("/somewhere/last.txt"));
        QCOMPARE(prompter.calls().size(), 1);
        QCOMPARE(prompter.calls().at(0).file.fileName, QStringLiteral("/somewhere/last.txt"));
        QVERIFY(prompter.messages().isEmpty());
    }

    void unwritableFileIsReported_data()
    {
        QTest::addColumn<QString>("relative"); // under a fresh temporary folder
        QTest::addColumn<QString>("absolute"); // or this path
        QTest::addColumn<bool>("readOnlyFolder");
        QTest::newRow("folder missing") << "no such folder/shift.txt" << QString() << false;
        QTest::newRow("a folder of that name") << "taken.txt" << QString() << false;
#ifdef Q_OS_LINUX
        QTest::newRow("read-only file system") << QString() << "/proc/talvek-shift.txt" << false;
#endif
#ifdef Q_OS_UNIX
        // Root may write anywhere; the permission case runs for other users.
        if (geteuid() != 0)
            QTest::newRow("no permission") << "locked/shift.txt" << QString() << true;
#endif
    }

    void unwritableFileIsReported()
    {
        QFETCH(QString, relative);
        QFETCH(QString, absolute);
        QFETCH(bool, readOnlyFolder);
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("taken.txt")));
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("locked")));
        const QString locked = dir.filePath(QStringLiteral("locked"));
        if (readOnlyFolder)
            QFile::setPermissions(locked, QFile::ReadOwner | QFile::ExeOwner);
        const QString path = absolute.isEmpty() ? dir.filePath(relative) : absolute;

        ScriptedPrompter prompter;
        prompter.answerFile(path);
        prompter.answerMsg(MsgResult::OK);
        QString exportPath;
        QVERIFY(!exportShiftData(prompter, exportPath, QStringLiteral("x.sdt"), QString()));
        QFile::setPermissions(locked, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

        QCOMPARE(exportPath, path);
        const QList<PromptCall> boxes = prompter.messages();
        QCOMPARE(boxes.size(), 1);
        const QString prefix = QStringLiteral("The shift data could not be exported to:\r\n") + path
            + QStringLiteral("\r\n\r\nThe file could not be created: ");
        QVERIFY2(boxes.at(0).text.startsWith(prefix), qPrintable(visibleBreaks(boxes.at(0).text)));
        QVERIFY(boxes.at(0).text.endsWith(QLatin1Char('.')));
        QVERIFY(boxes.at(0).text.size() > prefix.size() + 1); // the system's reason follows
        QCOMPARE(boxes.at(0).title, QStringLiteral("TALVEK"));
        QCOMPARE(boxes.at(0).icon, MsgIcon::Exclamation);
        QCOMPARE(boxes.at(0).buttons, MsgButtons::OK);
        QCOMPARE(prompter.unexpected(), 0);
        if (!QFileInfo(path).isDir())
            QVERIFY(!QFile::exists(path));
        // Nothing was left behind in the folders we own.
        QCOMPARE(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
            QStringList({ "locked", "taken.txt" }));
        QVERIFY(QDir(locked).isEmpty());
    }

#ifdef Q_OS_UNIX
    void failureWhileWritingKeepsTheOldFile()
    {
        // A file size limit makes the write itself fail part-way, as a full
        // disk does.
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("shift.txt"));
        {
            QFile old(path);
            QVERIFY(old.open(QIODevice::WriteOnly));
            old.write("old export\r\n");
        }
        CurrentData.ParamValue[0] = 1234567;

        struct rlimit saved
        {
        };
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
        const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit small = saved;
        small.rlim_cur = 40;
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);

        ScriptedPrompter prompter;
        prompter.answerFile(path);
        prompter.answerMsg(MsgResult::OK);
        QString exportPath;
        const bool written = exportShiftData(prompter, exportPath, QString(), QString());

        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previousHandler);

        QVERIFY(!written);
        QCOMPARE(readAll(path), QByteArray("old export\r\n"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
            QStringList({ "shift.txt" }));
        const QList<PromptCall> boxes = prompter.messages();
        QCOMPARE(boxes.size(), 1);
        QVERIFY2(boxes.at(0).text.startsWith(QStringLiteral("The shift data could not be exported to:\r\n")
                     + path + QStringLiteral("\r\n\r\nThe file could not be written: ")),
            qPrintable(visibleBreaks(boxes.at(0).text)));
    }
#endif
};

QTEST_GUILESS_MAIN(TestShiftExport)
#include "tst_shiftexport.moc"
