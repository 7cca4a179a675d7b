#pragma once

#include <QString>
#include <QStringList>

namespace talvek {

// Where the files beside the program live: support/, Help/, NVK51, ... .
//
// Two layouts:
// - A portable copy (an unpacked folder, the build tree, tests): the program
//   folder is writable and holds support/; everything is read from and written
//   to it.
// - An installed copy: the program's own files (code tables, help) are
//   read-only in share/talvek beside bin/; what the program writes (the port
//   settings file, port links, the development-system settings files) goes to
//   the per-user configuration folder, which is read first. TALVEK and
//   talvek-cli share that folder (userConfigDir()), so that the command line
//   uses the port the operator chose in the Comm Port window.
//
// The system spells its folders in varying case ("\Support\RSPort.cfg",
// "\support\FaultErrCodes.txt"); on a case-sensitive file system each path
// component is matched against what exists, whatever its case.
class ProgramFolder final
{
public:
    // The folder of the running executable, portable or installed as above.
    ProgramFolder();
    // A portable copy at root.
    explicit ProgramFolder(const QString& root);
    // An installed copy: program files read from dataDirs (in order), written
    // to and read first from configDir; set-up files start in documentsDir.
    static ProgramFolder installed(const QString& root, const QStringList& dataDirs, const QString& configDir,
        const QString& documentsDir);

    // The executable's folder.
    QString root() const { return m_root; }
    bool isPortable() const { return m_portable; }
    // Where the program writes (the program folder itself when portable).
    QString configDir() const { return m_configDir; }
    // Where the program's own files are read after configDir.
    QStringList dataDirs() const { return m_dataDirs; }
    // The folder the first Open and Save dialogs show.
    QString documentsDir() const { return m_documentsDir; }

    // Full path of a relative path ("support/RSPort.cfg") to read: the first
    // place that holds it (the configuration folder, then the program's own
    // files), or where it would be written when none does. Components that
    // exist under another case are used as they exist; missing ones keep the
    // given spelling. Both '/' and '\' separate components.
    QString resolve(const QString& relative) const;
    // Full path of a relative path to write; always in the configuration folder.
    QString writablePath(const QString& relative) const;

    // resolve("support") etc. for the support folder.
    QString supportDir() const { return resolve(QStringLiteral("support")); }

    // The same program's files, with the settings (port settings file, port
    // links, development-system folders) read from and written to dir: what
    // dir holds comes first, then the program's own read-only files, so that
    // a settings folder without code tables still finds the installed ones.
    ProgramFolder withSettingsIn(const QString& dir) const;

    // A program that only reads the settings (talvek-cli) leaves a missing
    // port settings file missing and uses the defaults, where TALVEK writes
    // them out.
    bool settingsReadOnly() const { return m_settingsReadOnly; }
    void setSettingsReadOnly(bool readOnly) { m_settingsReadOnly = readOnly; }

    // The udev rule `name` that ships with the program: in udev/ beside a
    // portable copy (to be copied to /etc/udev/rules.d), in lib/udev/rules.d
    // beside the bin/ folder of an installed one (where udev reads it). Looked
    // for beside the program folder, then beside the running executable;
    // empty when neither has it.
    QString udevRule(const QString& name) const;

    // The per-user configuration folder of an installed copy: "TALVEK" in
    // the user's configuration folder (~/.config/TALVEK), whichever program
    // asks.
    static QString userConfigDir();
    // The per-user data folder of an installed copy: "TALVEK" in the user's
    // data folder (~/.local/share/TALVEK), for what the program collects as
    // it runs (the press journal).
    static QString userDataDir();
    // Where the program keeps a data file of its own: beside the program in
    // a portable copy, in userDataDir() in an installed one.
    QString dataFilePath(const QString& name) const;
    // The folder for what the program collects as it runs and no file
    // dialog of the program starts in or lists: userDataDir() of an
    // installed copy, the hidden ".talvek" folder of a portable one.
    QString privateDataDir() const;

    // Whether the folder would run as a portable copy: writable, holding support/.
    static bool holdsPortableCopy(const QString& dir);
    // The same path matched component by component under base, whatever the case.
    static QString resolveUnder(const QString& base, const QString& relative);

private:
    QString m_root;
    QString m_configDir;
    QStringList m_dataDirs;
    QString m_documentsDir;
    bool m_portable = true;
    bool m_settingsReadOnly = false;
};

} // namespace talvek
