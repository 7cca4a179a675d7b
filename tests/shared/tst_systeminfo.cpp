// "System Info": the registry lookup of the system information program, what
// is shown when there is none, and the report of this installation.

#include "ScriptedPrompter.h"
#include "base/ProgramFolder.h"
#include "link/QtSerialPortControl.h"
#include "link/SerialDevices.h"
#include "shared/SystemInfo.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <map>

using namespace talvek;
using namespace talvek::test;

namespace {

// A registry that holds what the test puts in it.
class FakeRegistry final : public RegistryReader
{
public:
    std::map<QString, QString> values; // "key|value" -> text
    QStringList asked;

    std::optional<QString> GetKeyValue(RegistryRoot root, const QString& key, const QString& value) override
    {
        asked << key + QLatin1Char('|') + value;
        if (root != RegistryRoot::LocalMachine)
            return std::nullopt;
        const auto it = values.find(key + QLatin1Char('|') + value);
        if (it == values.end())
            return std::nullopt;
        return it->second;
    }
};

const QString kMsinfoKey = QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO|PATH");
const QString kLocationKey = QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools Location|MSINFO");
const QString kUnavailable = QStringLiteral("System Information Is Unavailable At This Time");

} // namespace

class tst_SystemInfo : public QObject
{
    Q_OBJECT

private slots:
    void registryValueText_data();
    void registryValueText();
    void systemInfo_data();
    void systemInfo();
    void systemRegistryFindsNothingHere();
    void systemInfoReport();
    void portAdviceForEachOwnerGroupAndMode_data();
    void portAdviceForEachOwnerGroupAndMode();
    void portAdviceIsTheOpenErrorsText();
};

void tst_SystemInfo::portAdviceForEachOwnerGroupAndMode_data()
{
    QTest::addColumn<QString>("owner");
    QTest::addColumn<QString>("group");
    QTest::addColumn<uint>("mode");
    QTest::addColumn<QStringList>("session"); // the groups the session has
    QTest::addColumn<QStringList>("member"); // the groups the user is listed in
    QTest::addColumn<bool>("accessible");
    QTest::addColumn<int>("verdict");
    QTest::addColumn<QString>("summary");

    using V = PortAdvice::Verdict;
    const QStringList none;
    const QStringList dialout { QStringLiteral("op1"), QStringLiteral("dialout") };
    QTest::newRow("usable") << "root"
                            << "dialout" << 0660u << dialout << dialout << true << int(V::Usable)
                            << "usable by op1";
    QTest::newRow("660 dialout, not in it")
        << "root"
        << "dialout" << 0660u << QStringList { "op1" } << QStringList { "op1" } << false << int(V::JoinGroup)
        << "not usable: op1 is not in the group \"dialout\" (sudo usermod -aG dialout op1, then log in "
           "again)";
    QTest::newRow("660 dialout, joined since logging in")
        << "root"
        << "dialout" << 0660u << QStringList { "op1" } << dialout << false << int(V::LogInAgain)
        << "not usable yet: op1 has joined the group \"dialout\" since logging in; log out and log in again";
    QTest::newRow("660 dialout, in it, refused")
        << "root"
        << "dialout" << 0660u << dialout << dialout << false << int(V::Refused)
        << "not usable: its permission bits let this user in, yet something else refuses";
    // Root only: joining root (or dialout, which does not own it) opens nothing.
    QTest::newRow("600 root:root, in dialout") << "root"
                                               << "root" << 0600u << dialout << dialout << false
                                               << int(V::OnlyRoot) << "not usable: only root can use it";
    QTest::newRow("600 root:root") << "root"
                                   << "root" << 0600u << none << none << false << int(V::OnlyRoot)
                                   << "not usable: only root can use it";
    QTest::newRow("640 dialout: the group may only read")
        << "root"
        << "dialout" << 0640u << none << none << false << int(V::OnlyRoot)
        << "not usable: only root can use it";
    QTest::newRow("660 wheel") << "root"
                               << "wheel" << 0660u << none << none << false << int(V::OnlyRoot)
                               << "not usable: only root can use it";
    QTest::newRow("600 bob:bob") << "bob"
                                 << "bob" << 0600u << none << none << false << int(V::OnlyRoot)
                                 << "not usable: only root and the user \"bob\" can use it";
    QTest::newRow("666 refused")
        << "root"
        << "dialout" << 0666u << none << none << false << int(V::Refused)
        << "not usable: its permission bits let this user in, yet something else refuses";
    QTest::newRow("600 op1's own, refused")
        << "op1"
        << "op1" << 0600u << none << none << false << int(V::Refused)
        << "not usable: its permission bits let this user in, yet something else refuses";
}

