// Selecting a program file set: derived names, board classes and their
// messages, the revision and configuration fields, hostile files.

#include "base/Clock.h"
#include "base/ProgramFolder.h"
#include "K7700Sim.h"
#include "link/RSComm.h"
#include "ScriptedPrompter.h"
#include "SimLink.h"
#include "SimPort.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

using namespace talvek;
using namespace talvek::test;

namespace {

struct Rig : SimLink
{
    RSComm& link = rs;

    QString path(const QString& name) const { return dir.filePath(name); }
    void write(const QString& name, const QByteArray& data) const
    {
        QFile f(path(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
        QCOMPARE(f.write(data), data.size());
    }
    // The messages shown, as "title|icon|text" with visible line breaks.
    QStringList shown() const
    {
        QStringList out;
        for (const PromptCall& c : prompter.messages())
            out << c.title + QLatin1Char('|') + QString::number(int(c.icon)) + QLatin1Char('|')
                    + visibleBreaks(c.text);
        return out;
    }
};

QString msg(const char* title, MsgIcon icon, const QString& text)
{
    return QString::fromLatin1(title) + QLatin1Char('|') + QString::number(int(icon)) + QLatin1Char('|')
        + text;
}

const char* kRevisionNotValid = "<path> Revision File is Not Valid<CRLF><CRLF>Program Downloaded Halted!";
const char* kConfigNotValid = "<path> Configuration File is Not Valid<CRLF><CRLF>Program Downloaded Halted!";

} // namespace

class TestProgramSet : public QObject
{
    Q_OBJECT

private slots:
    void derivedNames()
    {
        Rig r;
        // A set that is not there: the names are derived as text, extensions in lower case.
        r.link.setUploadFile(QStringLiteral("C:\\progs\\PRESS1.NVK"));
        const RSComm::ProgramSet& s = r.link.selectedProgram();
        QCOMPARE(s.programPath, QStringLiteral("C:\\progs\\PRESS1.nvk"));
        QCOMPARE(s.revisionPath, QStringLiteral("C:\\progs\\PRESS1.rev"));
        QCOMPARE(s.imagePath, QStringLiteral("C:\\progs\\PRESS1.hex"));
        QCOMPARE(s.configPath, QStringLiteral("C:\\progs\\PRESS1.lcf"));
        QVERIFY(r.prompter.messages().isEmpty());

        // On a case-sensitive file system the members are found in the case they exist in.
        r.write(QStringLiteral("PRESS1.NVK"), "D");
        r.write(QStringLiteral("PRESS1.REV"), "BODY1A0312");
        r.link.setDownloadFile(r.path(QStringLiteral("PRESS1.NVK")));
        QCOMPARE(s.programPath, r.path(QStringLiteral("PRESS1.NVK")));
        QCOMPARE(s.revisionPath, r.path(QStringLiteral("PRESS1.REV")));
        QCOMPARE(s.imagePath, r.path(QStringLiteral("PRESS1.hex")));
        QCOMPARE(s.configPath, r.path(QStringLiteral("PRESS1.lcf")));
        QVERIFY(r.link.ValidProgram());
        QCOMPARE(s.ident, QStringLiteral("BODY1A"));

        // The lower-case member wins where both exist; any chosen name gives its set.
        r.write(QStringLiteral("PRESS1.rev"), "LOWER0101");
        r.write(QStringLiteral("PRESS1.txt"), "D");
        r.link.setDownloadFile(r.path(QStringLiteral("PRESS1.txt")));
        QCOMPARE(s.revisionPath, r.path(QStringLiteral("PRESS1.rev")));
        QCOMPARE(s.ident, QStringLiteral("LOWER"));
        QVERIFY(r.prompter.messages().isEmpty());

        // A missing program file: no names change, no message, not valid.
        r.link.setDownloadFile(r.path(QStringLiteral("OTHER.nvk")));
        QVERIFY(!r.link.ValidProgram());
        QCOMPARE(s.revisionPath, r.path(QStringLiteral("PRESS1.rev")));
        // An empty one: names derived, nothing read, no message.
        r.write(QStringLiteral("EMPTY.nvk"), "");
        r.link.setDownloadFile(r.path(QStringLiteral("EMPTY.nvk")));
        QVERIFY(!r.link.ValidProgram());
        QCOMPARE(s.revisionPath, r.path(QStringLiteral("EMPTY.rev")));
        QVERIFY(r.prompter.messages().isEmpty());
        QCOMPARE(r.port.written(), QByteArray());
    }

