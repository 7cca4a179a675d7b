#include "PtyServer.h"

#include <QStringList>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <termios.h>
#include <unistd.h>

#ifdef __linux__
#include <sys/prctl.h>
#endif

namespace talvek {

namespace {

constexpr std::int64_t kNsPerMs = 1000000;
constexpr std::int64_t kNsPerS = 1000000000;
constexpr std::int64_t kSpinNs = 200000; // see run()
constexpr std::int64_t kListenNs = 300000; // see run()
constexpr size_t kMaxLatenessSamples = 1000000;
constexpr int kUsbPacketBytes = 62; // payload of a full-speed FTDI packet

const char* channelKind(const K7700Sim::PLSChannel& c)
{
    return c.kind == K7700Sim::PLSChannel::Kind::Setpoints ? "setpoints"
        : c.kind == K7700Sim::PLSChannel::Kind::PulseTrain ? "pulsetrain"
                                                           : "empty";
}

bool parseNumber(const QString& text, qint64* value)
{
    bool ok = false;
    *value = text.toLongLong(&ok, 0);
    return ok;
}

} // namespace

PtyServer::PtyServer(K7700Sim& sim)
    : m_sim(sim)
{ }

PtyServer::~PtyServer()
{
    if (m_slave >= 0)
        ::close(m_slave);
    if (m_master >= 0)
        ::close(m_master);
}

std::int64_t PtyServer::nowNs()
{
    timespec ts {};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return std::int64_t(ts.tv_sec) * kNsPerS + ts.tv_nsec;
}

bool PtyServer::open(QString* error)
{
    auto fail = [error](const char* what) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(
                QLatin1String(what), QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    };
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (m_master < 0)
        return fail("posix_openpt");
    if (::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0)
        return fail("grantpt/unlockpt");
    const char* name = ::ptsname(m_master);
    if (!name)
        return fail("ptsname");
    m_slavePath = QString::fromLocal8Bit(name);
    // Held open for the server's life: no hang-up between clients.
    m_slave = ::open(name, O_RDWR | O_NOCTTY);
    if (m_slave < 0)
        return fail("open slave");
    termios t {};
    if (::tcgetattr(m_slave, &t) != 0)
        return fail("tcgetattr");
    ::cfmakeraw(&t);
    if (::tcsetattr(m_slave, TCSANOW, &t) != 0)
        return fail("tcsetattr");
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    ::fcntl(m_master, F_SETFD, FD_CLOEXEC);
    ::fcntl(m_slave, F_SETFD, FD_CLOEXEC);
#ifdef __linux__
    // Wake-ups on time, to the microsecond, for the paced replies.
    ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
#endif
    m_machineNs = nowNs();
    return true;
}

void PtyServer::setCommandInput(int inputFd, int answerFd)
{
    m_commandFd = inputFd;
    m_answerFd = answerFd;
}

void PtyServer::advanceMachine(std::int64_t now)
{
    const std::int64_t ms = (now - m_machineNs) / kNsPerMs;
    if (ms > 0) {
        m_sim.advance(ms);
        m_machineNs += ms * kNsPerMs;
    }
}

void PtyServer::received(const std::uint8_t* bytes, int count, std::int64_t now)
{
    const std::int64_t byteNs = m_baud > 0 ? 10 * kNsPerS / m_baud : 0;
    for (int i = 0; i < count; ++i) {
        // When the byte has fully arrived on a real line.
        const std::int64_t arrived = std::max(now, m_rxFreeNs) + byteNs;
        m_rxFreeNs = arrived;
        advanceMachine(now);
        const bool twice = m_faults && m_faults->beforeByte(bytes[i]);
        const K7700Sim::Reply reply = m_sim.receive(bytes[i]);
        std::int64_t start = arrived + std::int64_t(std::max(reply.delayMs, 0)) * kNsPerMs;
        for (const char c : twice ? reply.bytes + reply.bytes : reply.bytes) {
            start = std::max(start, m_txFreeNs);
            const std::int64_t lineDone = start + byteNs; // it has gone over the line
            m_txFreeNs = lineDone;
            std::int64_t due = lineDone;
            if (m_usbLatencyMs > 0) {
                // Into the adapter's buffer: it joins the bytes held there,
                // or starts the timer when the buffer is empty (or was sent).
                if (m_adapterSendNs < lineDone || m_adapterHeld >= kUsbPacketBytes) {
                    m_adapterSendNs = lineDone + std::int64_t(m_usbLatencyMs) * kNsPerMs;
                    m_adapterHeld = 0;
                }
                ++m_adapterHeld;
                due = m_adapterSendNs;
            }
            const Outgoing out { due, static_cast<std::uint8_t>(c) };
            const auto at = std::upper_bound(m_out.begin(), m_out.end(), due,
                [](std::int64_t d, const Outgoing& o) { return d < o.dueNs; });
            m_out.insert(at, out);
            start = lineDone;
        }
    }
}

bool PtyServer::flushDue(std::int64_t now)
{
    // Everything due goes in one write: bytes that reach the client together
    // (an adapter's packet) are read together.
    while (!m_out.empty() && m_out.front().dueNs <= now) {
        std::uint8_t buf[256];
        size_t count = 0;
        while (count < sizeof buf && count < m_out.size() && m_out[count].dueNs <= now) {
            buf[count] = m_out[count].byte;
            ++count;
        }
        const std::int64_t leaves = nowNs();
        const ssize_t n = ::write(m_master, buf, count);
        if (n > 0) {
            for (ssize_t i = 0; i < n; ++i) {
                if (m_lateness.size() < kMaxLatenessSamples)
                    m_lateness.push_back(leaves - m_out.front().dueNs);
                m_out.pop_front();
            }
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EINTR))
            return false; // the terminal is full; wait until it can take more
        m_out.pop_front(); // the line is broken: the byte is lost
    }
    return true;
}

