// Network ports: the URLs, the Telnet COM-PORT bytes both ways, and the link
// against scripted servers on 127.0.0.1 (a thread of this test) on a fake
// clock: each way a connection fails ends in the link's Retry/Cancel box with
// its cause, and a 255 crosses the wire doubled both ways.

#include "ScriptedPrompter.h"
#include "WireBytes.h"
#include "base/Clock.h"
#include "base/ProgramFolder.h"
#include "link/NetworkPortControl.h"
#include "link/PortAddress.h"
#include "link/RSComm.h"
#include "link/TelnetComPort.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <arpa/inet.h>
#include <atomic>
#include <functional>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace talvek;
using namespace talvek::test;

namespace {

const QString kNoComm = QStringLiteral("Cannot Communicate with Target Board.\rVerify RS-232 Cable is "
                                       "Connected Between\rCOMM Port and PROG Port.");

constexpr quint8 kIac = 255;

// A listening socket on 127.0.0.1 at *port (0: a free one, then set).
int listenLocal(quint16* port, int backlog = 4)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in a {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(*port);
    socklen_t len = sizeof a;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&a), len) != 0 || ::listen(fd, backlog) != 0
        || ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
        if (fd >= 0)
            ::close(fd);
        return -1;
    }
    *port = ntohs(a.sin_port);
    return fd;
}

// A free port with nothing listening on it.
quint16 closedPort()
{
    quint16 port = 0;
    const int fd = listenLocal(&port);
    ::close(fd);
    return port;
}

// A serial device server with a board behind it, in a thread: RFC 2217 (it
// answers the COM-PORT commands, the speed as answerBaud says) or raw; the
// board answers every data byte with 0x55. It records the bytes it received
// as they came (before any unescaping) and the data bytes the board heard.
class ScriptedServer
{
public:
    struct Script
    {
        bool telnet = true;
        quint32 answerBaud = 0; // 0: the speed asked
        int closeAfterData = -1; // close the connection when the board heard this many bytes
        QByteArray sendAtConnect; // raw bytes sent first
        bool closeAtConnect = false; // and then the connection closed
        QByteArray reply = QByteArray(1, char(0x55)); // raw bytes the board answers each byte with
    };

    explicit ScriptedServer(Script script, quint16 port = 0)
        : m_script(std::move(script))
        , m_port(port)
    {
        m_listen = listenLocal(&m_port);
        m_thread = std::thread([this] { serve(); });
    }
    ~ScriptedServer()
    {
        m_stop = true;
        m_thread.join();
        ::close(m_listen);
    }
    quint16 port() const { return m_port; }
    QByteArray wire() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_wire;
    }
    QByteArray heard() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_heard;
    }

