#include "link/PortAddress.h"

#include <QFile>
#include <QHostAddress>
#include <algorithm>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace talvek {

namespace {

const QLatin1String kRfc2217Scheme("rfc2217://");
const QLatin1String kSocketScheme("socket://");

std::optional<PortAddress> refuse(QString* why, const QString& text)
{
    if (why)
        *why = text;
    return std::nullopt;
}

// A host name as DNS has them (letters, digits, '-', '.'), or an IPv4 address.
bool plainHost(const QString& host)
{
    if (host.isEmpty() || host.size() > 253)
        return false;
    for (const QChar c : host) {
        const bool ok = (c >= QLatin1Char('a') && c <= QLatin1Char('z'))
            || (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
            || (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('-')
            || c == QLatin1Char('.');
        if (!ok)
            return false;
    }
    return !host.startsWith(QLatin1Char('.')) && !host.startsWith(QLatin1Char('-'));
}

} // namespace

QString PortAddress::scheme() const
{
    switch (kind) {
    case Kind::Rfc2217:
        return QStringLiteral("rfc2217");
    case Kind::RawTcp:
        return QStringLiteral("socket");
    case Kind::Device:
        break;
    }
    return QStringLiteral("device");
}

QString PortAddress::text() const
{
    if (kind == Kind::Device)
        return device;
    const QString h = host.contains(QLatin1Char(':')) ? QLatin1Char('[') + host + QLatin1Char(']') : host;
    return QStringLiteral("%1://%2:%3").arg(scheme(), h).arg(port);
}

bool looksLikeNetworkPort(const QString& text)
{
    const QString t = text.trimmed();
    return t.startsWith(kRfc2217Scheme, Qt::CaseInsensitive)
        || t.startsWith(kSocketScheme, Qt::CaseInsensitive);
}

std::optional<PortAddress> parsePortAddress(const QString& text, QString* why)
{
    PortAddress a;
    const QString t = text.trimmed();
    if (!looksLikeNetworkPort(t)) {
        if (t.isEmpty())
            return refuse(why, QStringLiteral("No device or network port given."));
        a.device = t;
        return a;
    }
    const bool rfc2217 = t.startsWith(kRfc2217Scheme, Qt::CaseInsensitive);
    a.kind = rfc2217 ? PortAddress::Kind::Rfc2217 : PortAddress::Kind::RawTcp;
    const QString rest = t.mid(rfc2217 ? kRfc2217Scheme.size() : kSocketScheme.size());
    const QString form = QStringLiteral(
        "The network port \"%1\" is not of the form rfc2217://HOST:PORT or socket://HOST:PORT: %2");

    QString host;
    QString portText;
    if (rest.startsWith(QLatin1Char('['))) {
        const qsizetype close = rest.indexOf(QLatin1Char(']'));
        if (close < 0 || rest.mid(close + 1, 1) != QLatin1String(":"))
            return refuse(
                why, form.arg(t, QStringLiteral("an IPv6 address is written in brackets, [::1]:PORT.")));
        host = rest.mid(1, close - 1);
        portText = rest.mid(close + 2);
        QHostAddress v6;
        if (!v6.setAddress(host) || v6.protocol() != QAbstractSocket::IPv6Protocol)
            return refuse(why, form.arg(t, QStringLiteral("%1 is no IPv6 address.").arg(host)));
    } else {
        const qsizetype colon = rest.lastIndexOf(QLatin1Char(':'));
        if (colon < 0)
            return refuse(why, form.arg(t, QStringLiteral("the TCP port is missing.")));
        host = rest.left(colon);
        portText = rest.mid(colon + 1);
        if (host.isEmpty())
            return refuse(why, form.arg(t, QStringLiteral("the host is missing.")));
        if (!plainHost(host))
            return refuse(why, form.arg(t, QStringLiteral("\"%1\" is no host name or address.").arg(host)));
    }
    bool ok = false;
    const uint port = portText.toUInt(&ok);
    const bool digitsOnly = !portText.isEmpty()
        && std::all_of(portText.cbegin(), portText.cend(), [](QChar c) { return c.isDigit(); });
    if (!ok || !digitsOnly || port < 1 || port > 65535)
        return refuse(why, form.arg(t, QStringLiteral("the TCP port must be a number from 1 to 65535.")));
    a.host = host;
    a.port = quint16(port);
    return a;
}

QString networkPortOfLink(const QString& linkPath)
{
#ifdef Q_OS_UNIX
    // The target as written: QFileInfo would make a path of the URL.
    const QByteArray path = QFile::encodeName(linkPath);
    char target[1024];
    const ssize_t n = ::readlink(path.constData(), target, sizeof target - 1);
    if (n > 0) {
        const QString text = QFile::decodeName(QByteArray(target, int(n)));
        if (looksLikeNetworkPort(text))
            return text.trimmed();
    }
#else
    Q_UNUSED(linkPath);
#endif
    return {};
}

} // namespace talvek
