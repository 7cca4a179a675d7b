#pragma once

#include <QStringList>

namespace talvek {

// A command line without the options every Qt program takes for itself
// (-style Fusion, -platform offscreen, -reverse, --stylesheet=x.qss, ...),
// which QApplication reads from the same command line: what is left is the
// program's own, for its parser.
QStringList withoutQtOptions(const QStringList& arguments);

} // namespace talvek
