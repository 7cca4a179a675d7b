#include "shared/MachineData.h"
#include "shared/SetupFile.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace talvek;

namespace {

// The file image is built here piece by piece, independently of the writer.
QByteArray le16(int value)
{
    QByteArray bytes(2, '\0');
    qToLittleEndian<quint16>(quint16(value), bytes.data());
    return bytes;
}

QByteArray le32(qint64 value)
{
    QByteArray bytes(4, '\0');
    qToLittleEndian<quint32>(quint32(value), bytes.data());
    return bytes;
}

QByteArray text(const QByteArray& latin1)
{
    return le16(int(latin1.size())) + latin1;
}

const char* const DefaultAddresses[18] = { "D1100", "W1104", "D1200", "W1204", "W1040", "W1042", "B1018.0",
    "W1020", "W1022", "W1024", "W1026", "W1028", "W1032", "W1034", "W1036", "B4001.0", "B4050", "B4011" };
const int DefaultValues[18] = { 0, 0, 0, 0, 0, 0, 0, 0, 0, 300, 250, 350, 375, 250, 20, 0, 1, 10 };

// The PLS configuration and channels of the defaults: 88 bytes.
QByteArray defaultPlsAndChannels()
{
    QByteArray bytes = le16(16) + le16(360) + le16(0) + le16(0);
    for (int i = 0; i < 8; ++i)
        bytes += le16(0);
    const int on[16] = { 150, 180, 155, 110, 230, 150, 120, 0 };
    const int off[16] = { 170, 200, 175, 130, 300, 200, 190, 20 };
    for (int v : on)
        bytes += le16(v);
    for (int v : off)
        bytes += le16(v);
    return bytes;
}

// A record with `rows` rows: row i has address "A<i>" and value 1000 + i.
QByteArray imageWithRows(int rows, const QByteArray& version)
{
    QByteArray bytes = text(version);
    bytes += le16(1) + le32(rows) + le32(0);
    for (int i = 0; i < rows; ++i)
        bytes += text("A" + QByteArray::number(i));
    bytes += le16(1) + le32(rows) + le32(0);
    for (int i = 0; i < rows; ++i)
        bytes += le32(1000 + i);
    return bytes + defaultPlsAndChannels();
}

QByteArray defaultsImage()
{
    QByteArray bytes = text("TALVEK_R1.2.3");
    bytes += le16(1) + le32(18) + le32(0);
    for (const char* address : DefaultAddresses)
        bytes += text(address);
    bytes += le16(1) + le32(18) + le32(0);
    for (int value : DefaultValues)
        bytes += le32(value);
    return bytes + defaultPlsAndChannels();
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray("<unreadable>");
    return file.readAll();
}

bool writeAll(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

// A record that differs from the defaults in every field.
MachineData everyFieldRecord()
{
    MachineData data;
    data.Version = QStringLiteral("TALVEK_R9.8.7 \u00E9");
    for (int i = 0; i < 18; ++i) {
        data.ParamAddress.append(QStringLiteral("W%1").arg(2000 + i));
        data.ParamValue.append((i % 2 ? -1 : 1) * (100000 * i + 7));
    }
    data.ParamAddress[3] = QString();
    data.ParamAddress[4] = QStringLiteral("B1018.0\u00B0");
    data.ParamValue[0] = std::numeric_limits<qint32>::min();
    data.ParamValue[17] = std::numeric_limits<qint32>::max();
    data.PlsChannelCount = 12;
    data.PlsScaleFactor = 720;
    data.PlsOffset = -5;
    data.PlsProgram = 3;
    for (int i = 0; i < 8; ++i)
        data.SpeedCompensation[std::size_t(i)] = qint16(i * 3 - 10);
    for (int i = 0; i < 16; ++i) {
        data.OnSetpoint[std::size_t(i)] = qint16(i * 20 + 1);
        data.OffSetpoint[std::size_t(i)] = qint16(-i * 20 - 2);
    }
    data.OnSetpoint[15] = std::numeric_limits<qint16>::max();
    data.OffSetpoint[15] = std::numeric_limits<qint16>::min();
    return data;
}

} // namespace

class tst_SetupFile final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void defaultsImage();
    void roundTripEveryField();
    void textOutsideLatin1();
    void acceptRowCounts_data();
    void acceptRowCounts();
    void otherVersionIsUnsavedUntilSaved();
    void newData();
    void trailingBytesIgnored();
    void truncatedAtEveryOffset();
    void truncationNamesThePart_data();
    void truncationNamesThePart();
    void hostileHeaders_data();
    void hostileHeaders();
    void mutatedImagesNeverCrash();
    void unreadablePaths();
    void tooLongTextIsNotWritten();
    void saveReplacesLongerFile();
    void saveIntoMissingFolder();
    void saveIntoUnwritableFolder();
    void saveFailingMidWriteKeepsOldFile();

private:
    QTemporaryDir m_dir;
    QString path(const QString& name) const { return m_dir.filePath(name); }
};

