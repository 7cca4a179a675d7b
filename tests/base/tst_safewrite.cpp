// Files replaced as a whole: exact bytes on success; on failure the old file
// untouched, no temporary file left behind, and the reason the file gave.

#include "base/SafeWrite.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#endif

using namespace talvek;

namespace {

const QByteArray kNone = QByteArrayLiteral("<none>");

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : kNone;
}

bool writeAll(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

QStringList entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

} // namespace

class TestSafeWrite : public QObject
{
    Q_OBJECT

private slots:
    void writesExactBytes_data()
    {
        QTest::addColumn<QByteArray>("old"); // "<none>": no file before
        QTest::addColumn<QByteArray>("bytes");

        QTest::newRow("new file") << kNone << QByteArray("1, 9600 \r\n");
        QTest::newRow("longer old file leaves no tail") << QByteArray(300, 'x') << QByteArray("0\r\n");
        QTest::newRow("shorter old file") << QByteArray("7") << QByteArray("12345\r\n\xb0\x00\xff", 10);
        QTest::newRow("empty content") << QByteArray("old") << QByteArray();
        QTest::newRow("large content") << kNone << QByteArray(200000, '\x5a');
    }

    void writesExactBytes()
    {
        QFETCH(QByteArray, old);
        QFETCH(QByteArray, bytes);

        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("file.cfg"));
        if (old != kNone)
            QVERIFY(writeAll(path, old));
        const auto failure = safeWrite(path, bytes);
        QVERIFY2(!failure, failure ? qPrintable(failure->sentence()) : "");
        QCOMPARE(readAll(path), bytes);
        QCOMPARE(entries(dir.path()), QStringList({ "file.cfg" }));
    }

    void refusedBeforeWriting()
    {
        QTemporaryDir dir;
        // The folder is missing.
        const QString lost = dir.filePath(QStringLiteral("missing/file.cfg"));
        auto failure = safeWrite(lost, "data");
        QVERIFY(failure);
        QCOMPARE(failure->stage, SafeWriteFailure::Stage::Create);
        QVERIFY(failure->error != QFileDevice::NoError);
        QVERIFY(!failure->reason.isEmpty());
        QCOMPARE(
            failure->sentence(), QStringLiteral("The file could not be created: ") + failure->reason + '.');
        QVERIFY(!QFile::exists(lost));

        // A folder stands where the file goes: it stays a folder, untouched.
        const QString folder = dir.filePath(QStringLiteral("taken"));
        QVERIFY(QDir().mkpath(folder + QStringLiteral("/inside")));
        failure = safeWrite(folder, "data");
        QVERIFY(failure);
        QCOMPARE(failure->stage, SafeWriteFailure::Stage::Create);
        QVERIFY(!failure->reason.isEmpty());
        QCOMPARE(entries(folder), QStringList({ "inside" }));
        QCOMPARE(entries(dir.path()), QStringList({ "taken" }));
    }

    // Putting the new file in place fails (here: a folder took the name
    // meanwhile): the save reports it, and no temporary file is left.
    void failureToPutInPlaceIsReported()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("data.sdt"));
        setSafeWriteBeforeCommit([](const QString& target) { QDir().mkdir(target); });
        const auto failure = safeWrite(path, "new");
        const auto setFailure = safeWriteAll({ { dir.filePath(QStringLiteral("b.rev")), "rev" } });
        setSafeWriteBeforeCommit(nullptr);
        QVERIFY(failure);
        QCOMPARE(failure->stage, SafeWriteFailure::Stage::Write);
        QVERIFY(setFailure);
        QCOMPARE(setFailure->first, dir.filePath(QStringLiteral("b.rev")));
        QCOMPARE(setFailure->second.stage, SafeWriteFailure::Stage::Write);
        QCOMPARE(entries(dir.path()), QStringList({ "b.rev", "data.sdt" }));
        QVERIFY(QFileInfo(path).isDir());
    }

    void failureWhileWritingKeepsTheOldFile()
    {
#ifdef Q_OS_UNIX
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("data.sdt"));
        QVERIFY(writeAll(path, "the old content\r\n"));

        // A file size limit makes a write fail part way, as a full disk does.
        rlimit saved {};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
        const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limited = saved;
        limited.rlim_cur = 64;
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &limited), 0);
        const auto failure = safeWrite(path, QByteArray(4096, 'n'));
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previousHandler);

        QVERIFY(failure);
        QCOMPARE(failure->stage, SafeWriteFailure::Stage::Write);
        // The write's own fault, not the cancellation that follows it.
        QCOMPARE(failure->error, QFileDevice::WriteError);
        QCOMPARE(failure->reason, QStringLiteral("File too large"));
        QCOMPARE(failure->sentence(), QStringLiteral("The file could not be written: File too large."));
        QCOMPARE(readAll(path), QByteArray("the old content\r\n"));
        QCOMPARE(entries(dir.path()), QStringList({ "data.sdt" }));
#else
        QSKIP("needs a file size limit");
#endif
    }
};

QTEST_GUILESS_MAIN(TestSafeWrite)
#include "tst_safewrite.moc"
