#pragma once

#include <QString>
#include <optional>

namespace talvek {

// Where a port leads: a serial device on this machine, or a serial device
// server on the network, reached by a URL as serial tools write it:
//   rfc2217://HOST:PORT   a Telnet port with RFC 2217 control of the line
//   socket://HOST:PORT    raw TCP: the bytes only, the line set up at the server
// HOST is a name, an IPv4 address or an IPv6 address in brackets ([::1]).
struct PortAddress
{
    enum class Kind
    {
        Device,
        Rfc2217,
        RawTcp,
    };
    Kind kind = Kind::Device;
    QString device; // for a device
    QString host; // for a network port: without brackets
    quint16 port = 0;

    bool isNetwork() const { return kind != Kind::Device; }
    // The URL or the device, as an operator writes it.
    QString text() const;
    // "rfc2217" / "socket" / "device".
    QString scheme() const;
    bool operator==(const PortAddress&) const = default;
};

// Whether a text is meant as a network port (it starts with a scheme
// "rfc2217://" or "socket://", in any case), right or wrong.
bool looksLikeNetworkPort(const QString& text);

// The address a text names. A text without a network scheme is a device.
// A network URL without a host, with a port outside 1..65535, with a path,
// user or query, is refused: nothing, and why in *why.
std::optional<PortAddress> parsePortAddress(const QString& text, QString* why = nullptr);

// The URL a port link (support/ports/COMn) holds as its target, as written
// there; empty for a link to a device, a file that is no link, or none.
QString networkPortOfLink(const QString& linkPath);

} // namespace talvek
