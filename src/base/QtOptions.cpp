#include "base/QtOptions.h"

namespace talvek {

namespace {

// Qt's options that take a value (the next argument, or after "=").
const QStringList kWithValue { QStringLiteral("style"), QStringLiteral("stylesheet"),
    QStringLiteral("platform"), QStringLiteral("platformpluginpath"), QStringLiteral("platformtheme"),
    QStringLiteral("plugin"), QStringLiteral("qwindowgeometry"), QStringLiteral("qwindowicon"),
    QStringLiteral("qwindowtitle"), QStringLiteral("display"), QStringLiteral("geometry"),
    QStringLiteral("title"), QStringLiteral("name"), QStringLiteral("session"),
    QStringLiteral("qmljsdebugger") };
// Qt's options that stand alone.
const QStringList kFlags { QStringLiteral("reverse"), QStringLiteral("widgetcount"), QStringLiteral("nograb"),
    QStringLiteral("dograb"), QStringLiteral("sync"), QStringLiteral("testability") };

} // namespace

QStringList withoutQtOptions(const QStringList& arguments)
{
    QStringList kept;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& arg = arguments.at(i);
        // The program's name, "--" and what follows it are never Qt's.
        if (i == 0 || !arg.startsWith(QLatin1Char('-'))) {
            kept << arg;
            continue;
        }
        if (arg == QLatin1String("--")) {
            kept << arguments.mid(i);
            break;
        }
        const QString bare = arg.mid(arg.startsWith(QLatin1String("--")) ? 2 : 1);
        const QString name = bare.section(QLatin1Char('='), 0, 0);
        if (kFlags.contains(name) && !bare.contains(QLatin1Char('=')))
            continue;
        if (kWithValue.contains(name)) {
            // "-style Fusion": the value is the next argument.
            if (!bare.contains(QLatin1Char('=')) && i + 1 < arguments.size())
                ++i;
            continue;
        }
        kept << arg;
    }
    return kept;
}

} // namespace talvek