void tst_SetupFile::init()
{
    QVERIFY(m_dir.isValid());
    resetMachineDataGlobals();
    InitMachineData(1, 2, 3);
    newMachineData();
    DataReloaded = false;
}

void tst_SetupFile::defaultsImage()
{
    const QByteArray expected = ::defaultsImage();
    QCOMPARE(expected.size(), 325);

    const QString file = path(QStringLiteral("defaults.sdt"));
    QString reason;
    QVERIFY2(saveCurrentData(file, &reason), qPrintable(reason));
    const QByteArray written = readAll(file);
    QCOMPARE(written.size(), 325);
    QCOMPARE(int(quint8(written[0])), 13);
    QCOMPARE(int(quint8(written[1])), 0);
    QCOMPARE(written.toHex(' '), expected.toHex(' '));
    QVERIFY(!HasUnsavedChanges());

    QByteArray encoded;
    QVERIFY(encodeSetupRecord(DefaultData, encoded));
    QCOMPARE(encoded, expected);
}

void tst_SetupFile::roundTripEveryField()
{
    const MachineData original = everyFieldRecord();
    const QString file = path(QStringLiteral("every.sdt"));
    QString reason;
    QVERIFY2(writeSetupFile(file, original, &reason), qPrintable(reason));

    // Spot checks of the encoding: the version and the Latin-1 bytes.
    const QByteArray bytes = readAll(file);
    QCOMPARE(bytes.left(2), le16(15));
    QCOMPARE(bytes.mid(2, 15), QByteArray("TALVEK_R9.8.7 \xE9"));
    QVERIFY(bytes.contains(QByteArray("\x08\x00"
                                      "B1018.0\xB0",
        10)));

    MachineData read;
    QVERIFY2(readSetupFile(file, read, &reason), qPrintable(reason));
    QCOMPARE(read.Version, original.Version);
    QCOMPARE(read.ParamAddress, original.ParamAddress);
    QCOMPARE(read.ParamValue, original.ParamValue);
    QCOMPARE(read.PlsChannelCount, original.PlsChannelCount);
    QCOMPARE(read.PlsScaleFactor, original.PlsScaleFactor);
    QCOMPARE(read.PlsOffset, original.PlsOffset);
    QCOMPARE(read.PlsProgram, original.PlsProgram);
    QCOMPARE(read.SpeedCompensation, original.SpeedCompensation);
    QCOMPARE(read.OnSetpoint, original.OnSetpoint);
    QCOMPARE(read.OffSetpoint, original.OffSetpoint);
    QVERIFY(read == original);
}

void tst_SetupFile::textOutsideLatin1()
{
    MachineData data = DefaultData;
    data.ParamAddress[0] = QStringLiteral("W\u20AC1");
    QByteArray bytes;
    QVERIFY(encodeSetupRecord(data, bytes));
    QCOMPARE(bytes.mid(25, 5), QByteArray("\x03\x00W?1", 5));
}

void tst_SetupFile::acceptRowCounts_data()
{
    QTest::addColumn<int>("rows");
    QTest::newRow("20 rows") << 20;
    QTest::newRow("18 rows") << 18;
    QTest::newRow("10 rows") << 10;
    QTest::newRow("1 row") << 1;
    QTest::newRow("no rows") << 0;
}

