#include "link/TelnetComPort.h"

namespace talvek {

QByteArray TelnetComPort::escape(const QByteArray& data)
{
    QByteArray out;
    out.reserve(data.size() + 2);
    for (const char c : data) {
        out.append(c);
        if (quint8(c) == kIac)
            out.append(c);
    }
    return out;
}

QByteArray TelnetComPort::command(quint8 command, const QByteArray& value)
{
    QByteArray out;
    out.append(char(kIac)).append(char(kSb)).append(char(kOptionComPort)).append(char(command));
    out.append(escape(value));
    out.append(char(kIac)).append(char(kSe));
    return out;
}

QByteArray TelnetComPort::setBaudRate(quint32 baud)
{
    // Four bytes, the most significant first.
    QByteArray value(4, '\0');
    for (int i = 0; i < 4; ++i)
        value[i] = char((baud >> (8 * (3 - i))) & 0xFF);
    return command(kSetBaudRate, value);
}

QByteArray TelnetComPort::start()
{
    QByteArray out;
    const auto say = [&](quint8 verb, quint8 option) {
        out.append(char(kIac)).append(char(verb)).append(char(option));
        if (verb == kWill || verb == kWont)
            m_local[option] = verb;
        else
            m_remote[option] = verb;
    };
    say(kWill, kOptionBinary);
    say(kDo, kOptionBinary);
    say(kWill, kOptionSuppressGoAhead);
    say(kDo, kOptionSuppressGoAhead);
    say(kWill, kOptionComPort);
    m_comPort = Consent::Asked;
    return out;
}

bool TelnetComPort::wanted(quint8 option)
{
    return option == kOptionBinary || option == kOptionSuppressGoAhead || option == kOptionComPort;
}

// Answers a request once: an option already in the state asked for gets no
// answer (that is what keeps two ends from answering each other forever).
void TelnetComPort::negotiate(quint8 verb, quint8 option)
{
    const auto reply = [&](quint8 v) { m_replies.append(char(kIac)).append(char(v)).append(char(option)); };
    switch (verb) {
    case kDo: // the server asks this side to use an option
        if (option == kOptionComPort)
            m_comPort = Consent::Agreed;
        if (wanted(option) && m_local[option] != kWill) {
            m_local[option] = kWill;
            reply(kWill);
        } else if (!wanted(option) && m_local[option] != kWont) {
            m_local[option] = kWont;
            reply(kWont);
        }
        break;
    case kDont:
        if (option == kOptionComPort)
            m_comPort = Consent::Refused;
        if (m_local[option] != kWont) {
            m_local[option] = kWont;
            reply(kWont);
        }
        break;
    case kWill: // the server offers to use an option (never its echo)
        if (option != kOptionComPort && wanted(option) && m_remote[option] != kDo) {
            m_remote[option] = kDo;
            reply(kDo);
        } else if ((option == kOptionComPort || !wanted(option)) && m_remote[option] != kDont) {
            m_remote[option] = kDont;
            reply(kDont);
        }
        break;
    case kWont:
        if (m_remote[option] != kDont) {
            m_remote[option] = kDont;
            reply(kDont);
        }
        break;
    default:
        break;
    }
}

void TelnetComPort::endSubnegotiation()
{
    // COM-PORT-OPTION, the server's command number, its value.
    // The line and modem state the server notifies (106, 107) and anything
    // else are of no concern to the link.
    const quint8 code = m_sub.size() >= 2 ? quint8(m_sub.at(1)) : 0;
    if (m_sub.size() >= 2 && quint8(m_sub.at(0)) == kOptionComPort && code > kServerOffset
        && code != kNotifyLineState && code != kNotifyModemState)
        m_answers.append(Answer { quint8(code - kServerOffset), m_sub.mid(2) });
    m_sub.clear();
}

QByteArray TelnetComPort::feed(const QByteArray& received)
{
    QByteArray data;
    for (const char ch : received) {
        const quint8 b = quint8(ch);
        switch (m_state) {
        case State::Data:
            if (b == kIac)
                m_state = State::Iac;
            else
                data.append(ch);
            break;
        case State::Iac:
            if (b == kIac) {
                data.append(ch);
                m_state = State::Data;
            } else if (b == kWill || b == kWont || b == kDo || b == kDont) {
                m_verb = b;
                m_state = State::Option;
            } else if (b == kSb) {
                m_sub.clear();
                m_state = State::Sub;
            } else {
                m_state = State::Data; // NOP, GA, AYT and the like: nothing to do
            }
            break;
        case State::Option:
            negotiate(m_verb, b);
            m_state = State::Data;
            break;
        case State::Sub:
            if (b == kIac)
                m_state = State::SubIac;
            else
                m_sub.append(ch);
            break;
        case State::SubIac:
            if (b == kSe) {
                endSubnegotiation();
                m_state = State::Data;
            } else {
                // IAC IAC is a 255 of the value; anything else ends it badly.
                if (b == kIac)
                    m_sub.append(ch);
                m_state = b == kIac ? State::Sub : State::Data;
                if (b != kIac)
                    m_sub.clear();
            }
            break;
        }
    }
    return data;
}

QByteArray TelnetComPort::takeReplies()
{
    QByteArray r;
    r.swap(m_replies);
    return r;
}

QList<TelnetComPort::Answer> TelnetComPort::takeAnswers()
{
    QList<Answer> a;
    a.swap(m_answers);
    return a;
}

} // namespace talvek
