// The port settings file's contents: whatever the file holds, the link either
// refuses it with a run-time error or ends with a port number it can map and
// a speed it can open.
#include "base/BasicError.h"
#include "FuzzCheck.h"
#include "link/CommPortSettings.h"

using namespace talvek;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray contents = fuzz::bytesOf(data, size);
    PortSettings settings;
    try {
        settings = parsePortSettings(contents);
    } catch (const BasicError& e) {
        FUZZ_CHECK(e.number() == 13 || e.number() == 6 || e.number() == 62, "an unexpected error number");
        return 0;
    }
    FUZZ_CHECK(settings.port >= 1 && settings.port <= 99, "a port number outside 1..99");
    FUZZ_CHECK(settings.speed == QLatin1String("9600") || settings.speed == QLatin1String("19200"),
        "a speed text the port can not open");
    // Reading is deterministic: the same bytes give the same settings.
    const PortSettings again = parsePortSettings(contents);
    FUZZ_CHECK(again.port == settings.port && again.speed == settings.speed, "two readings differ");
    return 0;
}