QString PtyServer::takeStats()
{
    std::vector<std::int64_t> v;
    v.swap(m_lateness);
    if (v.empty())
        return QStringLiteral("replies=0");
    std::sort(v.begin(), v.end());
    auto us = [](std::int64_t ns) { return QString::number(double(ns) / 1000.0, 'f', 1); };
    return QStringLiteral("replies=%1 late-median-us=%2 late-p99-us=%3 late-max-us=%4")
        .arg(v.size())
        .arg(us(v[v.size() / 2]), us(v[v.size() * 99 / 100]), us(v.back()));
}

void PtyServer::readCommands()
{
    char buf[512];
    const ssize_t n = ::read(m_commandFd, buf, sizeof buf);
    if (n <= 0) {
        if (n == 0 || (errno != EAGAIN && errno != EINTR))
            m_commandFd = -1; // end of input: serve on without commands
        return;
    }
    m_commandBuffer.append(buf, int(n));
    int nl;
    while ((nl = int(m_commandBuffer.indexOf('\n'))) >= 0) {
        const QString line = QString::fromLocal8Bit(m_commandBuffer.left(nl)).trimmed();
        m_commandBuffer.remove(0, nl + 1);
        if (line.isEmpty())
            continue;
        advanceMachine(nowNs());
        const QByteArray answer = command(line).toLocal8Bit() + '\n';
        if (m_answerFd >= 0)
            (void)!::write(m_answerFd, answer.constData(), size_t(answer.size()));
    }
}

