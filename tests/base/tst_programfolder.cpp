// The program folder: a portable copy reads and writes beside the program; an
// installed copy reads the configuration folder first, then its own read-only
// files, and writes only to the configuration folder.

#include "base/ProgramFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace talvek;

namespace {

void touch(const QString& path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
}

} // namespace

class tst_ProgramFolder final : public QObject
{
    Q_OBJECT

private slots:
    void portableCopy();
    void installedCopyReadsConfigThenData();
    void portableDetection();
    void settingsInAnotherFolder();
    void oneUserFolderForEveryProgram();
    void shippedUdevRule();
};

void tst_ProgramFolder::portableCopy()
{
    QTemporaryDir dir;
    touch(dir.filePath(QStringLiteral("Support/RSPort.cfg")));
    const ProgramFolder folder(dir.path());
    QVERIFY(folder.isPortable());
    // The folder as it exists, whatever the case asked for; missing parts as asked.
    QCOMPARE(folder.resolve(QStringLiteral("support/RSPort.cfg")),
        dir.filePath(QStringLiteral("Support/RSPort.cfg")));
    QCOMPARE(folder.resolve(QStringLiteral("\\support\\rsport.CFG")),
        dir.filePath(QStringLiteral("Support/RSPort.cfg")));
    QCOMPARE(folder.resolve(QStringLiteral("support/ports/COM1")),
        dir.filePath(QStringLiteral("Support/ports/COM1")));
    QCOMPARE(folder.writablePath(QStringLiteral("support/RSPort.cfg")),
        dir.filePath(QStringLiteral("Support/RSPort.cfg")));
    QCOMPARE(folder.configDir(), dir.path());
    QCOMPARE(folder.documentsDir(), dir.path());
}

void tst_ProgramFolder::installedCopyReadsConfigThenData()
{
    QTemporaryDir tmp;
    const QString config = tmp.filePath(QStringLiteral("home/.config/TALVEK"));
    const QString share = tmp.filePath(QStringLiteral("usr/share/talvek"));
    const QString local = tmp.filePath(QStringLiteral("usr/local/share/talvek"));
    touch(share + QStringLiteral("/support/FaultErrCodes.txt"));
    touch(share + QStringLiteral("/support/RSPort.cfg")); // a site default
    touch(local + QStringLiteral("/Help/TALVEK.html"));
    touch(share + QStringLiteral("/Help/TALVEK.html"));
    const ProgramFolder folder = ProgramFolder::installed(tmp.filePath(QStringLiteral("usr/bin")),
        { share, local }, config, tmp.filePath(QStringLiteral("home/Documents")));
    QVERIFY(!folder.isPortable());

    // Read-only files from the data folders, the first that holds them.
    QCOMPARE(folder.resolve(QStringLiteral("support/FaultErrCodes.txt")),
        share + QStringLiteral("/support/FaultErrCodes.txt"));
    QCOMPARE(folder.resolve(QStringLiteral("Help/TALVEK.html")), share + QStringLiteral("/Help/TALVEK.html"));
    QCOMPARE(
        folder.resolve(QStringLiteral("support/RSPort.cfg")), share + QStringLiteral("/support/RSPort.cfg"));
    // Files nobody has go where they would be written.
    QCOMPARE(
        folder.resolve(QStringLiteral("support/ports/COM1")), config + QStringLiteral("/support/ports/COM1"));
    QCOMPARE(folder.writablePath(QStringLiteral("support/RSPort.cfg")),
        config + QStringLiteral("/support/RSPort.cfg"));

    // The user's own copy comes first; a dangling link (an unplugged adapter) counts.
    touch(config + QStringLiteral("/SUPPORT/RSPort.cfg"));
    QCOMPARE(
        folder.resolve(QStringLiteral("support/RSPort.cfg")), config + QStringLiteral("/SUPPORT/RSPort.cfg"));
    QCOMPARE(folder.writablePath(QStringLiteral("support/RSPort.cfg")),
        config + QStringLiteral("/SUPPORT/RSPort.cfg"));
    QDir().mkpath(share + QStringLiteral("/support/ports"));
    QVERIFY(QFile::link(QStringLiteral("/dev/ttyUSB0"), share + QStringLiteral("/support/ports/COM40")));
    QDir().mkpath(config + QStringLiteral("/SUPPORT/ports"));
    QVERIFY(
        QFile::link(tmp.filePath(QStringLiteral("gone")), config + QStringLiteral("/SUPPORT/ports/COM40")));
    QCOMPARE(folder.resolve(QStringLiteral("support/ports/COM40")),
        config + QStringLiteral("/SUPPORT/ports/COM40"));
    QCOMPARE(folder.documentsDir(), tmp.filePath(QStringLiteral("home/Documents")));
}