void tst_SetupFile::acceptRowCounts()
{
    QFETCH(int, rows);
    const QString file = path(QStringLiteral("rows%1.sdt").arg(rows));
    QVERIFY(writeAll(file, imageWithRows(rows, "TALVEK_R1.2.3")));

    const MachineData before = CurrentData;
    QString reason;
    QVERIFY2(loadFileData(file, &reason), qPrintable(reason));
    // Reading alone changes nothing but the buffer, which has the file's counts.
    QVERIFY(CurrentData == before);
    QCOMPARE(FileData.ParamAddress.size(), rows);
    QCOMPARE(FileData.ParamValue.size(), rows);

    CurrentData.ParamValue[2] = 77; // unsaved work that the accepted file replaces
    AcceptFileData();
    QVERIFY(!IsUntitled);
    QCOMPARE(CurrentData.ParamAddress.size(), 18);
    QCOMPARE(CurrentData.ParamValue.size(), 18);
    for (int row = 0; row < 18; ++row) {
        if (row < rows) {
            QCOMPARE(CurrentData.ParamAddress[row], QStringLiteral("A%1").arg(row));
            QCOMPARE(CurrentData.ParamValue[row], 1000 + row);
        } else {
            QCOMPARE(CurrentData.ParamAddress[row], QString());
            QCOMPARE(CurrentData.ParamValue[row], 0);
        }
    }
    QCOMPARE(CurrentData.OnSetpoint, DefaultData.OnSetpoint);
    QVERIFY(SavedData == CurrentData);
    QVERIFY(FileData == CurrentData);
    QVERIFY(!HasUnsavedChanges());
    // The copies are independent.
    CurrentData.ParamValue[0] = -1;
    QCOMPARE(SavedData.ParamValue[0], rows > 0 ? 1000 : 0);
    QVERIFY(HasUnsavedChanges());
}

void tst_SetupFile::otherVersionIsUnsavedUntilSaved()
{
    const QString file = path(QStringLiteral("old.sdt"));
    QVERIFY(writeAll(file, imageWithRows(18, "talvek_r1.2.3")));
    QVERIFY(loadFileData(file));
    QCOMPARE(FileData.Version, QStringLiteral("talvek_r1.2.3"));
    QVERIFY(FileData.Version != ProgramVersion);
    AcceptFileData();
    QVERIFY(HasUnsavedChanges());

    QString reason;
    QVERIFY2(saveCurrentData(file, &reason), qPrintable(reason));
    QCOMPARE(CurrentData.Version, QStringLiteral("TALVEK_R1.2.3"));
    QVERIFY(!HasUnsavedChanges());
    QVERIFY(loadFileData(file));
    QCOMPARE(FileData.Version, QStringLiteral("TALVEK_R1.2.3"));
    QCOMPARE(FileData.ParamAddress[17], QStringLiteral("A17"));
}

void tst_SetupFile::newData()
{
    CurrentData.ParamValue[10] = 1;
    CurrentData.OnSetpoint[0] = 1;
    CurrentData.ParamAddress[0] = QStringLiteral("W1");
    IsUntitled = false;
    newMachineData();
    QVERIFY(CurrentData == DefaultData);
    QVERIFY(SavedData == DefaultData);
    QVERIFY(IsUntitled);
    QVERIFY(DataReloaded);
    QVERIFY(!HasUnsavedChanges());
}

void tst_SetupFile::trailingBytesIgnored()
{
    MachineData read;
    QString reason;
    QVERIFY2(decodeSetupRecord(QByteArray(::defaultsImage() + QByteArray(1000, '\xAA')), read, &reason),
        qPrintable(reason));
    QVERIFY(read == DefaultData);
}

void tst_SetupFile::truncatedAtEveryOffset()
{
    const QByteArray image = ::defaultsImage();
    const MachineData marker = everyFieldRecord();
    const QString file = path(QStringLiteral("short.sdt"));
    for (int length = 0; length < image.size(); ++length) {
        const QByteArray bytes = image.left(length);
        MachineData record = marker;
        QString reason;
        QVERIFY2(!decodeSetupRecord(bytes, record, &reason), qPrintable(QString::number(length)));
        QVERIFY2(record == marker, qPrintable(QString::number(length)));
        QVERIFY2(reason.startsWith(QStringLiteral("The file is too short: it ends inside the ")),
            qPrintable(reason));

        // The same through a file: the data of the program stays as it was.
        QVERIFY(writeAll(file, bytes));
        FileData = marker;
        CurrentData.ParamValue[9] = 301;
        const MachineData current = CurrentData;
        const MachineData saved = SavedData;
        QVERIFY(!loadFileData(file, &reason));
        QVERIFY(!reason.isEmpty());
        QVERIFY(FileData == marker);
        QVERIFY(CurrentData == current);
        QVERIFY(SavedData == saved);
    }
    MachineData whole;
    QVERIFY(decodeSetupRecord(image, whole));
    QVERIFY(whole == DefaultData);
}

