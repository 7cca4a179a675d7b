// The code-table reader on any file: the first input byte picks the code
// looked up and the match rule, the rest is the table. The reader stays
// within the file, reports a status that fits, and the two match rules agree
// on whether the code is there.
#include "FuzzCheck.h"
#include "link/CodeTables.h"

#include <QBuffer>

using namespace talvek;

namespace {

CodeLookup lookUp(const QByteArray& table, const QString& code, CodeMatch match)
{
    QByteArray copy = table;
    QBuffer device(&copy);
    device.open(QIODevice::ReadOnly);
    return lookupCodeText(device, code, match);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const QString code = codeHexText(qint16(data[0]));
    const QByteArray table = fuzz::bytesOf(data + 1, size - 1);

    const CodeLookup first = lookUp(table, code, CodeMatch::First);
    const CodeLookup last = lookUp(table, code, CodeMatch::Last);
    for (const CodeLookup* r : { &first, &last }) {
        FUZZ_CHECK(r->status != CodeLookup::Status::FileMissing, "an open device reported missing");
        FUZZ_CHECK(r->description.size() <= table.size(), "a description longer than the table");
        if (r->status == CodeLookup::Status::Found)
            FUZZ_CHECK(r->matched, "found without a match");
        if (r->status == CodeLookup::Status::NotFound)
            FUZZ_CHECK(!r->matched && r->description.isEmpty(), "not found, yet a match");
        if (r->status == CodeLookup::Status::ReadError)
            FUZZ_CHECK(r->errorNumber != 0, "a read error without its number");
    }
    // The first match stops reading, so it is found whenever any match is.
    if (last.matched)
        FUZZ_CHECK(first.status == CodeLookup::Status::Found, "the last match found, the first not");
    if (first.status == CodeLookup::Status::Found && last.status != CodeLookup::Status::ReadError)
        FUZZ_CHECK(last.status == CodeLookup::Status::Found, "the first match found, the last not");
    return 0;
}
