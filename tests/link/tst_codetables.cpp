#include "base/ProgramFolder.h"
#include "link/CodeTables.h"
#include "ScriptedPrompter.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

using namespace talvek;
using talvek::test::ScriptedPrompter;

namespace {

// A device that hands out `good` bytes and then fails every read.
class FailingDevice final : public QIODevice
{
public:
    FailingDevice(QByteArray data, qint64 good)
        : m_data(std::move(data))
        , m_good(good)
    { }
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char* data, qint64 maxSize) override
    {
        if (m_pos >= m_good)
            return -1;
        const qint64 n = qMin(maxSize, qMin<qint64>(m_good, m_data.size()) - m_pos);
        memcpy(data, m_data.constData() + m_pos, size_t(n));
        m_pos += n;
        return n;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    QByteArray m_data;
    qint64 m_good;
    qint64 m_pos = 0;
};

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

const QString kNotFound = QStringLiteral("--- Fault File Not Found ---");

} // namespace

class TestCodeTables final : public QObject
{
    Q_OBJECT

private slots:
    void codeHexText_data();
    void codeHexText();
    void faultDescription_data();
    void faultDescription();
    void faultDescriptionReadErrors_data();
    void faultDescriptionReadErrors();
    void emptyDescription();
    void faultFileMissing();
    void faultFileFoundWhateverItsCase();
    void faultFileTooLarge();
    void lookupStatuses();
    void lookupLastMatch();
    void lookupDeviceFailure();
    void commErrorTable();
    void shippedTables_data();
    void shippedTables();
};

void TestCodeTables::codeHexText_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("text");
    QTest::newRow("0") << 0 << QStringLiteral("00");
    QTest::newRow("5") << 5 << QStringLiteral("05");
    QTest::newRow("10") << 10 << QStringLiteral("0A");
    QTest::newRow("31") << 31 << QStringLiteral("1F");
    QTest::newRow("66") << 66 << QStringLiteral("42");
    QTest::newRow("255") << 255 << QStringLiteral("FF");
    QTest::newRow("256") << 256 << QStringLiteral("100");
    QTest::newRow("-1") << -1 << QStringLiteral("FFFF");
    QTest::newRow("-32768") << -32768 << QStringLiteral("8000");
}

void TestCodeTables::codeHexText()
{
    QFETCH(int, code);
    QFETCH(QString, text);
    QCOMPARE(talvek::codeHexText(qint16(code)), text);
}

void TestCodeTables::faultDescription_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("expected");

    const QByteArray table = "01,\"Watchdog timeout, CO-CPU\"\r\n"
                             "05,Five\r\n"
                             "0A,Text T\r\n"
                             "1F,Thirty-one\r\n"
                             "FF,Two fifty-five\r\n";
    QTest::newRow("10 is 0A") << table << 10 << QStringLiteral("Fault Code (0AH): Text T");
    QTest::newRow("5 is 05") << table << 5 << QStringLiteral("Fault Code (05H): Five");
    QTest::newRow("255 is FF") << table << 255 << QStringLiteral("Fault Code (FFH): Two fifty-five");
    QTest::newRow("quoted comma") << table << 1
                                  << QStringLiteral("Fault Code (01H): Watchdog timeout, CO-CPU");
    QTest::newRow("no match") << table << 2 << QStringLiteral("Fault Code (02H): ");
    QTest::newRow("5 does not match 5 without zero")
        << QByteArray("5,Wrong\r\n05,Right\r\n") << 5 << QStringLiteral("Fault Code (05H): Right");
    QTest::newRow("lower-case code") << QByteArray("0a,Lower\r\n") << 10
                                     << QStringLiteral("Fault Code (0AH): Lower");
    QTest::newRow("lower-case ff") << QByteArray("ff,Lower FF\r\n") << 255
                                   << QStringLiteral("Fault Code (FFH): Lower FF");
    QTest::newRow("duplicates: first wins")
        << QByteArray("0A,First\r\n0A,Second\r\n") << 10 << QStringLiteral("Fault Code (0AH): First");
    QTest::newRow("match stops reading before a broken tail")
        << QByteArray("0A,Ten\r\n0B") << 10 << QStringLiteral("Fault Code (0AH): Ten");
    QTest::newRow("empty file") << QByteArray() << 10 << QStringLiteral("Fault Code (0AH): ");
    QTest::newRow("blank lines only")
        << QByteArray("\r\n  \r\n\t\r\n") << 10 << QStringLiteral("Fault Code (0AH): ");
    QTest::newRow("blanks around fields") << QByteArray("   0A  ,   Padded text   \r\n") << 10
                                          << QStringLiteral("Fault Code (0AH): Padded text");
    QTest::newRow("quoted code") << QByteArray("\"0A\",Quoted code\r\n") << 10
                                 << QStringLiteral("Fault Code (0AH): Quoted code");
    QTest::newRow("LF line ends, no final break")
        << QByteArray("09,Nine\n0A,Ten") << 10 << QStringLiteral("Fault Code (0AH): Ten");
    QTest::newRow("Windows-1252 degree sign") << QByteArray("0A,Above 60\xb0 C\r\n") << 10
                                              << QString::fromUtf8("Fault Code (0AH): Above 60\u00b0 C");
    QTest::newRow("Ctrl+Z ends the file") << QByteArray("09,Nine\r\n\x1a"
                                                        "0A,Hidden\r\n")
                                          << 10 << QStringLiteral("Fault Code (0AH): ");
    QTest::newRow("binary garbage before a record") << QByteArray("\x00\xff\x10\x02,\x00\x00\r\n0A,Real\r\n",
        18) << 10 << QStringLiteral("Fault Code (0AH): Real");
    QTest::newRow("binary garbage, no match")
        << QByteArray("\x00\x01,\x7f\xfe\r\n\x00,\x00", 10) << 10 << QStringLiteral("Fault Code (0AH): ");
    QTest::newRow("code of a 16-bit value")
        << QByteArray("FFFF,Minus one\r\n") << -1 << QStringLiteral("Fault Code (FFFFH): Minus one");
}