void tst_SetupFile::truncationNamesThePart_data()
{
    // Offsets in the 325-byte defaults image: version 0..14, addresses
    // 15..154, values 155..236, PLS configuration 237..244, speed
    // compensation 245..260, ON setpoints 261..292, OFF setpoints 293..324.
    QTest::addColumn<int>("length");
    QTest::addColumn<QString>("part");
    QTest::newRow("empty") << 0 << QStringLiteral("version text");
    QTest::newRow("in version") << 10 << QStringLiteral("version text");
    QTest::newRow("address header") << 16 << QStringLiteral("parameter address table");
    QTest::newRow("in addresses") << 100 << QStringLiteral("parameter address table");
    QTest::newRow("last address") << 154 << QStringLiteral("parameter address table");
    QTest::newRow("value header") << 155 << QStringLiteral("parameter value table");
    QTest::newRow("in values") << 236 << QStringLiteral("parameter value table");
    QTest::newRow("PLS") << 240 << QStringLiteral("PLS configuration");
    QTest::newRow("speed") << 245 << QStringLiteral("speed compensation");
    QTest::newRow("ON") << 292 << QStringLiteral("ON setpoints");
    QTest::newRow("OFF") << 324 << QStringLiteral("OFF setpoints");
}

void tst_SetupFile::truncationNamesThePart()
{
    QFETCH(int, length);
    QFETCH(QString, part);
    MachineData record;
    QString reason;
    QVERIFY(!decodeSetupRecord(::defaultsImage().left(length), record, &reason));
    QCOMPARE(reason, QStringLiteral("The file is too short: it ends inside the ") + part + u'.');
}

void tst_SetupFile::hostileHeaders_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("reason");

    const QByteArray good = ::defaultsImage();
    auto patched = [&good](int offset, const QByteArray& with) {
        QByteArray bytes = good;
        bytes.replace(offset, with.size(), with);
        return bytes;
    };
    const QString tooShort = QStringLiteral("The file is too short: it ends inside the %1.");
    const QString addresses = QStringLiteral("parameter address table");
    const QString values = QStringLiteral("parameter value table");

    QTest::newRow("version length 65535")
        << patched(0, le16(65535)) << tooShort.arg(QStringLiteral("version text"));
    QTest::newRow("version length 65535 filled")
        << QByteArray(le16(65535) + QByteArray(65535, 'v')) << tooShort.arg(addresses);
    QTest::newRow("address count 2^31")
        << patched(17, le32(0x80000000LL))
        << QStringLiteral(
               "The parameter address table claims 2147483648 rows; a set-up file holds at most 32768.");
    QTest::newRow("address count 2^32-1")
        << patched(17, le32(0xFFFFFFFFLL))
        << QStringLiteral(
               "The parameter address table claims 4294967295 rows; a set-up file holds at most 32768.");
    QTest::newRow("address count 32768 in a small file")
        << patched(17, le32(32768)) << tooShort.arg(addresses);
    QTest::newRow("address count 32769")
        << patched(17, le32(32769))
        << QStringLiteral(
               "The parameter address table claims 32769 rows; a set-up file holds at most 32768.");
    // Row 19 takes its text from the value table's header; what follows no
    // longer lines up.
    QTest::newRow("address count 19") << patched(
        17, le32(19)) << QStringLiteral("The parameter value table has 0 dimensions instead of 1.");
    QTest::newRow("address dimensions 0") << patched(
        15, le16(0)) << QStringLiteral("The parameter address table has 0 dimensions instead of 1.");
    QTest::newRow("address dimensions 2") << patched(
        15, le16(2)) << QStringLiteral("The parameter address table has 2 dimensions instead of 1.");
    QTest::newRow("address dimensions 65535") << patched(
        15, le16(65535)) << QStringLiteral("The parameter address table has 65535 dimensions instead of 1.");
    QTest::newRow("address lower bound 1") << patched(
        21, le32(1)) << QStringLiteral("The parameter address table starts at row 1 instead of row 0.");
    QTest::newRow("address lower bound -1") << patched(
        21, le32(-1)) << QStringLiteral("The parameter address table starts at row -1 instead of row 0.");
    QTest::newRow("row text length 65535") << patched(25, le16(65535)) << tooShort.arg(addresses);
    QTest::newRow("value count 2^31")
        << patched(157, le32(0x80000000LL))
        << QStringLiteral(
               "The parameter value table claims 2147483648 rows; a set-up file holds at most 32768.");
    QTest::newRow("value count 100") << patched(157, le32(100)) << tooShort.arg(values);
    QTest::newRow("value dimensions 2") << patched(
        155, le16(2)) << QStringLiteral("The parameter value table has 2 dimensions instead of 1.");
    QTest::newRow("value lower bound 5") << patched(
        161, le32(5)) << QStringLiteral("The parameter value table starts at row 5 instead of row 0.");
}

