#pragma once

#include <QByteArray>
#include <QList>
#include <array>

namespace talvek {

// The client side of a Telnet connection to a serial device server with the
// COM-PORT-OPTION (RFC 2217): the bytes to send and the bytes received, with
// the Telnet commands taken out and answered. Sockets are not its business:
// it turns bytes into bytes, so that every rule is tested without a server.
//
// On the wire the Telnet byte IAC (255) starts a command; a data byte 255
// goes as IAC IAC, both ways and inside a subnegotiation. The link's
// attention byte is 255, so every data byte passes through escape() and
// feed().
class TelnetComPort
{
public:
    static constexpr quint8 kIac = 255;
    static constexpr quint8 kDont = 254;
    static constexpr quint8 kDo = 253;
    static constexpr quint8 kWont = 252;
    static constexpr quint8 kWill = 251;
    static constexpr quint8 kSb = 250;
    static constexpr quint8 kSe = 240;
    static constexpr quint8 kOptionBinary = 0;
    static constexpr quint8 kOptionSuppressGoAhead = 3;
    static constexpr quint8 kOptionComPort = 44;

    // The COM-PORT-OPTION commands of the client; the server answers each
    // with its number plus 100 and the value in force.
    static constexpr quint8 kSetBaudRate = 1;
    static constexpr quint8 kSetDataSize = 2;
    static constexpr quint8 kSetParity = 3;
    static constexpr quint8 kSetStopSize = 4;
    static constexpr quint8 kSetControl = 5;
    static constexpr quint8 kPurgeData = 12;
    static constexpr quint8 kServerOffset = 100;
    // What the server tells unasked: the line and the modem state.
    static constexpr quint8 kNotifyLineState = 106;
    static constexpr quint8 kNotifyModemState = 107;
    // Values of the commands.
    static constexpr quint8 kParityNone = 1;
    static constexpr quint8 kParityOdd = 2;
    static constexpr quint8 kParityEven = 3;
    static constexpr quint8 kParityMark = 4;
    static constexpr quint8 kParitySpace = 5;
    static constexpr quint8 kStopOne = 1;
    static constexpr quint8 kStopTwo = 2;
    static constexpr quint8 kControlNoFlow = 1;
    static constexpr quint8 kPurgeBoth = 3;

    // Whether the server takes the COM-PORT-OPTION.
    enum class Consent
    {
        Asked,
        Agreed,
        Refused,
    };

    // An answer of the server to one of the client's commands.
    struct Answer
    {
        quint8 command = 0; // the client's number (the server's less 100)
        QByteArray value;
        bool operator==(const Answer&) const = default;
    };

    // Data bytes as they go on the wire (each 255 doubled).
    static QByteArray escape(const QByteArray& data);
    // IAC SB COM-PORT-OPTION command value IAC SE, the value escaped.
    static QByteArray command(quint8 command, const QByteArray& value);
    static QByteArray setBaudRate(quint32 baud);
    static QByteArray setByte(quint8 command, quint8 value)
    {
        return TelnetComPort::command(command, QByteArray(1, char(value)));
    }

    // What the client says first: it will and wants the binary
    // transmission both ways, no go-aheads, and it will use the COM-PORT-OPTION.
    QByteArray start();

    // Takes bytes received and gives the data bytes among them; the replies
    // to the server's requests pile up for takeReplies(), the answers to the
    // client's commands for takeAnswers(). A command split between two calls
    // is completed by the next.
    QByteArray feed(const QByteArray& received);
    QByteArray takeReplies();
    QList<Answer> takeAnswers();

    Consent comPort() const { return m_comPort; }

private:
    enum class State
    {
        Data,
        Iac,
        Option, // after WILL/WONT/DO/DONT
        Sub, // inside a subnegotiation
        SubIac, // IAC inside it
    };
    void negotiate(quint8 verb, quint8 option);
    void endSubnegotiation();
    static bool wanted(quint8 option);

    State m_state = State::Data;
    quint8 m_verb = 0;
    QByteArray m_sub;
    QByteArray m_replies;
    QList<Answer> m_answers;
    Consent m_comPort = Consent::Asked;
    // What this side said last for each option: WILL/WONT (ours), DO/DONT (theirs).
    std::array<quint8, 256> m_local {};
    std::array<quint8, 256> m_remote {};
};

} // namespace talvek