    void boardClasses_data()
    {
        QTest::addColumn<QByteArray>("nvk");
        QTest::addColumn<bool>("withConfig");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<bool>("revisionRead");

        const QString pls = msg("PLS Program Download", MsgIcon::Information,
            QStringLiteral("PROG file is a PLS target board program.<CRLF>Open PLS program to "
                           "download to target board.<CRLF><CRLF>Program Downloaded Halted."));
        const QString incompatible = msg("Program Download", MsgIcon::Critical,
            QStringLiteral(
                "PROG file is incompatible with target board.<CRLF><CRLF>Program Downloaded Halted!"));
        const QString noConfig
            = msg("Program Download", MsgIcon::Exclamation, QString::fromLatin1(kConfigNotValid));

        for (const char c : QByteArray("7>?@CE"))
            QTest::newRow(QByteArray("PLS ").append(c).constData())
                << QByteArray(1, c) << true << QStringList { pls } << false << false;
        for (const char c : QByteArray("19F0a"))
            QTest::newRow(QByteArray("incompatible ").append(c).constData())
                << QByteArray(1, c) << true << QStringList { incompatible } << false << false;
        QTest::newRow("incompatible NUL")
            << QByteArray(1, '\0') << true << QStringList { incompatible } << false << false;
        for (const char c : QByteArray("23456BD"))
            QTest::newRow(QByteArray("no config needed ").append(c).constData())
                << QByteArray(1, c) << false << QStringList {} << true << true;
        for (const char c : QByteArray("8:;<=A")) {
            QTest::newRow(QByteArray("config ").append(c).constData())
                << QByteArray(1, c) << true << QStringList {} << true << true;
            QTest::newRow(QByteArray("config missing ").append(c).constData())
                << QByteArray(1, c) << false << QStringList { noConfig } << false << true;
        }
        // Only the first character of the first field counts.
        QTest::newRow("first field") << QByteArray("  \"D,x\",E\r\nE") << false << QStringList {} << true
                                     << true;
    }

    void boardClasses()
    {
        QFETCH(QByteArray, nvk);
        QFETCH(bool, withConfig);
        QFETCH(QStringList, messages);
        QFETCH(bool, valid);
        QFETCH(bool, revisionRead);

        Rig r;
        r.write(QStringLiteral("PROG.nvk"), nvk);
        r.write(QStringLiteral("PROG.rev"), "BODY1A0312");
        if (withConfig)
            r.write(QStringLiteral("PROG.lcf"), "0000000000000000000000000000000000000200710000%");
        r.link.setDownloadFile(r.path(QStringLiteral("PROG.nvk")));
        for (QString& m : messages)
            m.replace(QStringLiteral("<path>"), r.path(QStringLiteral("PROG.lcf")));
        QCOMPARE(r.shown(), messages);
        QCOMPARE(r.link.ValidProgram(), valid);
        const RSComm::ProgramSet& s = r.link.selectedProgram();
        QCOMPARE(s.boardCode, qint16(quint8(nvk.front() == ' ' ? 'D' : nvk.front())));
        QCOMPARE(s.boardName, RSComm::TargetboardName(s.boardCode));
        QCOMPARE(s.ident, revisionRead ? QStringLiteral("BODY1A") : QString());
    }

    void revisionField_data()
    {
        QTest::addColumn<QByteArray>("rev");
        QTest::addColumn<QString>("ident");
        QTest::addColumn<QString>("checksum");
        QTest::addColumn<QString>("revision");
        QTest::addColumn<QString>("fault"); // the run-time fault box, if any

        QTest::newRow("plain") << QByteArray("BODY1A0312") << "BODY1A"
                               << "3"
                               << "18" << QString();
        QTest::newRow("mark-hex") << QByteArray("XY<?0:") << "XY"
                                  << "207"
                                  << "10" << QString();
        QTest::newRow("two colons") << QByteArray("::::") << ""
                                    << "170"
                                    << "170" << QString();
        QTest::newRow("lower-case hex") << QByteArray("ab0aff\r\nrest") << "ab"
                                        << "10"
                                        << "255" << QString();
        QTest::newRow("quoted, blanks") << QByteArray("  \" A,B 0102\" , x") << " A,B "
                                        << "1"
                                        << "2" << QString();
        QTest::newRow("nul in ident") << QByteArray("PR\0\x01"
                                                    "0102",
            8) << QString::fromLatin1("PR\0\x01", 4)
                                      << "1"
                                      << "2" << QString();
        QTest::newRow("Latin-1 ident")
            << QByteArray("\xB0\xE9ZZ0102") << QString::fromLatin1("\xB0\xE9ZZ") << "1"
            << "2" << QString();
        const QString unknown = QStringLiteral("Unknown");
        QTest::newRow("too short") << QByteArray("A12") << unknown << unknown << unknown
                                   << "Error Number = 5<CRLF><CRLF>Invalid procedure call or argument";
        QTest::newRow("bad digit") << QByteArray("BODY1G12") << unknown << unknown << unknown
                                   << "Error Number = 13<CRLF><CRLF>Type mismatch";
        QTest::newRow("sign") << QByteArray("BODY-112") << unknown << unknown << unknown
                              << "Error Number = 13<CRLF><CRLF>Type mismatch";
        QTest::newRow("blank line only") << QByteArray("\r\n  \r\n") << unknown << unknown << unknown
                                         << "Error Number = 62<CRLF><CRLF>Input past end of file";
        QTest::newRow("empty") << QByteArray() << unknown << unknown << unknown << QString();
        QTest::newRow("missing") << QByteArray("<missing>") << unknown << unknown << unknown << QString();
    }