private:
    void serve()
    {
        pollfd p { m_listen, POLLIN, 0 };
        while (!m_stop) {
            if (::poll(&p, 1, 20) <= 0)
                continue;
            const int fd = ::accept(m_listen, nullptr, nullptr);
            if (fd >= 0) {
                session(fd);
                ::close(fd);
            }
        }
    }

    void session(int fd)
    {
        if (m_script.telnet) {
            // As a server greets: DO COM-PORT-OPTION, binary both ways.
            const QByteArray greeting = bytes({ kIac, 253, 44, kIac, 251, 0, kIac, 253, 0 });
            ::send(fd, greeting.constData(), size_t(greeting.size()), MSG_NOSIGNAL);
        }
        if (!m_script.sendAtConnect.isEmpty())
            ::send(
                fd, m_script.sendAtConnect.constData(), size_t(m_script.sendAtConnect.size()), MSG_NOSIGNAL);
        if (m_script.closeAtConnect)
            return;
        QByteArray pending;
        pollfd p { fd, POLLIN, 0 };
        while (!m_stop) {
            if (::poll(&p, 1, 20) <= 0)
                continue;
            char buf[256];
            const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
            if (n <= 0)
                return;
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_wire.append(buf, int(n));
            }
            pending.append(buf, int(n));
            if (!take(fd, pending))
                return;
        }
    }

    // Handles the complete commands and data bytes at the front of pending;
    // false when the script closes the connection.
    bool take(int fd, QByteArray& pending)
    {
        for (;;) {
            if (pending.isEmpty())
                return true;
            const quint8 b = quint8(pending.at(0));
            if (!m_script.telnet || b != kIac) {
                pending.remove(0, 1);
                if (!boardHears(fd, b))
                    return false;
                continue;
            }
            if (pending.size() < 2)
                return true;
            const quint8 verb = quint8(pending.at(1));
            if (verb == kIac) {
                pending.remove(0, 2);
                if (!boardHears(fd, kIac))
                    return false;
            } else if (verb >= 251 && verb <= 254) {
                if (pending.size() < 3)
                    return true;
                pending.remove(0, 3);
            } else if (verb == 250) {
                const qsizetype end = pending.indexOf(QByteArray(bytes({ kIac, 240 })));
                if (end < 0)
                    return true;
                answer(fd,
                    pending.mid(2, end - 2).replace(QByteArray(2, char(kIac)), QByteArray(1, char(kIac))));
                pending.remove(0, end + 2);
            } else {
                pending.remove(0, 2);
            }
        }
    }

    void answer(int fd, QByteArray sub)
    {
        if (sub.size() < 2 || quint8(sub.at(0)) != 44)
            return;
        if (quint8(sub.at(1)) == TelnetComPort::kSetBaudRate && m_script.answerBaud != 0) {
            const quint32 v = m_script.answerBaud;
            sub = sub.left(2)
                + bytes({ int(v >> 24), int((v >> 16) & 0xFF), int((v >> 8) & 0xFF), int(v & 0xFF) });
        }
        sub[1] = char(quint8(sub.at(1)) + 100);
        const QByteArray out = bytes({ kIac, 250 }) + TelnetComPort::escape(sub) + bytes({ kIac, 240 });
        ::send(fd, out.constData(), size_t(out.size()), MSG_NOSIGNAL);
    }

    bool boardHears(int fd, quint8 b)
    {
        int count = 0;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_heard.append(char(b));
            count = int(m_heard.size());
        }
        if (m_script.closeAfterData >= 0 && count > m_script.closeAfterData)
            return false;
        ::send(fd, m_script.reply.constData(), size_t(m_script.reply.size()), MSG_NOSIGNAL);
        return true;
    }

    Script m_script;
    int m_listen = -1;
    quint16 m_port = 0;
    std::thread m_thread;
    std::atomic<bool> m_stop { false };
    mutable std::mutex m_mutex;
    QByteArray m_wire;
    QByteArray m_heard;
};

// The link on a network port, in a program folder of its own.
struct Rig
{
    QTemporaryDir dir;
    FakeClock clock;
    ScriptedPrompter prompter;
    std::unique_ptr<ProgramFolder> folder;
    std::unique_ptr<NetworkPortControl> port;
    std::unique_ptr<RSComm> link;

    explicit Rig(const QString& url, const QByteArray& settings = "1,9600\r\n")
    {
        QDir().mkpath(dir.filePath(QStringLiteral("support")));
        QFile cfg(dir.filePath(QStringLiteral("support/RSPort.cfg")));
        if (cfg.open(QIODevice::WriteOnly))
            cfg.write(settings);
        cfg.close();
        folder = std::make_unique<ProgramFolder>(dir.path());
        port = std::make_unique<NetworkPortControl>(clock);
        port->setAddress(*parsePortAddress(url));
        link = std::make_unique<RSComm>(*folder, clock, prompter);
    }
    // The text of the only box shown.
    QString onlyBox() const
    {
        const QList<PromptCall> msgs = prompter.messages();
        return msgs.size() == 1 ? msgs[0].text : QStringLiteral("<%1 boxes>").arg(msgs.size());
    }
};

QString local(const char* scheme, quint16 port)
{
    return QStringLiteral("%1://127.0.0.1:%2").arg(QLatin1String(scheme)).arg(port);
}

} // namespace