void TestCodeTables::faultDescription()
{
    QFETCH(QByteArray, file);
    QFETCH(int, code);
    QFETCH(QString, expected);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("support")));
    QVERIFY(writeFile(dir.filePath(QStringLiteral("support/FaultErrCodes.txt")), file));

    ScriptedPrompter prompter;
    QCOMPARE(faultDescriptionText(qint16(code), ProgramFolder(dir.path()), prompter), expected);
    QVERIFY2(prompter.calls().isEmpty(), "no message box expected");
}

void TestCodeTables::faultDescriptionReadErrors_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QString>("box");

    const QString pastEnd = QStringLiteral("Error Number = 62\r\n\r\nInput past end of file");
    QTest::newRow("code without description at end")
        << QByteArray("0A,Ten\r\n0B") << 11 << QStringLiteral("Fault Code (0BH): ") << pastEnd;
    QTest::newRow("code and comma at end")
        << QByteArray("0A,Ten\r\n0B,") << 11 << QStringLiteral("Fault Code (0BH): ") << pastEnd;
    QTest::newRow("lone code, no match")
        << QByteArray("0A,Ten\r\n0C") << 11 << QStringLiteral("Fault Code (0BH): ") << pastEnd;
    QTest::newRow("binary garbage, odd field count")
        << QByteArray("\x00\x01\x02\xff\xfe\x00", 6) << 10 << QStringLiteral("Fault Code (0AH): ") << pastEnd;
    // A pipe would block the open until someone writes to it.
    QTest::newRow("a pipe") << QByteArray("<fifo>") << 10 << QStringLiteral("Fault Code (0AH): ")
                            << QStringLiteral("Error Number = 75\r\n\r\nPath/File access error");
}

void TestCodeTables::faultDescriptionReadErrors()
{
    QFETCH(QByteArray, file);
    QFETCH(int, code);
    QFETCH(QString, expected);
    QFETCH(QString, box);

    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("support")));
    const QString path = dir.filePath(QStringLiteral("support/FaultErrCodes.txt"));
    if (file == "<fifo>") {
#ifdef Q_OS_UNIX
        QVERIFY(::mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
#else
        QSKIP("no named pipes here");
#endif
    } else {
        QVERIFY(writeFile(path, file));
    }

    ScriptedPrompter prompter;
    QCOMPARE(faultDescriptionText(qint16(code), ProgramFolder(dir.path()), prompter), expected);
    QCOMPARE(prompter.calls().size(), 1);
    const auto& call = prompter.calls().at(0);
    QCOMPARE(call.text, box);
    QCOMPARE(call.title, QStringLiteral("RSComm FaultDescription"));
    QCOMPARE(call.icon, MsgIcon::Information);
    QCOMPARE(call.buttons, MsgButtons::OK);
}

// A record "0A," ends in an empty description; the next line is the next record.
void TestCodeTables::emptyDescription()
{
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("support")));
    const QString path = dir.filePath(QStringLiteral("support/FaultErrCodes.txt"));
    QVERIFY(writeFile(path, "0A,\r\n0B,Eleven\r\n"));

    ScriptedPrompter prompter;
    const ProgramFolder folder(dir.path());
    QCOMPARE(faultDescriptionText(11, folder, prompter), QStringLiteral("Fault Code (0BH): Eleven"));
    QCOMPARE(faultDescriptionText(10, folder, prompter), QStringLiteral("Fault Code (0AH): "));
    QVERIFY(prompter.calls().isEmpty());
}