    void revisionField()
    {
        QFETCH(QByteArray, rev);
        QFETCH(QString, ident);
        QFETCH(QString, checksum);
        QFETCH(QString, revision);
        QFETCH(QString, fault);

        Rig r;
        r.write(QStringLiteral("P.nvk"), "D");
        if (rev != "<missing>")
            r.write(QStringLiteral("P.rev"), rev);
        r.link.setDownloadFile(r.path(QStringLiteral("P.nvk")));
        const RSComm::ProgramSet& s = r.link.selectedProgram();
        QCOMPARE(s.ident, ident);
        QCOMPARE(s.checksum, checksum);
        QCOMPARE(s.revision, revision);

        const bool ok = ident != QLatin1String("Unknown");
        QCOMPARE(r.link.ValidProgram(), ok);
        QStringList expected;
        if (!fault.isEmpty())
            expected << msg("RSComm-Set Program Ident", MsgIcon::Critical, fault);
        if (!ok)
            expected << msg("Program Download", MsgIcon::Exclamation, QString::fromLatin1(kRevisionNotValid))
                            .replace(QStringLiteral("<path>"), r.path(QStringLiteral("P.rev")));
        QCOMPARE(r.shown(), expected);
    }

    void configDigits_data()
    {
        QTest::addColumn<QByteArray>("lcf");
        QTest::addColumn<QList<int>>("digits"); // A, B, C; empty: not valid
        const QByteArray zeros(34, '0');
        QTest::newRow("written by the upload") << "E" + zeros + "20072000%" << QList<int> { 2, 7, 2 };
        QTest::newRow("uploaded, digits 1 0 3") << "G" + zeros + "10003000%" << QList<int> { 1, 0, 3 };
        QTest::newRow("39 characters") << "E" + zeros + "2007" << QList<int> { 2, 7, 0 };
        QTest::newRow("35 characters") << "E" + zeros << QList<int> { 0, 0, 0 };
        QTest::newRow("not digits") << "E" + zeros + ":00-?000%" << QList<int> { 0, 0, 0 };
        QTest::newRow("superscript") << "E" + zeros
                + "\xB2"
                  "00\xB9\xB3" << QList<int> { 0, 0, 0 };
        QTest::newRow("field ends at comma") << "E" + zeros + "2,07" << QList<int> { 2, 0, 0 };
        QTest::newRow("empty file") << QByteArray() << QList<int> {};
        QTest::newRow("missing") << QByteArray("<missing>") << QList<int> {};
    }

    void configDigits()
    {
        QFETCH(QByteArray, lcf);
        QFETCH(QList<int>, digits);

        Rig r;
        r.write(QStringLiteral("P.nvk"), "A");
        r.write(QStringLiteral("P.rev"), "ID0101");
        if (lcf != "<missing>")
            r.write(QStringLiteral("P.lcf"), lcf);
        r.link.setDownloadFile(r.path(QStringLiteral("P.nvk")));
        const RSComm::ProgramSet& s = r.link.selectedProgram();
        const QList<int> got { s.configA, s.configB, s.configC };
        const QList<int> expected = digits.isEmpty() ? QList<int> { 3, 0, 3 } : digits;
        QCOMPARE(got, expected);
        QCOMPARE(r.link.ValidProgram(), !digits.isEmpty());
        QCOMPARE(r.shown().size(), digits.isEmpty() ? 1 : 0);
    }