void tst_SetupFile::hostileHeaders()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, reason);

    const MachineData marker = everyFieldRecord();
    MachineData record = marker;
    QString why;
    QVERIFY(!decodeSetupRecord(bytes, record, &why));
    QCOMPARE(why, reason);
    QVERIFY(record == marker);

    const QString file = path(QStringLiteral("hostile.sdt"));
    QVERIFY(writeAll(file, bytes));
    const MachineData current = CurrentData;
    FileData = marker;
    QVERIFY(!loadFileData(file, &why));
    QCOMPARE(why, reason);
    QVERIFY(FileData == marker);
    QVERIFY(CurrentData == current);
}

void tst_SetupFile::mutatedImagesNeverCrash()
{
    const QByteArray good = ::defaultsImage();
    QRandomGenerator random(20261207);
    int accepted = 0;
    for (int round = 0; round < 20000; ++round) {
        QByteArray bytes = good;
        const int changes = 1 + int(random.bounded(4));
        for (int i = 0; i < changes; ++i)
            bytes[int(random.bounded(bytes.size()))] = char(random.bounded(256));
        if (random.bounded(4) == 0)
            bytes.truncate(int(random.bounded(bytes.size())));
        MachineData record;
        QString reason;
        if (decodeSetupRecord(bytes, record, &reason)) {
            ++accepted;
            QVERIFY(record.ParamAddress.size() <= kMaxSetupFileRows);
            QVERIFY(record.ParamValue.size() <= kMaxSetupFileRows);
        } else {
            QVERIFY(!reason.isEmpty());
            QVERIFY(record == MachineData());
        }
    }
    // Changes inside texts and numbers still make a readable record.
    QVERIFY(accepted > 0);
}

void tst_SetupFile::unreadablePaths()
{
    QString reason;
    FileData = everyFieldRecord();
    QVERIFY(!loadFileData(path(QStringLiteral("missing.sdt")), &reason));
    QVERIFY2(reason.startsWith(QStringLiteral("The file could not be opened: ")), qPrintable(reason));
    QVERIFY(FileData == everyFieldRecord());

    QVERIFY(QDir(m_dir.path()).mkdir(QStringLiteral("folder.sdt")));
    QVERIFY(!loadFileData(path(QStringLiteral("folder.sdt")), &reason));
    QCOMPARE(reason, QStringLiteral("It is a folder, not a file."));
    QVERIFY(FileData == everyFieldRecord());

    // A pipe is refused at once instead of blocking until someone writes to it.
    QVERIFY(::mkfifo(QFile::encodeName(path(QStringLiteral("pipe.sdt"))).constData(), 0600) == 0);
    QVERIFY(!loadFileData(path(QStringLiteral("pipe.sdt")), &reason));
    QCOMPARE(reason, QStringLiteral("It is not a regular file."));
    QVERIFY(FileData == everyFieldRecord());
}