void tst_SystemInfo::portAdviceForEachOwnerGroupAndMode()
{
    QFETCH(QString, owner);
    QFETCH(QString, group);
    QFETCH(uint, mode);
    QFETCH(QStringList, session);
    QFETCH(QStringList, member);
    QFETCH(bool, accessible);
    QFETCH(int, verdict);
    QFETCH(QString, summary);
    const PortUser user { QStringLiteral("op1"), session, member };
    const PortAdvice a = portAdvice(QStringLiteral("/dev/ttyS0"), 1, { owner, group, mode }, user, accessible,
        QStringLiteral("/usr/lib/udev/rules.d/99-talvek-serial.rules"));
    QCOMPARE(int(a.verdict), verdict);
    QCOMPARE(a.summary, summary);
    // Never a group the user is in, never one whose bits do not open the
    // device, never running as root.
    const QString text = a.summary + QLatin1Char('\n') + a.text;
    for (const QString& g : session)
        QVERIFY2(!text.contains(QStringLiteral("usermod -aG %1 ").arg(g)), qPrintable(text));
    if ((mode & 060) != 060 || group == QLatin1String("wheel"))
        QVERIFY2(!text.contains(QStringLiteral("usermod")), qPrintable(text));
    QVERIFY(!text.contains(QStringLiteral("sudo talvek")));
    if (a.verdict == PortAdvice::Verdict::Usable)
        QVERIFY(a.text.isEmpty());
    else
        QVERIFY2(a.text.startsWith(QStringLiteral("Permission denied: "))
                && a.text.contains(QStringLiteral("/dev/ttyS0 (COM1)")),
            qPrintable(a.text));
}

// The error of a port that cannot be opened (what talvek-cli prints and the
// program shows) is the advice the system information summarises.
void tst_SystemInfo::portAdviceIsTheOpenErrorsText()
{
    const PortUser user { QStringLiteral("op1"), { QStringLiteral("op1"), QStringLiteral("dialout") },
        { QStringLiteral("op1"), QStringLiteral("dialout") } };
    const DeviceOwnership rootOnly { QStringLiteral("root"), QStringLiteral("root"), 0600 };
    const QString rule = QStringLiteral("/usr/lib/udev/rules.d/99-talvek-serial.rules");
    const QString text
        = QtSerialPortControl::permissionMessage(QStringLiteral("/dev/ttyS0"), 1, rootOnly, user, rule);
    QCOMPARE(text, portAdvice(QStringLiteral("/dev/ttyS0"), 1, rootOnly, user, false, rule).text);
    QCOMPARE(text,
        QStringLiteral(
            "Permission denied: only root can use the serial device /dev/ttyS0 (COM1): it belongs to "
            "the user \"root\" and the group \"root\" with mode 600, which lets no group read and "
            "write it.\r\n"
            "Serial devices belong to the group \"dialout\", which may read and write them (mode "
            "660). The udev rule /usr/lib/udev/rules.d/99-talvek-serial.rules, installed with TALVEK, "
            "gives serial ports and USB serial adapters to that group as they appear: unplug the "
            "adapter and plug it in again, or restart the computer.\r\n"
            "This user is in \"dialout\" already: once the device belongs to that group, TALVEK can "
            "use it. Do not run TALVEK as root to get around this."));
}

void tst_SystemInfo::registryValueText_data()
{
    QTest::addColumn<quint32>("type");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QString>("expected");
    const auto utf16 = [](const char16_t* s, int chars) {
        return QByteArray(reinterpret_cast<const char*>(s), chars * 2);
    };
    QTest::newRow("string with final NUL") << kRegString << utf16(u"C:\\MSINFO\0", 10) << "C:\\MSINFO";
    QTest::newRow("string without NUL") << kRegString << utf16(u"abc", 3) << "abc";
    QTest::newRow("empty string") << kRegString << utf16(u"\0", 1) << "";
    QTest::newRow("double word") << kRegDword << QByteArray("\x05\x01\x00\x00", 4) << "261";
    QTest::newRow("double word, large") << kRegDword << QByteArray("\x78\x56\x34\x12", 4) << "305419896";
    QTest::newRow("other type") << quint32(3) << QByteArray("\x01\x02", 2) << "";
}

