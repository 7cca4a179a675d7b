#include "cli/AllPresses.h"

#include <QDir>
#include <QProcess>
#include <memory>
#include <vector>

namespace talvek {

namespace {

// The first line a press's run wrote to stderr, without the program's name.
QString firstError(const QByteArray& err)
{
    QString line = QString::fromLocal8Bit(err).section(QLatin1Char('\n'), 0, 0).trimmed();
    const QLatin1String prefix("talvek-cli: ");
    if (line.startsWith(prefix))
        line = line.mid(prefix.size());
    return line;
}

QString outcomeLine(const PlantPress& press, const AllPressesRun& run, const QProcess& p,
    const QByteArray& out, const QByteArray& err, const QString& file)
{
    const bool crashed = p.exitStatus() != QProcess::NormalExit;
    const int exit = crashed ? -1 : p.exitCode();
    const QString text = QString::fromLocal8Bit(out).trimmed();
    if (exit == 0 && run.command == QLatin1String("upload"))
        return QStringLiteral("%1: uploaded to %2").arg(press.name, QDir::toNativeSeparators(file));
    if (exit == 0 && run.command == QLatin1String("compare"))
        return QStringLiteral("%1: same as %2").arg(press.name, QDir::toNativeSeparators(press.setupFile));
    if (exit == 1 && run.command == QLatin1String("compare")) {
        const qsizetype n = text.split(QLatin1Char('\n'), Qt::SkipEmptyParts).size();
        return QStringLiteral("%1: %2 difference%3 from %4")
            .arg(press.name)
            .arg(n)
            .arg(n == 1 ? QString() : QStringLiteral("s"))
            .arg(QDir::toNativeSeparators(press.setupFile));
    }
    if (exit == 0)
        return QStringLiteral("%1: %2").arg(
            press.name, text.split(QLatin1Char('\n')).join(QStringLiteral("; ")));
    const QString why = crashed ? QStringLiteral("talvek-cli ended abnormally") : firstError(err);
    return QStringLiteral("%1: failed (exit %2): %3").arg(press.name).arg(exit).arg(why);
}

} // namespace

std::optional<QString> allPressesProblem(const QString& command, const QStringList& rest, bool hasOutput)
{
    const bool all = rest == QStringList { QStringLiteral("all") };
    if (command == QLatin1String("upload") && all && hasOutput)
        return std::nullopt;
    if (command == QLatin1String("compare") && all && !hasOutput)
        return std::nullopt;
    if (command == QLatin1String("status") && rest.isEmpty() && !hasOutput)
        return std::nullopt;
    return QStringLiteral("--all-presses runs \"upload all -o DIR\", \"compare all\" or \"status\"");
}

int runAllPresses(const PlantFile& plant, const AllPressesRun& run, QTextStream& out, QTextStream& err)
{
    if (plant.presses.isEmpty()) {
        err << "talvek-cli: " << QDir::toNativeSeparators(plant.path) << ": no presses\n" << Qt::flush;
        return 3;
    }
    if (run.command == QLatin1String("upload") && !QDir(run.outputDir).exists()) {
        err << "talvek-cli: " << QDir::toNativeSeparators(run.outputDir) << ": no such folder\n" << Qt::flush;
        return 3;
    }
    std::vector<std::unique_ptr<QProcess>> runs;
    std::vector<bool> started;
    QStringList files;
    for (const PlantPress& press : plant.presses) {
        QStringList args = run.forwarded;
        args << QStringLiteral("--plant") << plant.path << QStringLiteral("--press") << press.name
             << run.command << run.rest;
        QString file;
        if (run.command == QLatin1String("upload")) {
            file = QDir(run.outputDir).absoluteFilePath(press.name + QStringLiteral(".sdt"));
            args << QStringLiteral("-o") << file;
        }
        if (run.command == QLatin1String("compare"))
            args << QStringLiteral("-i") << press.setupFile;
        files << file;
        auto p = std::make_unique<QProcess>();
        const bool willRun = run.command != QLatin1String("compare") || !press.setupFile.isEmpty();
        if (willRun)
            p->start(run.program, args);
        started.push_back(willRun && p->waitForStarted(10000));
        runs.push_back(std::move(p));
    }
    int result = 0;
    bool differs = false;
    for (qsizetype i = 0; i < plant.presses.size(); ++i) {
        const PlantPress& press = plant.presses.at(i);
        QProcess& p = *runs[size_t(i)];
        if (!started[size_t(i)]) {
            if (run.command == QLatin1String("compare") && press.setupFile.isEmpty())
                out << press.name << ": failed: no approved set-up file in the plant file (line "
                    << press.line << ")\n";
            else
                out << press.name << ": failed: talvek-cli could not be started (" << p.errorString()
                    << ")\n";
            result = result ? result : 3;
            continue;
        }
        // Each run ends within its own link's timeouts.
        p.waitForFinished(-1);
        const QByteArray o = p.readAllStandardOutput();
        const QByteArray e = p.readAllStandardError();
        out << outcomeLine(press, run, p, o, e, files.at(i)) << '\n' << Qt::flush;
        const int exit = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : 9;
        if (exit == 1 && run.command == QLatin1String("compare"))
            differs = true;
        else if (exit != 0 && result == 0)
            result = exit;
    }
    return result ? result : (differs ? 1 : 0);
}

} // namespace talvek