void tst_SetupFile::tooLongTextIsNotWritten()
{
    const QString file = path(QStringLiteral("long.sdt"));
    QVERIFY(writeAll(file, QByteArray("old")));
    MachineData data = DefaultData;
    data.Version = QString(65536, u'x');
    QString reason;
    QVERIFY(!writeSetupFile(file, data, &reason));
    QCOMPARE(reason, QStringLiteral("The version text is longer than 65535 characters."));
    QCOMPARE(readAll(file), QByteArray("old"));

    data.Version = QString(65535, u'x'); // the longest text that fits
    data.ParamAddress[5] = QString(65536, u'a');
    QVERIFY(!writeSetupFile(file, data, &reason));
    QCOMPARE(reason, QStringLiteral("The address of parameter row 5 is longer than 65535 characters."));
    data.ParamAddress[5] = QString(65535, u'a');
    QVERIFY2(writeSetupFile(file, data, &reason), qPrintable(reason));
    MachineData read;
    QVERIFY(readSetupFile(file, read));
    QVERIFY(read == data);
}

void tst_SetupFile::saveReplacesLongerFile()
{
    const QString file = path(QStringLiteral("longer.sdt"));
    QVERIFY(writeAll(file, QByteArray(1000, 'z')));
    QVERIFY(saveCurrentData(file));
    QCOMPARE(readAll(file), ::defaultsImage());
}

void tst_SetupFile::saveIntoMissingFolder()
{
    CurrentData.Version = QStringLiteral("TALVEK_R0.1.0");
    const MachineData before = CurrentData;
    const MachineData saved = SavedData;
    QString reason;
    QVERIFY(!saveCurrentData(path(QStringLiteral("no/such/folder/x.sdt")), &reason));
    QVERIFY2(reason.startsWith(QStringLiteral("The file could not be created: ")), qPrintable(reason));
    QVERIFY(CurrentData == before);
    QVERIFY(SavedData == saved);
    QVERIFY(HasUnsavedChanges());
}

void tst_SetupFile::saveIntoUnwritableFolder()
{
#ifdef Q_OS_UNIX
    if (geteuid() == 0)
        QSKIP("folder permissions do not bind the super-user; saveFailingMidWriteKeepsOldFile covers the "
              "failure");
    const QString folder = path(QStringLiteral("locked"));
    QVERIFY(QDir().mkpath(folder));
    const QString file = folder + QStringLiteral("/data.sdt");
    const QByteArray old = imageWithRows(18, "TALVEK_R0.0.1");
    QVERIFY(writeAll(file, old));
    QVERIFY(::chmod(QFile::encodeName(folder).constData(), 0555) == 0);

    CurrentData.ParamValue[10] = 260;
    const MachineData before = CurrentData;
    QString reason;
    const bool saved = saveCurrentData(file, &reason);
    ::chmod(QFile::encodeName(folder).constData(), 0755);
    QVERIFY(!saved);
    QVERIFY2(reason.startsWith(QStringLiteral("The file could not be ")), qPrintable(reason));
    QCOMPARE(readAll(file), old);
    QVERIFY(CurrentData == before);
    QVERIFY(HasUnsavedChanges());
#else
    QSKIP("needs POSIX permissions");
#endif
}

void tst_SetupFile::saveFailingMidWriteKeepsOldFile()
{
#ifdef Q_OS_UNIX
    const QString folder = path(QStringLiteral("full"));
    QVERIFY(QDir().mkpath(folder));
    const QString file = folder + QStringLiteral("/data.sdt");
    const QByteArray old = imageWithRows(18, "TALVEK_R0.0.1");
    QVERIFY(writeAll(file, old));

    // A file size limit below the record makes the write fail part way, as a
    // full disk would.
    CurrentData.Version = QStringLiteral("other");
    const MachineData before = CurrentData;
    rlimit saved {};
    QVERIFY(getrlimit(RLIMIT_FSIZE, &saved) == 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = saved;
    limited.rlim_cur = 100;
    QVERIFY(setrlimit(RLIMIT_FSIZE, &limited) == 0);
    QString reason;
    const bool ok = saveCurrentData(file, &reason);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    QVERIFY(!ok);
    QVERIFY2(reason.startsWith(QStringLiteral("The file could not be written: ")), qPrintable(reason));
    QCOMPARE(readAll(file), old);
    QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList { QStringLiteral("data.sdt") });
    QVERIFY(CurrentData == before);
    QVERIFY(HasUnsavedChanges());
#else
    QSKIP("needs a file size limit");
#endif
}

QTEST_APPLESS_MAIN(tst_SetupFile)
#include "tst_setupfile.moc"