int PtyServer::run(const sigset_t& stopSignals)
{
    sigset_t waitMask;
    ::pthread_sigmask(SIG_SETMASK, nullptr, &waitMask);
    for (int s = 1; s < NSIG; ++s) {
        if (sigismember(&stopSignals, s) == 1)
            sigdelset(&waitMask, s);
    }

    bool canWrite = true;
    std::int64_t listenUntil = 0;
    for (;;) {
        std::int64_t now = nowNs();
        if (canWrite && !m_out.empty()) {
            canWrite = flushDue(now);
            // Paced: the PC's next byte usually follows the reply within
            // tens of microseconds. Watching for it on the clock for a moment
            // (instead of sleeping, and waking up late) keeps its arrival
            // time, from which the next reply is timed, true.
            if (m_out.empty() && m_baud > 0)
                listenUntil = nowNs() + kListenNs;
        }
        if (m_out.empty() && listenUntil > 0) {
            if (nowNs() < listenUntil) {
                std::uint8_t buf[256];
                const ssize_t n = ::read(m_master, buf, sizeof buf);
                if (n > 0) {
                    received(buf, int(n), nowNs());
                    listenUntil = 0;
                } else {
                    ::sched_yield(); // the client may be waking on this CPU
                }
                continue;
            }
            listenUntil = 0;
        }

        pollfd fds[2];
        nfds_t nfds = 0;
        fds[nfds++] = { m_master, short(POLLIN | (canWrite ? 0 : POLLOUT)), 0 };
        if (m_commandFd >= 0)
            fds[nfds++] = { m_commandFd, POLLIN, 0 };

        timespec timeout {};
        timespec* timeoutPtr = nullptr;
        if (canWrite && !m_out.empty()) {
            const std::int64_t wait = m_out.front().dueNs - nowNs();
            if (wait <= kSpinNs) {
                // A timer wake-up can be tens of microseconds late, a byte time
                // at 19200 baud is 521: the last stretch is waited out on the clock.
                // (The client waits for this reply meanwhile: no need to yield.)
                while (nowNs() < m_out.front().dueNs) { }
                continue;
            }
            timeout.tv_sec = time_t((wait - kSpinNs) / kNsPerS);
            timeout.tv_nsec = long((wait - kSpinNs) % kNsPerS);
            timeoutPtr = &timeout;
        }
        const int r = ::ppoll(fds, nfds, timeoutPtr, &waitMask);
        if (r < 0) {
            if (errno == EINTR)
                return 0; // a stop signal
            return 1;
        }
        now = nowNs();
        if (fds[0].revents & POLLOUT)
            canWrite = true;
        if (fds[0].revents & POLLIN) {
            std::uint8_t buf[256];
            const ssize_t n = ::read(m_master, buf, sizeof buf);
            if (n > 0)
                received(buf, int(n), now);
            else if (n < 0 && errno != EAGAIN && errno != EINTR && errno != EIO)
                return 1;
        }
        if (fds[0].revents & (POLLERR | POLLNVAL))
            return 1;
        if (nfds > 1 && (fds[1].revents & (POLLIN | POLLHUP | POLLERR)))
            readCommands();
    }
}

void PtyServer::setRandomFaults(double rate, std::uint32_t seed)
{
    if (rate > 0)
        m_faults.emplace(m_sim, seed, rate);
    else
        m_faults.reset();
}

QString PtyServer::command(const QString& line)
{
    const QStringList w = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (w.isEmpty())
        return QStringLiteral("error: empty command");
    const QString verb = w.at(0).toLower();
    auto ok = QStringLiteral("ok");
    qint64 a = 0;

    if (verb == QLatin1String("help") && w.size() == 1) {
        return QStringLiteral(
            "commands: get <B|W|D|F>n | set <B|W|D|F>n <value> | run | stop | speed <spm> |\n"
            "          silence <n> [after] | late <ms> | wrong [byte] | noise <byte> | dropout | restore |\n"
            "          clear (faults) | faults | pls <n> | plsdump | dump | stats | help");
    }
    if (verb == QLatin1String("run") && w.size() == 1) {
        m_sim.setRunning(true);
        return ok;
    }
    if (verb == QLatin1String("stop") && w.size() == 1) {
        m_sim.setRunning(false);
        return ok;
    }
    if (verb == QLatin1String("speed") && w.size() == 2 && parseNumber(w.at(1), &a) && a >= 0 && a <= 65535) {
        m_sim.setWord(K7700Sim::SpeedWord, quint16(a));
        return ok;
    }
    if (std::optional<QString> answer = faultCommand(verb, w))
        return *answer;
    if (std::optional<QString> answer = reportCommand(verb, w))
        return *answer;
    if (std::optional<QString> answer = memoryCommand(verb, w))
        return *answer;
    return QStringLiteral("error: unknown command %1").arg(line);
}

std::optional<QString> PtyServer::faultCommand(const QString& verb, const QStringList& w)
{
    const auto ok = QStringLiteral("ok");
    qint64 a = 0;
    qint64 b = 0;
    if (verb == QLatin1String("silence") && (w.size() == 2 || w.size() == 3) && parseNumber(w.at(1), &a)
        && (w.size() == 2 || parseNumber(w.at(2), &b))) {
        m_sim.silenceNext(int(a), int(b));
        return ok;
    }
    if (verb == QLatin1String("late") && w.size() == 2 && parseNumber(w.at(1), &a) && a >= 0) {
        m_sim.delayNextReply(int(a));
        return ok;
    }
    if (verb == QLatin1String("wrong") && w.size() <= 2) {
        if (w.size() == 1) {
            m_sim.corruptNextReply();
            return ok;
        }
        if (parseNumber(w.at(1), &a) && a >= 0 && a <= 255) {
            m_sim.corruptNextReply(std::uint8_t(a));
            return ok;
        }
    }
    if (verb == QLatin1String("noise") && w.size() == 2 && parseNumber(w.at(1), &a) && a >= 0 && a <= 255) {
        m_sim.insertNoiseBeforeNextReply(std::uint8_t(a));
        return ok;
    }
    if (verb == QLatin1String("dropout") && w.size() == 1) {
        m_sim.setDroppedOut(true);
        return ok;
    }
    if (verb == QLatin1String("restore") && w.size() == 1) {
        m_sim.setDroppedOut(false);
        if (m_faults)
            m_faults->restore();
        return ok;
    }
    if (verb == QLatin1String("clear") && w.size() == 1) {
        m_sim.clearFaults();
        return ok;
    }
    if (verb == QLatin1String("faults") && w.size() == 1) {
        QString answer = QStringLiteral("injected=%1 bytes=%2")
                             .arg(m_faults ? m_faults->injected() : 0)
                             .arg(m_faults ? m_faults->bytes() : 0);
        for (int f = 0; f < LineFaultCount; ++f) {
            answer += QStringLiteral(" %1=%2")
                          .arg(QLatin1String(lineFaultName(LineFault(f))))
                          .arg(m_faults ? m_faults->injected(LineFault(f)) : 0);
        }
        return answer;
    }
    return std::nullopt;
}