void TestCodeTables::faultFileMissing()
{
    QTemporaryDir dir;
    ScriptedPrompter prompter;
    const QString expected = QStringLiteral("Fault Code (0AH): ") + kNotFound;

    // No support folder at all.
    QCOMPARE(faultDescriptionText(10, ProgramFolder(dir.path()), prompter), expected);
    // The folder without the file; only the other table present.
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("support")));
    QVERIFY(writeFile(dir.filePath(QStringLiteral("support/CommErrCodes.txt")), "0A,Comm\r\n"));
    QCOMPARE(faultDescriptionText(10, ProgramFolder(dir.path()), prompter), expected);
    // A folder that carries the file's name is no file.
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("support/FaultErrCodes.txt")));
    QCOMPARE(faultDescriptionText(10, ProgramFolder(dir.path()), prompter), expected);
    QVERIFY(prompter.calls().isEmpty());
}

void TestCodeTables::faultFileFoundWhateverItsCase()
{
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("Support")));
    QVERIFY(writeFile(dir.filePath(QStringLiteral("Support/FAULTERRCODES.TXT")), "0A,Upper-case name\r\n"));
    ScriptedPrompter prompter;
    QCOMPARE(faultDescriptionText(10, ProgramFolder(dir.path()), prompter),
        QStringLiteral("Fault Code (0AH): Upper-case name"));
    QCOMPARE(faultCodeFilePath(ProgramFolder(dir.path())),
        dir.filePath(QStringLiteral("Support/FAULTERRCODES.TXT")));
}

void TestCodeTables::faultFileTooLarge()
{
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("support")));
    // A record that matches, followed by more than a code table may hold.
    QByteArray big = "0A,Ten\r\n";
    big.append(QByteArray(kMaxCodeTableSize, 'x'));
    QVERIFY(writeFile(dir.filePath(QStringLiteral("support/FaultErrCodes.txt")), big));

    ScriptedPrompter prompter;
    QCOMPARE(
        faultDescriptionText(10, ProgramFolder(dir.path()), prompter), QStringLiteral("Fault Code (0AH): "));
    QCOMPARE(prompter.calls().size(), 1);
    QCOMPARE(prompter.calls().at(0).text, QStringLiteral("Error Number = 7\r\n\r\nOut of memory"));

    // Exactly the limit is still read.
    QByteArray limit = "0A,Ten\r\n";
    limit.append(QByteArray(kMaxCodeTableSize - limit.size() - 2, 'x')).append(",y");
    QCOMPARE(limit.size(), kMaxCodeTableSize);
    QVERIFY(writeFile(dir.filePath(QStringLiteral("support/FaultErrCodes.txt")), limit));
    QCOMPARE(faultDescriptionText(10, ProgramFolder(dir.path()), prompter),
        QStringLiteral("Fault Code (0AH): Ten"));
    QCOMPARE(prompter.calls().size(), 1);
}

void TestCodeTables::lookupStatuses()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("codes.txt"));

    CodeLookup r = lookupCodeText(path, QStringLiteral("0A"));
    QCOMPARE(r.status, CodeLookup::Status::FileMissing);
    QVERIFY(!r.matched);

    r = lookupCodeText(QString(), QStringLiteral("0A"));
    QCOMPARE(r.status, CodeLookup::Status::FileMissing);

    QVERIFY(writeFile(path, "0A,\"Ten, with comma\"\r\n0B,Eleven\r\n"));
    r = lookupCodeText(path, QStringLiteral("0b"));
    QCOMPARE(r.status, CodeLookup::Status::Found);
    QVERIFY(r.matched);
    QCOMPARE(r.description, QStringLiteral("Eleven"));
    QCOMPARE(r.errorNumber, 0);

    r = lookupCodeText(path, QStringLiteral("0C"));
    QCOMPARE(r.status, CodeLookup::Status::NotFound);
    QVERIFY(r.description.isEmpty());

    QVERIFY(writeFile(path, "0A,Ten\r\n0B"));
    r = lookupCodeText(path, QStringLiteral("0B"));
    QCOMPARE(r.status, CodeLookup::Status::ReadError);
    QVERIFY(!r.matched);
    QCOMPARE(r.errorNumber, 62);
    QCOMPARE(r.errorDescription, QStringLiteral("Input past end of file"));
}

