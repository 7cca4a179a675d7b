// The program file set on any contents: the input holds the four files
// (program, revision, image, configuration) separated by NUL bytes. They are
// written to a folder, selected for download (validation with its messages)
// and, when valid, downloaded into the in-process simulator, the operator
// answering Yes to every question.
//
// What must hold: a download reported complete put every data record of the
// image into the board's memory; a refused image sent nothing in program mode.
#include "base/Clock.h"
#include "base/FieldInput.h"
#include "base/ProgramFolder.h"
#include "FuzzCheck.h"
#include "K7700Sim.h"
#include "link/RSComm.h"
#include "ScriptedPrompter.h"
#include "SimPort.h"

#include <QFile>
#include <QMap>
#include <QTemporaryDir>

using namespace talvek;

namespace {

void writeFile(const QString& path, const QByteArray& data)
{
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(data);
}

// What the board must hold after a complete download: the data records of the
// image applied in order (a later record overwrites an earlier one). Each
// line (ended by CR or LF; Ctrl+Z ends the text) is read as the first field
// of the field input, as the link reads it; the record in that field is then
// read strictly: ":LLAAAA00", LL data bytes and a checksum, in upper- or
// lower-case hexadecimal.
QMap<int, quint8> expectedMemory(const QByteArray& image)
{
    QMap<int, quint8> memory;
    const qsizetype end = image.indexOf('\x1a');
    QByteArray text = image.left(end < 0 ? image.size() : end);
    text.replace('\r', '\n');
    for (const QByteArray& raw : text.split('\n')) {
        const QByteArray line = FieldInput(raw).next().toLatin1();
        if (!line.startsWith(':'))
            continue;
        const QByteArray digits = line.mid(1);
        bool hex = digits.size() >= 10 && digits.size() % 2 == 0;
        for (const char c : digits)
            hex = hex && std::isxdigit(static_cast<unsigned char>(c));
        if (!hex)
            continue;
        const QByteArray bytes = QByteArray::fromHex(digits);
        const int length = quint8(bytes.at(0));
        int sum = 0;
        for (const char b : bytes)
            sum += quint8(b);
        if (bytes.at(3) != 0 || bytes.size() != length + 5 || (sum & 0xFF) != 0)
            continue;
        const int address = quint8(bytes.at(1)) * 256 + quint8(bytes.at(2));
        for (int i = 0; i < length; ++i)
            memory[(address + i) & 0xFFFF] = quint8(bytes.at(4 + i));
    }
    return memory;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > 8192)
        return 0;
    static QTemporaryDir dir;
    QList<QByteArray> parts = fuzz::bytesOf(data, size).split('\0');
    while (parts.size() < 4)
        parts.append(QByteArray());
    const QString base = dir.filePath(QStringLiteral("P."));
    QFile::remove(base + QStringLiteral("lcf"));
    writeFile(base + QStringLiteral("nvk"), parts.at(0));
    writeFile(base + QStringLiteral("rev"), parts.at(1));
    writeFile(base + QStringLiteral("hex"), parts.at(2));
    if (!parts.at(3).isEmpty())
        writeFile(base + QStringLiteral("lcf"), parts.at(3));

    K7700Sim sim;
    FakeClock clock;
    test::ScriptedPrompter prompter;
    prompter.setDefaultMsgAnswer(MsgResult::Yes);
    ProgramFolder folder(dir.path());
    test::SimPort port(sim, clock);
    RSComm rs(folder, clock, prompter);
    rs.OpenRSComm(&port);
    FUZZ_CHECK(rs.OnlineMode, "the simulator did not answer");

    rs.setDownloadFile(base + QStringLiteral("nvk"));
    if (!rs.ValidProgram())
        return 0;
    for (int a = 0; a < 0x10000; a += 0x100)
        sim.setByte(a, 0xA5); // a mark the download has to overwrite where it writes
    const bool complete = rs.DumpProgram().ok();
    const QList<test::PromptCall> shown = prompter.messages();
    FUZZ_CHECK(complete == (!shown.isEmpty() && shown.last().text == QLatin1String("Program Download Complete!")),
        "the download's outcome and its last message disagree");
    if (!complete) {
        FUZZ_CHECK(sim.programRecords() == 0 || rs.CommError || !shown.isEmpty(),
            "a download that stopped said nothing");
        return 0;
    }
    FUZZ_CHECK(!rs.CommError, "a download reported complete after a link failure");
    const QMap<int, quint8> memory = expectedMemory(parts.at(2));
    for (auto it = memory.cbegin(); it != memory.cend(); ++it)
        FUZZ_CHECK(sim.byte(it.key()) == it.value(),
            "a download reported complete left a record byte out of the board");
    return 0;
}