void tst_SystemInfo::registryValueText()
{
    QFETCH(quint32, type);
    QFETCH(QByteArray, data);
    QFETCH(QString, expected);
    QCOMPARE(talvek::registryValueText(type, data), expected);
}

void tst_SystemInfo::systemInfo_data()
{
    QTest::addColumn<QString>("path"); // PATH value ("" none)
    QTest::addColumn<QString>("location"); // "<dir>": the temporary folder; "" none
    QTest::addColumn<bool>("exeExists");
    QTest::addColumn<bool>("startWorks");
    QTest::addColumn<QString>("started"); // "" nothing; "<exe>" the folder's program
    QTest::newRow("PATH value") << "C:\\Tools\\msinfo32.exe"
                                << "" << false << true << "C:\\Tools\\msinfo32.exe";
    QTest::newRow("PATH wins over location") << "C:\\A.exe"
                                             << "<dir>" << true << true << "C:\\A.exe";
    QTest::newRow("location with program") << ""
                                           << "<dir>" << true << true << "<exe>";
    QTest::newRow("location without program") << ""
                                              << "<dir>" << false << true << "";
    QTest::newRow("nothing in the registry") << ""
                                             << "" << false << true << "";
    QTest::newRow("program does not start") << "C:\\A.exe"
                                            << "" << false << false << "C:\\A.exe";
}

void tst_SystemInfo::systemInfo()
{
    QFETCH(QString, path);
    QFETCH(QString, location);
    QFETCH(bool, exeExists);
    QFETCH(bool, startWorks);
    QFETCH(QString, started);
    QTemporaryDir dir;
    FakeRegistry registry;
    if (!path.isEmpty())
        registry.values[kMsinfoKey] = path;
    if (location == QLatin1String("<dir>"))
        registry.values[kLocationKey] = dir.path();
    if (exeExists) {
        QFile exe(dir.filePath(QStringLiteral("MSINFO32.EXE")));
        QVERIFY(exe.open(QIODevice::WriteOnly));
    }
    QStringList starts;
    const ProgramStarter starter = [&](const QString& program) {
        starts << program;
        return startWorks;
    };
    ScriptedPrompter prompter;
    startSystemInfo(registry, starter, prompter);

    const QString expected
        = started == QLatin1String("<exe>") ? dir.path() + QStringLiteral("\\MSINFO32.EXE") : started;
    QCOMPARE(starts, expected.isEmpty() ? QStringList {} : QStringList { expected });
    const bool unavailable = expected.isEmpty() || !startWorks;
    QCOMPARE(prompter.calls().size(), unavailable ? 1 : 0);
    if (unavailable) {
        QCOMPARE(prompter.calls()[0].text, kUnavailable);
        QCOMPARE(prompter.calls()[0].title, QStringLiteral("TALVEK"));
        QCOMPARE(prompter.calls()[0].buttons, MsgButtons::OK);
    }
    QCOMPARE(registry.asked.first(), kMsinfoKey);
}

