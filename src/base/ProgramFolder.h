#pragma once

#include <QString>

namespace talvek {

// Where the files beside the program live: support/, Help/, NVK51, ... .
// The system spells its folders in varying case ("\Support\RSPort.cfg",
// "\support\FaultErrCodes.txt"); on a case-sensitive file system each path
// component is matched against what exists, whatever its case.
class ProgramFolder final
{
public:
    // The folder of the running executable.
    ProgramFolder();
    explicit ProgramFolder(const QString& root);

    QString root() const { return m_root; }

    // Full path of a relative path ("support/RSPort.cfg"). Components that exist
    // under another case are used as they exist; missing ones keep the given
    // spelling. Both '/' and '\' separate components.
    QString resolve(const QString& relative) const;

    // resolve("support") etc. for the support folder.
    QString supportDir() const { return resolve(QStringLiteral("support")); }

private:
    QString m_root;
};

} // namespace talvek