    void badRevisionIsNotUndoneByGoodConfig()
    {
        Rig r;
        r.write(QStringLiteral("P.nvk"), "8");
        r.write(QStringLiteral("P.lcf"), QByteArray(44, '1'));
        r.link.setDownloadFile(r.path(QStringLiteral("P.nvk")));
        QVERIFY(!r.link.ValidProgram());
        QCOMPARE(r.shown(),
            QStringList { msg("Program Download", MsgIcon::Exclamation,
                QString::fromLatin1(kRevisionNotValid)
                    .replace(QStringLiteral("<path>"), r.path(QStringLiteral("P.rev")))) });
        QCOMPARE(r.link.selectedProgram().configB, qint16(1));

        // Each assignment starts from "not valid", and a good set becomes valid again.
        r.write(QStringLiteral("P.rev"), "OK0101");
        r.link.setDownloadFile(r.path(QStringLiteral("P.nvk")));
        QVERIFY(r.link.ValidProgram());
        r.write(QStringLiteral("P.nvk"), "E");
        r.link.setDownloadFile(r.path(QStringLiteral("P.nvk")));
        QVERIFY(!r.link.ValidProgram());
    }

    void hostileProgramFiles_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("message");
        QTest::newRow("empty first field")
            << "comma"
            << "Error Number = 5<CRLF><CRLF>Invalid procedure call or argument";
        QTest::newRow("only line ends") << "blank"
                                        << "Error Number = 62<CRLF><CRLF>Input past end of file";
        QTest::newRow("a folder") << "folder"
                                  << "Error Number = 75<CRLF><CRLF>Path/File access error: cannot read "
                                     "<nvk> (not a file)";
#ifdef Q_OS_UNIX
        QTest::newRow("a pipe") << "fifo"
                                << "Error Number = 75<CRLF><CRLF>Path/File access error: cannot read "
                                   "<nvk> (not a file)";
#endif
        QTest::newRow("huge, one line") << "huge" << QString();
        QTest::newRow("binary") << "binary" << QString();
    }

    void hostileProgramFiles()
    {
        QFETCH(QString, kind);
        QFETCH(QString, message);

        Rig r;
        const QString nvk = r.path(QStringLiteral("H.nvk"));
        r.write(QStringLiteral("H.rev"), "ID0101");
        if (kind == QLatin1String("comma"))
            r.write(QStringLiteral("H.nvk"), ",D");
        else if (kind == QLatin1String("blank"))
            r.write(QStringLiteral("H.nvk"), "\r\n \t\r\n");
        else if (kind == QLatin1String("folder"))
            QVERIFY(QDir().mkdir(nvk));
#ifdef Q_OS_UNIX
        else if (kind == QLatin1String("fifo"))
            QCOMPARE(::mkfifo(QFile::encodeName(nvk).constData(), 0600), 0);
#endif
        else if (kind == QLatin1String("huge"))
            r.write(QStringLiteral("H.nvk"), QByteArray(8 * 1024 * 1024, 'D'));
        else
            r.write(QStringLiteral("H.nvk"), QByteArray("D\0\xFF\x1A\x80", 5).repeated(1000));

        r.link.setDownloadFile(nvk);
        if (message.isEmpty()) {
            QVERIFY(r.link.ValidProgram());
            QCOMPARE(r.link.selectedProgram().boardCode, qint16('D'));
            QVERIFY(r.shown().isEmpty());
        } else {
            QVERIFY(!r.link.ValidProgram());
            QCOMPARE(r.shown(),
                QStringList { msg("RSComm-Download File", MsgIcon::Information, message)
                                  .replace(QStringLiteral("<nvk>"), nvk) });
        }

        // The upload's selection reads the same way, under its own title.
        r.prompter.clear();
        r.link.setUploadFile(nvk);
        if (!message.isEmpty())
            QCOMPARE(r.shown(),
                QStringList { msg("RSComm UploadFile", MsgIcon::Information, message)
                                  .replace(QStringLiteral("<nvk>"), nvk) });
    }

    void uploadFileReadsOnlyTheBoard()
    {
        Rig r;
        r.write(QStringLiteral("P.nvk"), "D");
        r.write(QStringLiteral("P.rev"), "ID0101");
        r.link.setDownloadFile(r.path(QStringLiteral("P.nvk")));
        QVERIFY(r.link.ValidProgram());

        // A PLS program: no classification, no message, the valid flag stays.
        r.write(QStringLiteral("U.nvk"), "E");
        r.link.setUploadFile(r.path(QStringLiteral("U.nvk")));
        const RSComm::ProgramSet& s = r.link.selectedProgram();
        QCOMPARE(s.boardCode, qint16('E'));
        QCOMPARE(s.boardName, QStringLiteral("K7700(PLS)"));
        QCOMPARE(s.revisionPath, r.path(QStringLiteral("U.rev")));
        QCOMPARE(s.ident, QStringLiteral("ID")); // the revision file is not read
        QVERIFY(r.link.ValidProgram());
        QVERIFY(r.shown().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestProgramSet)
#include "tst_programset.moc"
