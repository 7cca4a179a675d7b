#pragma once

#include <QString>

// The texts a display shows where it has no value. They are presentation
// only: no code takes one of them, or a number behind one, as a value.
namespace talvek::placeholder {

inline const QString kNoValue = QStringLiteral("-"); // nothing read yet, or OFFLINE
inline const QString kFailedValue = QStringLiteral("---"); // a read or clear failed
inline const QString kEmptyChannel = QStringLiteral("****"); // a PLS channel without setpoints
inline const QString kPositionHidden = QStringLiteral("888"); // the position above the speed it is shown at

} // namespace talvek::placeholder
