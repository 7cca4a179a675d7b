#pragma once

// talvek-cli run in-process on the simulator, with what it printed.

#include "base/Clock.h"
#include "base/ProgramFolder.h"
#include "cli/TalvekCli.h"
#include "K7700Sim.h"
#include "SimPort.h"

#include <QTemporaryDir>
#include <QTextStream>
#include <functional>

namespace talvek::test {

// talvek-cli on a simulator port, with what it printed.
struct Cli
{
    K7700Sim& sim;
    FakeClock clock;
    QTemporaryDir dir;
    ProgramFolder folder { dir.path() };
    SimPort* port = nullptr; // the port of the last run
    std::function<void(SimPort&)> preparePort;
    QString out;
    QString err;

    explicit Cli(K7700Sim& s)
        : sim(s)
    { }

    int run(const QStringList& args)
    {
        out.clear();
        err.clear();
        QTextStream outStream(&out);
        QTextStream errStream(&err);
        CliContext context { folder, clock, outStream, errStream, false,
            [this](const ProgramFolder&, const QString&) -> std::unique_ptr<SerialPortControl> {
                auto p = std::make_unique<SimPort>(sim, clock);
                port = p.get();
                if (preparePort)
                    preparePort(*p);
                return p;
            } };
        const int code = runTalvekCli(args, context);
        port = nullptr;
        return code;
    }
    QString path(const QString& name) const { return dir.filePath(name); }
};

} // namespace talvek::test
