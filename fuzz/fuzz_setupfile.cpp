// The set-up file reader on any bytes: a refused file leaves the record as it
// was; an accepted one has no more rows than its bytes can hold and writes
// back to exactly the bytes it was read from.
#include "FuzzCheck.h"
#include "shared/SetupFile.h"

using namespace talvek;

namespace {

MachineData sentinel()
{
    MachineData r;
    r.Version = QStringLiteral("sentinel");
    r.ParamAddress = { QStringLiteral("W1026"), QStringLiteral("D1100") };
    r.ParamValue = { 300, 1234567 };
    r.PlsChannelCount = 16;
    r.PlsScaleFactor = 360;
    r.OnSetpoint[3] = 45;
    return r;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes = fuzz::bytesOf(data, size);
    const MachineData before = sentinel();
    MachineData record = before;
    QString reason;
    if (!decodeSetupRecord(bytes, record, &reason)) {
        FUZZ_CHECK(record == before, "a refused file changed the record");
        FUZZ_CHECK(!reason.isEmpty(), "a refused file without a reason");
        return 0;
    }
    // Every address row takes at least its 2-byte length, every value 4 bytes.
    const qint64 rows = record.ParamAddress.size() + record.ParamValue.size();
    FUZZ_CHECK(rows * 2 <= qint64(size), "more rows than the file can hold");
    FUZZ_CHECK(record.ParamValue.size() * 4 <= qint64(size), "more values than the file can hold");

    QByteArray again;
    FUZZ_CHECK(encodeSetupRecord(record, again, &reason), "an accepted record does not write back");
    FUZZ_CHECK(again.size() <= bytes.size(), "the record written back is longer than the file");
    FUZZ_CHECK(again == bytes.left(again.size()), "the record written back differs from the file");

    MachineData back;
    FUZZ_CHECK(decodeSetupRecord(again, back, &reason), "a written record does not read back");
    FUZZ_CHECK(back == record, "the round trip changed the record");
    return 0;
}
