#include "link/PlantFile.h"

#include "link/CommPortSettings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace talvek {

namespace {

// What makes two ports one: a server's host and TCP port (whether spoken to
// raw or with RFC 2217), a device by its real path, a port number.
QString portKey(const QString& port, int commPort)
{
    if (commPort > 0)
        return QStringLiteral("COM%1").arg(commPort);
    if (const std::optional<PortAddress> a = parsePortAddress(port); a && a->isNetwork())
        return QStringLiteral("tcp %1 %2").arg(a->host.toLower()).arg(a->port);
    const QString canonical = QFileInfo(port).canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(port) : canonical;
}

struct LineResult
{
    std::optional<PlantPress> press;
    QString why; // refused: why; neither: a line to skip
};

LineResult parseLine(const QString& text, const QString& folder)
{
    static const QRegularExpression kName(QStringLiteral("^[A-Za-z0-9][A-Za-z0-9_.-]{0,31}$"));
    static const QRegularExpression kComPort(
        QStringLiteral("^COM([1-9][0-9]?)$"), QRegularExpression::CaseInsensitiveOption);
    const QString line = text.trimmed();
    if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
        return {};
    const QStringList f = line.split(QLatin1Char(','));
    if (f.size() < 3 || f.size() > 4)
        return { std::nullopt,
            QStringLiteral("a press is \"name, port, speed\" and an optional set-up file; this line has %1 "
                           "field%2")
                .arg(f.size())
                .arg(f.size() == 1 ? QString() : QStringLiteral("s")) };
    PlantPress p;
    p.name = f.at(0).trimmed();
    if (!kName.match(p.name).hasMatch())
        return { std::nullopt,
            QStringLiteral("the name \"%1\" is not 1 to 32 letters, digits, '-', '_' or '.', starting with a "
                           "letter or digit")
                .arg(p.name) };
    p.port = f.at(1).trimmed();
    QString why;
    if (const QRegularExpressionMatch m = kComPort.match(p.port); m.hasMatch()) {
        p.commPort = m.captured(1).toInt();
    } else if (looksLikeNetworkPort(p.port)) {
        if (!parsePortAddress(p.port, &why))
            return { std::nullopt, why };
    } else if (!QDir::isAbsolutePath(p.port)) {
        return { std::nullopt,
            QStringLiteral("the port \"%1\" is no URL (rfc2217://HOST:PORT, socket://HOST:PORT), device path "
                           "(/dev/ttyUSB0) or COMn")
                .arg(p.port) };
    }
    bool ok = false;
    p.speed = f.at(2).trimmed().toInt(&ok);
    if (!ok || !isSupportedSpeed(p.speed))
        return { std::nullopt,
            QStringLiteral("the speed \"%1\" is not 9600 or 19200").arg(f.at(2).trimmed()) };
    if (f.size() == 4) {
        const QString file = f.at(3).trimmed();
        if (file.isEmpty())
            return { std::nullopt,
                QStringLiteral("the set-up file is empty (leave the comma out when there is none)") };
        p.setupFile = QDir::cleanPath(QDir(folder).absoluteFilePath(file));
    }
    return { p, {} };
}

} // namespace

const PlantPress* PlantFile::find(const QString& name) const
{
    for (const PlantPress& p : presses) {
        if (p.name.compare(name, Qt::CaseInsensitive) == 0)
            return &p;
    }
    return nullptr;
}

Result<PlantFile> parsePlantFile(const QByteArray& contents, const QString& path)
{
    PlantFile plant;
    plant.path = path;
    const QString folder = QFileInfo(path).absolutePath();
    const QString shown = QDir::toNativeSeparators(path);
    const QList<QByteArray> lines = contents.split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const int number = int(i + 1);
        const auto refuse = [&](const QString& why) {
            return fail(Cause::BadFile, QStringLiteral("%1 line %2: %3").arg(shown).arg(number).arg(why));
        };
        const QString text = QString::fromUtf8(lines.at(i));
        if (text.contains(QChar::ReplacementCharacter))
            return refuse(QStringLiteral("not UTF-8 text"));
        LineResult r = parseLine(text, folder);
        if (!r.why.isEmpty())
            return refuse(r.why);
        if (!r.press)
            continue;
        r.press->line = number;
        for (const PlantPress& earlier : std::as_const(plant.presses)) {
            if (earlier.name.compare(r.press->name, Qt::CaseInsensitive) == 0)
                return refuse(QStringLiteral("the press \"%1\" is named on line %2 already")
                                  .arg(r.press->name)
                                  .arg(earlier.line));
            if (portKey(earlier.port, earlier.commPort) == portKey(r.press->port, r.press->commPort))
                return refuse(
                    QStringLiteral("the press \"%1\" is on the port of \"%2\" (line %3): two presses "
                                   "cannot share a port")
                        .arg(r.press->name, earlier.name)
                        .arg(earlier.line));
        }
        plant.presses.append(*r.press);
    }
    return plant;
}

Result<PlantFile> readPlantFile(const QString& path)
{
    const QString shown = QDir::toNativeSeparators(path);
    const QFileInfo info(path);
    if (!info.exists())
        return fail(Cause::BadFile, QStringLiteral("%1: no such plant file").arg(shown));
    if (!info.isFile())
        return fail(Cause::BadFile, QStringLiteral("%1: not a file").arg(shown));
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return fail(Cause::BadFile, QStringLiteral("%1: %2").arg(shown, f.errorString()));
    // A plant of presses is a few kilobytes; more is no plant file.
    constexpr qint64 kLimit = 1 << 20;
    if (f.size() > kLimit)
        return fail(Cause::BadFile, QStringLiteral("%1: larger than 1 MB, no plant file").arg(shown));
    return parsePlantFile(f.readAll(), path);
}

} // namespace talvek
