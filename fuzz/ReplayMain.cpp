// Replays inputs through a fuzz target without libFuzzer: every file named on
// the command line, and every file inside every folder named, once each, in
// name order. This is how the committed seed corpus runs as an ordinary test
// with any compiler.
#include "FuzzCheck.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdio>

namespace {

bool replayFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", qPrintable(path));
        return false;
    }
    const QByteArray input = file.readAll();
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(input.constData()),
        static_cast<std::size_t>(input.size()));
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    int replayed = 0;
    bool ok = true;
    const QStringList args = app.arguments().mid(1);
    if (args.isEmpty()) {
        std::fprintf(stderr, "usage: %s FILE|FOLDER...\n", argv[0]);
        return 2;
    }
    for (const QString& arg : args) {
        const QFileInfo info(arg);
        if (info.isDir()) {
            const QFileInfoList entries
                = QDir(arg).entryInfoList(QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
            for (const QFileInfo& entry : entries) {
                ok = replayFile(entry.filePath()) && ok;
                ++replayed;
            }
        } else {
            ok = replayFile(arg) && ok;
            ++replayed;
        }
    }
    std::printf("replayed %d inputs\n", replayed);
    return ok && replayed > 0 ? 0 : 1;
}