void TestCodeTables::lookupLastMatch()
{
    QBuffer buffer;
    buffer.setData("0A,One\r\n0B,Other\r\n0a,Two\r\n");
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    CodeLookup r = lookupCodeText(buffer, QStringLiteral("0A"), CodeMatch::Last);
    QCOMPARE(r.status, CodeLookup::Status::Found);
    QCOMPARE(r.description, QStringLiteral("Two"));
    buffer.close();

    // The whole file is read for the last match: a broken tail is an error,
    // and the match found before it is kept.
    buffer.setData("0A,One\r\n0B,Other\r\n0A");
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    r = lookupCodeText(buffer, QStringLiteral("0A"), CodeMatch::Last);
    QCOMPARE(r.status, CodeLookup::Status::ReadError);
    QCOMPARE(r.errorNumber, 62);
    QVERIFY(r.matched);
    QCOMPARE(r.description, QStringLiteral("One"));
    buffer.close();

    // The first match stops reading, so the same tail goes unnoticed.
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    r = lookupCodeText(buffer, QStringLiteral("0A"), CodeMatch::First);
    QCOMPARE(r.status, CodeLookup::Status::Found);
    QCOMPARE(r.description, QStringLiteral("One"));
}

void TestCodeTables::lookupDeviceFailure()
{
    FailingDevice device("0A,Ten\r\n0B,Eleven\r\n", 5);
    QVERIFY(device.open(QIODevice::ReadOnly));
    const CodeLookup r = lookupCodeText(device, QStringLiteral("0A"));
    QCOMPARE(r.status, CodeLookup::Status::ReadError);
    QCOMPARE(r.errorNumber, 57);
    QCOMPARE(r.errorDescription, QStringLiteral("Device I/O error"));
    QVERIFY(!r.matched);
}

void TestCodeTables::commErrorTable()
{
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("support")));
    const ProgramFolder folder(dir.path());
    QCOMPARE(commErrorCodeFilePath(folder), dir.filePath(QStringLiteral("support/CommErrCodes.txt")));
    QCOMPARE(lookupCodeText(commErrorCodeFilePath(folder), QStringLiteral("42")).status,
        CodeLookup::Status::FileMissing);
    QVERIFY(writeFile(dir.filePath(QStringLiteral("support/commerrcodes.txt")), "42,Link lost\r\n"));
    const CodeLookup r = lookupCodeText(commErrorCodeFilePath(folder), talvek::codeHexText(0x42));
    QCOMPARE(r.status, CodeLookup::Status::Found);
    QCOMPARE(r.description, QStringLiteral("Link lost"));
}

// The tables that ship beside the program: well-formed records (CR LF, upper-case
// codes of at least two digits, no duplicates, commas only inside quotes) and a
// text for every code from 00 to FF.
void TestCodeTables::shippedTables_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("required");
    QTest::newRow("fault codes") << QStringLiteral("FaultErrCodes.txt")
                                 << QStringList { QStringLiteral("01"), QStringLiteral("3F"),
                                        QStringLiteral("42"), QStringLiteral("45"), QStringLiteral("5C"),
                                        QStringLiteral("5D"), QStringLiteral("40"), QStringLiteral("7A") };
    QTest::newRow("comm error codes")
        << QStringLiteral("CommErrCodes.txt") << QStringList { QStringLiteral("42") };
}

void TestCodeTables::shippedTables()
{
    QFETCH(QString, name);
    QFETCH(QStringList, required);

    // dist/ lies two folders above this test's source.
    const QString path = QFINDTESTDATA(QStringLiteral("../../dist/support/") + name);
    QVERIFY2(!path.isEmpty(), qPrintable(name));
    QFile file(path);
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(path));
    const QByteArray bytes = file.readAll();
    file.close();
    QVERIFY(!bytes.isEmpty());
    QVERIFY2(bytes.endsWith("\r\n"), "last line ends with CR LF");
    QVERIFY2(bytes.count('\n') == bytes.count("\r\n"), "every line ends with CR LF");

    QStringList seen;
    for (const QByteArray& line : bytes.split('\n')) {
        if (line.isEmpty())
            continue;
        const qsizetype comma = line.indexOf(',');
        QVERIFY2(comma >= 2, line.constData());
        const QByteArray code = line.left(comma);
        QVERIFY2(code == code.toUpper(), line.constData());
        bool ok = false;
        code.toInt(&ok, 16);
        QVERIFY2(ok, line.constData());
        QVERIFY2(!seen.contains(QString::fromLatin1(code)), line.constData());
        seen.append(QString::fromLatin1(code));
        // A description with a comma must be quoted.
        const QByteArray description = line.mid(comma + 1).chopped(1);
        if (description.contains(','))
            QVERIFY2(description.startsWith('"') && description.endsWith('"'), line.constData());
    }
    // Every byte value has a text, so no panel is left showing the text of another code.
    for (int c = 0; c <= 0xFF; ++c)
        QVERIFY2(seen.contains(talvek::codeHexText(qint16(c))), qPrintable(talvek::codeHexText(qint16(c))));
    for (const QString& code : required) {
        const CodeLookup r = lookupCodeText(path, code);
        QVERIFY2(r.status == CodeLookup::Status::Found, qPrintable(code));
        QVERIFY2(r.description.size() > 10, qPrintable(code));
    }
}

QTEST_GUILESS_MAIN(TestCodeTables)
#include "tst_codetables.moc"
