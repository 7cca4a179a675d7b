// Upload All through ser2net on 127.0.0.1 against the pseudo-terminal of the
// same k7700-sim directly, paired round by round: the pty, RFC 2217 and raw
// TCP in turn, each a whole session (open, Upload All, close) of which the
// transfer is timed. Once with the simulator answering at once, once paced
// like a 19200 baud line. Then talvek-cli --all-presses upload all of eight
// simulated presses behind one ser2net against talvek-cli --press of one.
//
//   bench_network [ROUNDS] [K7700_SIM] [SER2NET]

#include "SimProcess.h"
#include "base/Clock.h"
#include "base/ProgramFolder.h"
#include "base/Prompter.h"
#include "link/QtSerialPortControl.h"
#include "link/RSComm.h"
#include "shared/DataTransfer.h"
#include "shared/MachineData.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

using namespace talvek;
using namespace talvek::bench;

namespace {

class CountingPrompter final : public Prompter
{
public:
    MsgResult msgBox(const QString& text, const QString&, MsgIcon, MsgButtons, MsgDefault) override
    {
        ++boxes;
        std::fprintf(stderr, "box: %s\n", qPrintable(text));
        return MsgResult::Cancel;
    }
    std::optional<QString> inputBox(const QString&, const QString&, const QString&) override { return {}; }
    std::optional<QString> openFileName(const FileDialogRequest&) override { return {}; }
    std::optional<QString> saveFileName(const FileDialogRequest&) override { return {}; }
    bool showHelp(const QString&) override { return false; }
    int boxes = 0;
};

double median(std::vector<double> v)
{
    if (v.empty())
        return -1;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

quint16 freePort()
{
    QTcpServer s;
    return s.listen(QHostAddress::LocalHost, 0) ? s.serverPort() : 0;
}

// One Upload All over the device or URL (empty: port 1 of the folder); its
// seconds, or -1 when it failed.
double uploadAll(const ProgramFolder& folder, const QString& device, CountingPrompter& prompter)
{
    SteadyClock clock;
    QtSerialPortControl port(folder);
    port.setDevice(device);
    ProgramFolder f = folder;
    RSComm rs(f, clock, prompter);
    rs.OpenRSComm(&port);
    if (!rs.OnlineMode)
        return -1;
    const auto t0 = std::chrono::steady_clock::now();
    DataTransfer t(rs, CurrentData, { [] {}, {}, {} });
    const bool moved = bool(t.run(kTransferAll, ParamCount));
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const bool ok = moved && !rs.CommError;
    rs.CloseRSComm();
    return ok ? seconds : -1;
}

bool runSet(const char* label, const QStringList& simArgs, int rounds, const QString& simBin,
    const QString& ser2netBin, CountingPrompter& prompter)
{
    QTemporaryDir dir;
    SimProcess sim;
    if (!sim.start(simBin, dir.path(), 1, simArgs))
        return false;
    const quint16 telnetPort = freePort();
    const quint16 rawPort = freePort();
    const QString config = QStringLiteral(
        "connection: &t\n    accepter: telnet(rfc2217),tcp,127.0.0.1,%1\n    connector: "
        "serialdev,%3,9600n81,local\n"
        "    options:\n      chardelay: false\n"
        "connection: &r\n    accepter: tcp,127.0.0.1,%2\n    connector: serialdev,%3,9600n81,local\n"
        "    options:\n      chardelay: false\n")
                               .arg(telnetPort)
                               .arg(rawPort)
                               .arg(sim.device);
    QFile cfg(dir.filePath(QStringLiteral("ser2net.yaml")));
    if (!cfg.open(QIODevice::WriteOnly) || cfg.write(config.toUtf8()) < 0)
        return false;
    cfg.close();
    QProcess ser2net;
    ser2net.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    ser2net.setStandardOutputFile(QProcess::nullDevice());
    ser2net.start(ser2netBin,
        { QStringLiteral("-n"), QStringLiteral("-c"), cfg.fileName(), QStringLiteral("-P"),
            dir.filePath(QStringLiteral("ser2net.pid")) });
    if (!ser2net.waitForStarted(5000))
        return false;
    QThread::msleep(500); // its start-up
    // The link at 19200 baud, as the server's port is set to by RFC 2217.
    QFile settings(dir.filePath(QStringLiteral("support/RSPort.cfg")));
    if (!settings.open(QIODevice::WriteOnly) || settings.write("1,19200\r\n") != 9)
        return false;
    settings.close();
    const ProgramFolder folder(dir.path());
    const QStringList devices { QString(), QStringLiteral("rfc2217://127.0.0.1:%1").arg(telnetPort),
        QStringLiteral("socket://127.0.0.1:%1").arg(rawPort) };
    std::vector<std::vector<double>> seconds(3);
    std::vector<std::vector<double>> ratios(2);
    bool ok = true;
    for (int round = 0; round < rounds && ok; ++round) {
        double t[3] = { 0, 0, 0 };
        for (int k = 0; k < 3 && ok; ++k) {
            // ser2net lets the device go a moment after a session ends.
            QThread::msleep(200);
            t[k] = uploadAll(folder, devices[k], prompter);
            ok = t[k] > 0;
            seconds[size_t(k)].push_back(t[k]);
        }
        if (ok) {
            ratios[0].push_back(t[1] / t[0]);
            ratios[1].push_back(t[2] / t[0]);
        }
    }
    ser2net.terminate();
    ser2net.waitForFinished(5000);
    if (!ok) {
        std::printf("  %s: a run failed\n", label);
        return false;
    }
    std::printf("  %s: Upload All pty %.3f s, rfc2217 %.3f s (%.3fx), raw TCP %.3f s (%.3fx); %d rounds\n",
        label, median(seconds[0]), median(seconds[1]), median(ratios[0]), median(seconds[2]),
        median(ratios[1]), rounds);
    return true;
}

// talvek-cli --all-presses upload all of `count` simulated presses behind one
// ser2net against one press alone (talvek-cli --press), paired round by round.
bool allPresses(
    int count, int rounds, const QString& simBin, const QString& ser2netBin, const QString& cliBin)
{
    QTemporaryDir dir;
    std::vector<std::unique_ptr<SimProcess>> sims;
    QString config;
    QString plant;
    for (int i = 1; i <= count; ++i) {
        auto sim = std::make_unique<SimProcess>();
        if (!sim->start(simBin, dir.path(), i, { QStringLiteral("--baud"), QStringLiteral("19200") }))
            return false;
        const quint16 port = freePort();
        config += QStringLiteral(
            "connection: &p%1\n    accepter: telnet(rfc2217),tcp,127.0.0.1,%2\n"
            "    connector: serialdev,%3,9600n81,local\n    options:\n      chardelay: false\n")
                      .arg(i)
                      .arg(port)
                      .arg(sim->device);
        plant += QStringLiteral("press%1, rfc2217://127.0.0.1:%2, 19200\n").arg(i).arg(port);
        sims.push_back(std::move(sim));
    }
    QFile cfg(dir.filePath(QStringLiteral("ser2net.yaml")));
    QFile plantFile(dir.filePath(QStringLiteral("plant.cfg")));
    if (!cfg.open(QIODevice::WriteOnly) || cfg.write(config.toUtf8()) < 0
        || !plantFile.open(QIODevice::WriteOnly) || plantFile.write(plant.toUtf8()) < 0)
        return false;
    cfg.close();
    plantFile.close();
    QProcess ser2net;
    ser2net.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    ser2net.setStandardOutputFile(QProcess::nullDevice());
    ser2net.start(ser2netBin,
        { QStringLiteral("-n"), QStringLiteral("-c"), cfg.fileName(), QStringLiteral("-P"),
            dir.filePath(QStringLiteral("ser2net.pid")) });
    if (!ser2net.waitForStarted(5000))
        return false;
    QThread::msleep(500);
    const QStringList common { QStringLiteral("--program-folder"), dir.path(), QStringLiteral("--journal"),
        QStringLiteral("off"), QStringLiteral("--plant"), plantFile.fileName() };
    const auto timed = [&](const QStringList& args) {
        QThread::msleep(200);
        const auto t0 = std::chrono::steady_clock::now();
        QProcess p;
        p.start(cliBin, common + args);
        const bool ok
            = p.waitForFinished(120000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
        if (!ok)
            std::fprintf(stderr, "%s\n", p.readAllStandardError().constData());
        return ok ? std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count() : -1.0;
    };
    std::vector<double> one;
    std::vector<double> all;
    std::vector<double> ratios;
    bool ok = true;
    for (int round = 0; round < rounds && ok; ++round) {
        const double a
            = timed({ QStringLiteral("--press"), QStringLiteral("press1"), QStringLiteral("upload"),
                QStringLiteral("all"), QStringLiteral("-o"), dir.filePath(QStringLiteral("one.sdt")) });
        const double b = timed({ QStringLiteral("--all-presses"), QStringLiteral("upload"),
            QStringLiteral("all"), QStringLiteral("-o"), dir.path() });
        ok = a > 0 && b > 0;
        one.push_back(a);
        all.push_back(b);
        ratios.push_back(b / a);
    }
    ser2net.terminate();
    ser2net.waitForFinished(5000);
    if (!ok) {
        std::printf("  --all-presses: a run failed\n");
        return false;
    }
    std::printf(
        "  talvek-cli upload all, sim paced at 19200 baud: one press %.3f s, --all-presses of %d %.3f s "
        "(%.3fx); %d rounds\n",
        median(one), count, median(all), median(ratios), rounds);
    return true;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const QStringList args = app.arguments().mid(1);
    const int rounds = args.size() > 0 ? std::max(1, args.at(0).toInt()) : 7;
    QString simBin = args.size() > 1 ? args.at(1) : qEnvironmentVariable("TALVEK_SIM_BIN");
    if (simBin.isEmpty())
        simBin = QCoreApplication::applicationDirPath() + QStringLiteral("/../bin/k7700-sim");
    const QString ser2netBin = args.size() > 2
        ? args.at(2)
        : QStandardPaths::findExecutable(
            QStringLiteral("ser2net"), { QStringLiteral("/usr/sbin"), QStringLiteral("/usr/bin") });
    if (!QFileInfo(simBin).isExecutable() || ser2netBin.isEmpty()) {
        std::fprintf(stderr, "k7700-sim or ser2net not found\n");
        return 2;
    }
    InitMachineData();
    CountingPrompter prompter;
    std::printf(
        "Upload All through ser2net on 127.0.0.1 against the pty, paired (median, ratio to the pty)\n");
    bool ok = runSet("sim answering at once", {}, rounds, simBin, ser2netBin, prompter);
    ok = runSet("sim paced at 19200 baud", { QStringLiteral("--baud"), QStringLiteral("19200") }, rounds,
             simBin, ser2netBin, prompter)
        && ok;
    const QString cliBin = QFileInfo(simBin).absolutePath() + QStringLiteral("/talvek-cli");
    ok = allPresses(8, rounds, simBin, ser2netBin, cliBin) && ok;
    return ok && prompter.boxes == 0 ? 0 : 1;
}