std::optional<QString> PtyServer::reportCommand(const QString& verb, const QStringList& w)
{
    qint64 a = 0;
    if (verb == QLatin1String("dump") && w.size() == 1) {
        QByteArray memory(K7700Sim::MemorySize, '\0');
        for (int address = 0; address < K7700Sim::MemorySize; ++address)
            memory[address] = char(m_sim.byte(address));
        return QString::fromLatin1(memory.toHex());
    }
    if (verb == QLatin1String("plsdump") && w.size() == 1) {
        QString answer
            = QStringLiteral("scale=%1 offset=%2").arg(m_sim.plsScaleFactor()).arg(m_sim.plsOffset());
        for (int ch = 0; ch < K7700Sim::PLSChannelCount; ++ch) {
            const K7700Sim::PLSChannel c = m_sim.plsChannel(ch);
            answer += QStringLiteral(" %1:%2:%3:%4:%5")
                          .arg(QLatin1String(channelKind(c)))
                          .arg(c.on)
                          .arg(c.off)
                          .arg(c.onDivisions)
                          .arg(c.offDivisions);
        }
        return answer;
    }
    if (verb == QLatin1String("pls") && w.size() == 2 && parseNumber(w.at(1), &a) && a >= 0 && a < 16) {
        const K7700Sim::PLSChannel c = m_sim.plsChannel(int(a));
        return QStringLiteral("%1 %2 %3").arg(QLatin1String(channelKind(c))).arg(c.on).arg(c.off);
    }
    if (verb == QLatin1String("stats") && w.size() == 1)
        return takeStats();
    return std::nullopt;
}

std::optional<QString> PtyServer::memoryCommand(const QString& verb, const QStringList& w)
{
    const auto ok = QStringLiteral("ok");
    if ((verb == QLatin1String("get") && w.size() == 2) || (verb == QLatin1String("set") && w.size() == 3)) {
        const QString address = w.at(1).toUpper();
        const std::optional<qint64> current = m_sim.valueAt(address);
        if (!current || (verb == QLatin1String("set") && address.contains(QLatin1Char('.'))))
            return QStringLiteral("error: bad address %1").arg(w.at(1));
        if (verb == QLatin1String("get"))
            return QStringLiteral("%1=%2").arg(address).arg(*current);
        const QChar type = address.at(0);
        const int n = address.mid(1).toInt();
        qint64 v = 0;
        if (!parseNumber(w.at(2), &v) || v < 0)
            return QStringLiteral("error: bad value %1").arg(w.at(2));
        switch (type.toLatin1()) {
        case 'B':
            if (v > 255)
                return QStringLiteral("error: bad value %1").arg(w.at(2));
            m_sim.setByte(n, std::uint8_t(v));
            break;
        case 'W':
            if (v > 65535)
                return QStringLiteral("error: bad value %1").arg(w.at(2));
            m_sim.setWord(n, quint16(v));
            break;
        case 'D':
            if (v >= K7700Sim::DwordLimit)
                return QStringLiteral("error: bad value %1").arg(w.at(2));
            m_sim.setD(n, v);
            break;
        default:
            if (v > 1)
                return QStringLiteral("error: bad value %1").arg(w.at(2));
            m_sim.setFlag(n, v == 1);
            break;
        }
        return ok;
    }
    return std::nullopt;
}
} // namespace talvek
