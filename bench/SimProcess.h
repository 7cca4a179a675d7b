#pragma once

// k7700-sim as a process for the benchmarks: started on a pseudo-terminal
// linked as a port of a program folder, asked through its command input.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace talvek::bench {

struct SimProcess
{
    QProcess process;
    QString device;
    bool start(const QString& bin, const QString& folder, int port, const QStringList& extra)
    {
        process.setProgram(bin);
        process.setArguments(QStringList { QStringLiteral("--program-folder"), folder,
                                 QStringLiteral("--port"), QString::number(port) }
            + extra);
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start();
        if (!process.waitForStarted(5000))
            return false;
        while (!process.canReadLine()) {
            if (!process.waitForReadyRead(10000))
                return false;
        }
        device = QString::fromLocal8Bit(process.readLine()).trimmed();
        return true;
    }
    QString ask(const QString& line)
    {
        process.write(line.toLocal8Bit() + '\n');
        while (!process.canReadLine()) {
            if (!process.waitForReadyRead(5000))
                return QStringLiteral("<no answer>");
        }
        return QString::fromLocal8Bit(process.readLine()).trimmed();
    }
    // Replies written since the last call (the simulator's own count).
    qint64 replies()
    {
        const QString stats = ask(QStringLiteral("stats"));
        const QString head = stats.section(QLatin1Char(' '), 0, 0);
        return head.startsWith(QLatin1String("replies=")) ? head.mid(8).toLongLong() : -1;
    }
    ~SimProcess()
    {
        if (process.state() != QProcess::NotRunning) {
            process.terminate();
            process.waitForFinished(5000);
        }
    }
};

// The port settings file of the program folder: port and speed.
inline bool writeSettings(const QString& folder, int port, int baud)
{
    QDir().mkpath(folder + QStringLiteral("/support"));
    QFile f(folder + QStringLiteral("/support/RSPort.cfg"));
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    f.write(QStringLiteral("%1,%2\r\n").arg(port).arg(baud).toLatin1());
    return true;
}

} // namespace talvek::bench
