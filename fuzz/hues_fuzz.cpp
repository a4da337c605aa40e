// Hues: the whole file is read once into a table of ramps. The input is the file.
#include "fuzz/fuzzsupport.h"
#include "tiles/huetable.h"


namespace {
QString g_path;

// Whole 88-byte entries the file holds, counted the way its layout is described: groups of a
// 4-byte header and 8 entries.
int wholeEntries(qint64 size)
{
    const qint64 group = 4 + 8 * 88;
    const qint64 rest = size % group;
    return int(size / group * 8 + (rest >= 4 ? std::min<qint64>((rest - 4) / 88, 8) : 0));
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    g_path = fuzz::initEnvironment() + QStringLiteral("/hues.mul");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (!fuzz::writeFile(g_path, QByteArrayView(reinterpret_cast<const char *>(data), qsizetype(size))))
        return 0;
    const HueTable table;
    FUZZ_CHECK(table.count() == wholeEntries(qint64(size)));
    for (int n : {-1, 0, table.count() + 1})
        FUZZ_CHECK(table.hue(n).isEmpty());
    for (int n = 1; n <= table.count(); ++n) {
        const Hue hue = table.hue(n);
        FUZZ_CHECK(hue.id() == n);
        FUZZ_CHECK(hue.name().size() <= 20);
        // A hue maps every colour through its ramp, grey ones always, others only when whole.
        for (quint16 c : {quint16(0), quint16(0x7FFF), quint16(0x8000 | 0x4210), quint16(0x001F), quint16(0xFFFF)}) {
            hue.apply(c, false);
            hue.apply(c, true);
        }
        FUZZ_CHECK(hue.colour(-1) == 0 && hue.colour(32) == 0);
    }
    return 0;
}