void tst_ProgramFolder::portableDetection()
{
    QTemporaryDir dir;
    QVERIFY(!ProgramFolder::holdsPortableCopy(dir.path())); // no support folder
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("Support")));
    QVERIFY(ProgramFolder::holdsPortableCopy(dir.path()));
    QVERIFY(!ProgramFolder::holdsPortableCopy(dir.filePath(QStringLiteral("missing"))));
}

void tst_ProgramFolder::settingsInAnotherFolder()
{
    // talvek-cli --program-folder DIR: the settings of DIR, the code tables
    // of the running program when DIR has none.
    QTemporaryDir tmp;
    const QString share = tmp.filePath(QStringLiteral("usr/share/talvek"));
    const QString config = tmp.filePath(QStringLiteral("home/.config/TALVEK"));
    const QString other = tmp.filePath(QStringLiteral("press2"));
    touch(share + QStringLiteral("/support/FaultErrCodes.txt"));
    touch(share + QStringLiteral("/support/CommErrCodes.txt"));
    touch(other + QStringLiteral("/Support/RSPort.cfg"));
    touch(other + QStringLiteral("/Support/CommErrCodes.txt")); // a table of its own
    ProgramFolder installed = ProgramFolder::installed(
        tmp.filePath(QStringLiteral("usr/bin")), { share }, config, tmp.filePath(QStringLiteral("home")));
    installed.setSettingsReadOnly(true);

    const ProgramFolder folder = installed.withSettingsIn(other);
    QVERIFY(!folder.isPortable());
    QVERIFY(folder.settingsReadOnly());
    QCOMPARE(folder.configDir(), other);
    QCOMPARE(
        folder.resolve(QStringLiteral("support/RSPort.cfg")), other + QStringLiteral("/Support/RSPort.cfg"));
    QCOMPARE(
        folder.resolve(QStringLiteral("support/ports/COM3")), other + QStringLiteral("/Support/ports/COM3"));
    QCOMPARE(folder.resolve(QStringLiteral("support/FaultErrCodes.txt")),
        share + QStringLiteral("/support/FaultErrCodes.txt"));
    QCOMPARE(folder.resolve(QStringLiteral("support/CommErrCodes.txt")),
        other + QStringLiteral("/Support/CommErrCodes.txt"));
    QCOMPARE(folder.writablePath(QStringLiteral("support/RSPort.cfg")),
        other + QStringLiteral("/Support/RSPort.cfg"));

    // From a portable copy: its own folder holds the tables.
    const QString portable = tmp.filePath(QStringLiteral("portable"));
    touch(portable + QStringLiteral("/support/FaultErrCodes.txt"));
    const ProgramFolder fromPortable = ProgramFolder(portable).withSettingsIn(other);
    QVERIFY(!fromPortable.settingsReadOnly());
    QCOMPARE(fromPortable.resolve(QStringLiteral("support/FaultErrCodes.txt")),
        portable + QStringLiteral("/support/FaultErrCodes.txt"));
    QCOMPARE(fromPortable.resolve(QStringLiteral("support/RSPort.cfg")),
        other + QStringLiteral("/Support/RSPort.cfg"));
}

void tst_ProgramFolder::oneUserFolderForEveryProgram()
{
    // The per-user folder is TALVEK's whichever program asks: talvek-cli and
    // TALVEK keep one set of settings.
    QStandardPaths::setTestModeEnabled(true);
    const QString expected
        = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/TALVEK");
    for (const QString& name : { QStringLiteral("TALVEK"), QStringLiteral("talvek-cli") }) {
        QCoreApplication::setApplicationName(name);
        QCOMPARE(ProgramFolder::userConfigDir(), expected);
    }
    QStandardPaths::setTestModeEnabled(false);
}

void tst_ProgramFolder::shippedUdevRule()
{
    const QString rule = QStringLiteral("99-talvek-serial.rules");
    QTemporaryDir tmp;
    // None beside the folder nor beside this test program.
    QCOMPARE(ProgramFolder(tmp.path()).udevRule(rule), QString());
    // A portable copy: udev/ beside the program, whatever its case.
    touch(tmp.filePath(QStringLiteral("portable/UDEV/")) + rule);
    QCOMPARE(ProgramFolder(tmp.filePath(QStringLiteral("portable"))).udevRule(rule),
        tmp.filePath(QStringLiteral("portable/UDEV/")) + rule);
    // An installed copy: lib/udev/rules.d beside bin/.
    touch(tmp.filePath(QStringLiteral("usr/lib/udev/rules.d/")) + rule);
    const ProgramFolder installed = ProgramFolder::installed(tmp.filePath(QStringLiteral("usr/bin")),
        { tmp.filePath(QStringLiteral("usr/share/talvek")) }, tmp.filePath(QStringLiteral("config")),
        tmp.path());
    QCOMPARE(installed.udevRule(rule), tmp.filePath(QStringLiteral("usr/lib/udev/rules.d/")) + rule);
}

QTEST_GUILESS_MAIN(tst_ProgramFolder)
#include "tst_programfolder.moc"