void tst_SystemInfo::systemRegistryFindsNothingHere()
{
#ifdef Q_OS_WIN
    QSKIP("The real registry answers on Windows.");
#else
    SystemRegistry registry;
    QCOMPARE(registry.GetKeyValue(RegistryRoot::LocalMachine,
                 QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO"), QStringLiteral("PATH")),
        std::nullopt);
    ScriptedPrompter prompter;
    bool startedAnything = false;
    startSystemInfo(
        registry, [&](const QString&) { return startedAnything = true; }, prompter);
    QVERIFY(!startedAnything);
    QCOMPARE(prompter.calls().size(), 1);
    QCOMPARE(prompter.calls()[0].text, kUnavailable);
#endif
}

void tst_SystemInfo::systemInfoReport()
{
    // No system information program: the report is shown instead of the
    // message, which stays for when there is no report either.
    FakeRegistry registry;
    ScriptedPrompter prompter;
    int shown = 0;
    startSystemInfo(registry, detachedProgramStarter(), prompter, [&] { return ++shown > 0; });
    QCOMPARE(shown, 1);
    QCOMPARE(prompter.calls().size(), 0);
    startSystemInfo(registry, detachedProgramStarter(), prompter, [] { return false; });
    QCOMPARE(prompter.calls().size(), 1);
    QCOMPARE(prompter.calls()[0].text, kUnavailable);

    // An installed copy: help shipped, one code table lost, the user's settings.
    QTemporaryDir tmp;
    const QString share = tmp.filePath(QStringLiteral("share/talvek"));
    const QString config = tmp.filePath(QStringLiteral("config/TALVEK"));
    const auto write = [](const QString& path, const QByteArray& bytes) {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    };
    write(share + QStringLiteral("/Help/TALVEK.html"), "<html/>");
    write(share + QStringLiteral("/support/FaultErrCodes.txt"), "0,x\r\n");
    write(config + QStringLiteral("/support/RSPort.cfg"), "65, 19200 \r\n");
    const QString node = tmp.filePath(QStringLiteral("ttyFAKE0"));
    write(node, {});
    QVERIFY(QFile::setPermissions(node,
        QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser | QFile::ReadGroup
            | QFile::WriteGroup));
    const ProgramFolder folder
        = ProgramFolder::installed(tmp.filePath(QStringLiteral("bin")), { share }, config, tmp.path());
    QtSerialPortControl port(folder);
    SerialDeviceInfo adapter { node, QStringLiteral("/dev/serial/by-id/usb-FTDI_FT232R_A10K1-if00-port0"),
        QStringLiteral("FT232R USB UART"), QStringLiteral("FTDI"), QStringLiteral("A10K1") };
    SerialDeviceInfo plain { QStringLiteral("/dev/ttyS0"), {}, {}, {}, {} };

    const QStringList lines
        = talvek::systemInfoReport(folder, &port, { adapter, plain }).split(QLatin1Char('\n'));
    const QStringList tail = lines.mid(
        lines.indexOf(QStringLiteral("Program: %1 (installed)").arg(tmp.filePath(QStringLiteral("bin")))));
    QVERIFY2(tail.size() > 10, qPrintable(lines.join(QLatin1Char('\n'))));
    QCOMPARE(tail.mid(0, 9),
        QStringList({ QStringLiteral("Program: %1 (installed)").arg(tmp.filePath(QStringLiteral("bin"))),
            QStringLiteral("Program files: %1").arg(share), QStringLiteral("Settings folder: %1").arg(config),
            QStringLiteral("Help: %1/Help/TALVEK.html (found)").arg(share),
            QStringLiteral("Fault codes: %1/support/FaultErrCodes.txt (found)").arg(share),
            QStringLiteral("Communication error codes: %1/support/CommErrCodes.txt (MISSING)").arg(config),
            QString(),
            QStringLiteral("Port settings in force: COM65 at 19200 baud (%1/support/RSPort.cfg)").arg(config),
            QStringLiteral("Port 65 means: /dev/ttyACM0 (%1)")
                .arg(QFileInfo::exists(QStringLiteral("/dev/ttyACM0"))
                        ? QStringLiteral("present, usable by %1").arg(currentUserName())
                        : QStringLiteral("not present")) }));
    const int devices = int(lines.indexOf(QStringLiteral("Serial devices present:")));
    QVERIFY(devices > 0);
    QCOMPARE(
        lines.at(devices + 1), QStringLiteral("  %1: FT232R USB UART, FTDI, serial number A10K1").arg(node));
    QCOMPARE(
        lines.at(devices + 2), QStringLiteral("    also /dev/serial/by-id/usb-FTDI_FT232R_A10K1-if00-port0"));
    // The file stands in for a device node: who owns it, and the advice.
    const QFileInfo nodeInfo(node);
    QCOMPARE(lines.at(devices + 3),
        QStringLiteral("    user %1, group %2, mode 660; usable by %3")
            .arg(nodeInfo.owner(), nodeInfo.group(), currentUserName()));
    QCOMPARE(lines.at(devices + 4), QStringLiteral("  /dev/ttyS0"));

    // A port linked to a serial device server is no device to look for.
    QVERIFY(QDir().mkpath(config + QStringLiteral("/support/ports")));
    QVERIFY(QFile::link(QStringLiteral("socket://10.0.0.9:2001"), config + QStringLiteral("/support/ports/COM65")));
    const QStringList networked = talvek::systemInfoReport(folder, &port, {}).split(QLatin1Char('\n'));
    QVERIFY2(networked.contains(
                 QStringLiteral("Port 65 means: the network port socket://10.0.0.9:2001 of a serial device server")),
        qPrintable(networked.join(QLatin1Char('\n'))));
}

QTEST_GUILESS_MAIN(tst_SystemInfo)
#include "tst_systeminfo.moc"