class TestNetworkPort : public QObject
{
    Q_OBJECT

private slots:
    void addresses_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("parsed"); // "kind host port", the device, or the refusal
        QTest::newRow("rfc2217") << "rfc2217://press7.plant:4001"
                                 << "rfc2217 press7.plant 4001";
        QTest::newRow("raw, upper case") << "SOCKET://10.1.2.3:2001"
                                         << "socket 10.1.2.3 2001";
        QTest::newRow("ipv6") << "rfc2217://[fe80::1]:7000"
                              << "rfc2217 fe80::1 7000";
        QTest::newRow("device") << "/dev/ttyUSB0"
                                << "device /dev/ttyUSB0";
        QTest::newRow("no port")
            << "rfc2217://press7"
            << "The network port \"rfc2217://press7\" is not of the form rfc2217://HOST:PORT or "
               "socket://HOST:PORT: the TCP port is missing.";
        QTest::newRow("port 0") << "socket://h:0"
                                << "The network port \"socket://h:0\" is not of the form rfc2217://HOST:PORT "
                                   "or socket://HOST:PORT: the TCP port must be a number from 1 to 65535.";
        QTest::newRow("port too big") << "socket://h:65536"
                                      << "The network port \"socket://h:65536\" is not of the form "
                                         "rfc2217://HOST:PORT or socket://HOST:PORT: the TCP port must be a "
                                         "number from 1 to 65535.";
        QTest::newRow("no host")
            << "socket://:4001"
            << "The network port \"socket://:4001\" is not of the form rfc2217://HOST:PORT "
               "or socket://HOST:PORT: the host is missing.";
        QTest::newRow("path") << "rfc2217://h/x:4001"
                              << "The network port \"rfc2217://h/x:4001\" is not of the form "
                                 "rfc2217://HOST:PORT or socket://HOST:PORT: \"h/x\" is no host name or "
                                 "address.";
        QTest::newRow("bare ipv6") << "rfc2217://[::1]4001"
                                   << "The network port \"rfc2217://[::1]4001\" is not of the form "
                                      "rfc2217://HOST:PORT or socket://HOST:PORT: an IPv6 address is "
                                      "written in brackets, [::1]:PORT.";
    }
    void addresses()
    {
        QFETCH(QString, text);
        QFETCH(QString, parsed);
        QString why;
        const std::optional<PortAddress> a = parsePortAddress(text, &why);
        if (!a) {
            QCOMPARE(why, parsed);
            return;
        }
        QCOMPARE(a->isNetwork() ? QStringLiteral("%1 %2 %3").arg(a->scheme(), a->host).arg(a->port)
                                : QStringLiteral("device ") + a->device,
            parsed);
        QCOMPARE(looksLikeNetworkPort(text), a->isNetwork());
        if (a->isNetwork())
            QCOMPARE(parsePortAddress(a->text()), a);
    }

    void telnetEscapesTheAttentionByteBothWays()
    {
        QCOMPARE(TelnetComPort::escape(bytes({ 0x01, 0xFF, 0x02, 0xFF, 0xFF })),
            bytes({ 0x01, 0xFF, 0xFF, 0x02, 0xFF, 0xFF, 0xFF, 0xFF }));
        TelnetComPort t;
        // A doubled 255 split between two reads is one data byte.
        QCOMPARE(t.feed(bytes({ 0x55, 0xFF })), bytes({ 0x55 }));
        QCOMPARE(t.feed(bytes({ 0xFF, 0xFF, 0xFF, 0x07 })), bytes({ 0xFF, 0xFF, 0x07 }));
        QCOMPARE(t.takeReplies(), QByteArray());
        // The speed's bytes are escaped inside the command: 65535 baud.
        QCOMPARE(TelnetComPort::setBaudRate(65535),
            bytes({ 0xFF, 250, 44, 1, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 240 }));
        QCOMPARE(TelnetComPort::setBaudRate(19200), bytes({ 0xFF, 250, 44, 1, 0, 0, 0x4B, 0x00, 0xFF, 240 }));
        // An answer with a 255 in its value, amid data.
        QCOMPARE(t.feed(bytes({ 0x10, 0xFF, 250, 44, 101, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 240, 0x11 })),
            bytes({ 0x10, 0x11 }));
        const QList<TelnetComPort::Answer> answers = t.takeAnswers();
        QCOMPARE(answers.size(), 1);
        QCOMPARE(answers[0].command, quint8(1));
        QCOMPARE(answers[0].value, bytes({ 0, 0, 0xFF, 0xFF }));
    }

    void telnetAnswersAServersGreetingOnce()
    {
        TelnetComPort t;
        QCOMPARE(t.start(), bytes({ 0xFF, 251, 0, 0xFF, 253, 0, 0xFF, 251, 3, 0xFF, 253, 3, 0xFF, 251, 44 }));
        QCOMPARE(t.comPort(), TelnetComPort::Consent::Asked);
        // ser2net's greeting: SGA both ways, WILL ECHO, DONT ECHO, binary
        // both ways, DO COM-PORT-OPTION, a modem-state notice, then the
        // words of a server whose device is taken.
        const QByteArray greeting = bytes({ 0xFF, 251, 3, 0xFF, 253, 3, 0xFF, 251, 1, 0xFF, 254, 1, 0xFF, 253,
                                        0, 0xFF, 251, 0, 0xFF, 253, 44, 0xFF, 250, 44, 107, 0, 0xFF, 240 })
            + QByteArray("In use\r\n");
        QCOMPARE(t.feed(greeting), QByteArray("In use\r\n"));
        // Only the echo is refused; what this side asked for is not answered again.
        QCOMPARE(t.takeReplies(), bytes({ 0xFF, 254, 1, 0xFF, 252, 1 }));
        QCOMPARE(t.comPort(), TelnetComPort::Consent::Agreed);
        QCOMPARE(t.takeAnswers(), QList<TelnetComPort::Answer>()); // a notice is no answer
        // Options it does not know are refused once, and a refusal of the
        // COM-PORT-OPTION is seen.
        QCOMPARE(t.feed(bytes({ 0xFF, 253, 24, 0xFF, 253, 24, 0xFF, 254, 44 })), QByteArray());
        QCOMPARE(t.takeReplies(), bytes({ 0xFF, 252, 24, 0xFF, 252, 44 }));
        QCOMPARE(t.comPort(), TelnetComPort::Consent::Refused);
    }

    void rfc2217SetsTheLineAndDoublesTheAttentionByte()
    {
        ScriptedServer server({});
        Rig r(local("rfc2217", server.port()), "1,19200\r\n");
        r.link->OpenRSComm(r.port.get());
        QVERIFY(r.link->OnlineMode);
        QCOMPARE(r.prompter.messages().size(), 0);
        QVERIFY(r.port->connected());
        QCOMPARE(r.port->portFacts(),
            QStringLiteral("Network port %1 (COM1), 19200 baud.").arg(local("rfc2217", server.port())));
        // Negotiation, 19200 8N1, no flow control, purge both, then the attention byte doubled.
        const QByteArray expected
            = bytes({ 0xFF, 251, 0, 0xFF, 253, 0, 0xFF, 251, 3, 0xFF, 253, 3, 0xFF, 251, 44 })
            + TelnetComPort::setBaudRate(19200) + bytes({ 0xFF, 250, 44, 2, 8, 0xFF, 240 })
            + bytes({ 0xFF, 250, 44, 3, 1, 0xFF, 240 }) + bytes({ 0xFF, 250, 44, 4, 1, 0xFF, 240 })
            + bytes({ 0xFF, 250, 44, 5, 1, 0xFF, 240 }) + bytes({ 0xFF, 250, 44, 12, 3, 0xFF, 240 })
            + bytes({ 0xFF, 0xFF });
        QTRY_COMPARE(server.wire(), expected);
        QCOMPARE(server.heard(), bytes({ 0xFF }));
    }

    void boardsAttentionByteArrivesUndoubled()
    {
        // The board answers 255 (doubled on the wire) and then 7.
        ScriptedServer::Script s;
        s.reply = bytes({ 0xFF, 0xFF, 0x07 });
        ScriptedServer telnet(s);
        FakeClock clock;
        NetworkPortControl port(clock);
        port.setAddress(*parsePortAddress(local("rfc2217", telnet.port())));
        port.open();
        QVERIFY(port.connected());
        port.write(bytes({ 0x01 }));
        QVERIFY(port.waitForInput(1000));
        QCOMPARE(port.readByte(), 0xFF);
        QVERIFY(port.waitForInput(1000));
        QCOMPARE(port.readByte(), 0x07);
        QCOMPARE(port.bytesAvailable(), 0);

        // Raw TCP: the bytes as they are, 255 not doubled.
        s.telnet = false;
        s.reply = bytes({ 0xFF });
        ScriptedServer raw(s);
        NetworkPortControl rawPort(clock);
        rawPort.setAddress(*parsePortAddress(local("socket", raw.port())));
        rawPort.open();
        rawPort.write(bytes({ 0xFF }));
        QVERIFY(rawPort.waitForInput(1000));
        QCOMPARE(rawPort.readByte(), 0xFF);
        QCOMPARE(raw.wire(), bytes({ 0xFF }));
    }

    void refusedConnectionEndsInTheBoxWithItsCause()
    {
        const quint16 port = closedPort();
        Rig r(local("rfc2217", port));
        r.prompter.answerMsg(MsgResult::Cancel);
        const qint64 start = r.clock.nowMs();
        r.link->OpenRSComm(r.port.get());
        QVERIFY(!r.link->OnlineMode);
        QVERIFY(r.link->CommError);
        // The link's own timeouts: 1 s, and two resynchronisations of 2 s.
        QCOMPARE(r.clock.nowMs() - start, qint64(5000));
        QCOMPARE(r.onlyBox(),
            kNoComm
                + QStringLiteral(
                    "\rNetwork port rfc2217://127.0.0.1:%1 (COM1), 9600 baud: the connection to "
                    "127.0.0.1 port %1 was refused (no server listens there, or it takes no more "
                    "connections).")
                      .arg(port));
        QVERIFY(!r.port->isOpen());
    }

    void retryConnectsToAServerThatCameUp()
    {
        const quint16 port = closedPort();
        Rig r(local("rfc2217", port));
        // While the box is up the server comes up; Retry connects to it.
        std::unique_ptr<ScriptedServer> server;
        r.prompter.duringNextMsg(
            [&] { server = std::make_unique<ScriptedServer>(ScriptedServer::Script {}, port); });
        r.prompter.answerMsg(MsgResult::Retry);
        r.link->OpenRSComm(r.port.get());
        QVERIFY(server);
        QVERIFY(r.link->OnlineMode);
        QVERIFY(r.port->connected());
        QCOMPARE(r.port->fault(), QString());
        QCOMPARE(r.prompter.messages().size(), 1);
        QVERIFY(r.prompter.messages()[0].text.contains(QStringLiteral("was refused")));
        QCOMPARE(server->heard(), bytes({ 0xFF }));
    }

    void hostNotAnsweringEndsAfterTheConnectTimeout()
    {
        // A listener whose queue is full drops new connections unanswered.
        quint16 port = 0;
        const int listener = listenLocal(&port, 0);
        QVERIFY(listener >= 0);
        const int filler = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a {};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(port);
        QCOMPARE(::connect(filler, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);

        Rig r(local("rfc2217", port));
        r.port->setConnectTimeoutMs(300);
        r.prompter.answerMsg(MsgResult::Cancel);
        const qint64 start = r.clock.nowMs();
        r.link->OpenRSComm(r.port.get());
        ::close(filler);
        ::close(listener);
        QVERIFY(!r.link->OnlineMode);
        QCOMPARE(r.onlyBox(),
            kNoComm
                + QStringLiteral("\rNetwork port rfc2217://127.0.0.1:%1 (COM1), 9600 baud: 127.0.0.1 did not "
                                 "answer the connection to port %1 within 300 ms.")
                      .arg(port));
        // The connect wait and then the link's own 5 s.
        QVERIFY2(r.clock.nowMs() - start >= 5300, qPrintable(QString::number(r.clock.nowMs() - start)));
    }

    void serverRefusingTheSpeedEndsInTheBox()
    {
        ScriptedServer::Script s;
        s.answerBaud = 9600;
        ScriptedServer server(s);
        Rig r(local("rfc2217", server.port()), "1,19200\r\n");
        r.prompter.answerMsg(MsgResult::Cancel);
        r.link->OpenRSComm(r.port.get());
        QVERIFY(!r.link->OnlineMode);
        QCOMPARE(r.onlyBox(),
            kNoComm
                + QStringLiteral("\rNetwork port rfc2217://127.0.0.1:%1 (COM1), 19200 baud: the server at "
                                 "127.0.0.1 port %1 refused 19200 baud (it answered 9600).")
                      .arg(server.port()));
        QCOMPARE(server.heard(), QByteArray()); // no byte reached the board
    }

    void serverRefusingTheSessionIsNotTakenForTheBoard()
    {
        // A raw port whose device is taken: the server says so and closes.
        ScriptedServer::Script s;
        s.telnet = false;
        s.sendAtConnect = "Port's device already in use\r\n";
        s.closeAtConnect = true;
        ScriptedServer server(s);
        Rig r(local("socket", server.port()));
        r.prompter.answerMsg(MsgResult::Cancel);
        r.link->OpenRSComm(r.port.get());
        QVERIFY(!r.link->OnlineMode);
        QVERIFY2(r.onlyBox().endsWith(QStringLiteral(
                     "9600 baud as set at the server: the server at 127.0.0.1 port %1 closed the "
                     "connection, saying \"Port's device already in use\".")
                                          .arg(server.port())),
            qPrintable(r.onlyBox()));
    }

    void serverClosingMidSessionEndsInTheBox()
    {
        ScriptedServer::Script s;
        s.closeAfterData = 1; // the attention byte is answered, the next byte is not
        ScriptedServer server(s);
        Rig r(local("rfc2217", server.port()));
        r.link->OpenRSComm(r.port.get());
        QVERIFY(r.link->OnlineMode);
        r.prompter.answerMsg(MsgResult::Cancel);
        const Result<QString> value = r.link->RSRead(QStringLiteral("W1026"));
        QVERIFY(!value);
        QCOMPARE(value.cause(), Cause::SilentLine);
        QVERIFY(r.link->CommError);
        QCOMPARE(r.onlyBox(),
            kNoComm
                + QStringLiteral("\rNetwork port rfc2217://127.0.0.1:%1 (COM1), 9600 baud: the server at "
                                 "127.0.0.1 port %1 closed the connection.")
                      .arg(server.port()));
    }
};

QTEST_GUILESS_MAIN(TestNetworkPort)
#include "tst_networkport.moc"
