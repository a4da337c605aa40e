// The editor's own multi files (".mlt"): the whole input is the file.
#include "fuzz/fuzzsupport.h"
#include "world/multi.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::initEnvironment();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const QList<MultiComponent> components = readMlt(bytes);
    // Whole records only: a cut last record is dropped.
    FUZZ_CHECK(components.size() == bytes.size() / MultiComponent::RecordSize);
    const auto *p = reinterpret_cast<const uchar *>(bytes.constData());
    for (const MultiComponent &c : components) {
        FUZZ_CHECK(c.id == qFromLittleEndian<quint16>(p));
        FUZZ_CHECK(c.dx == qFromLittleEndian<qint16>(p + 2));
        FUZZ_CHECK(c.dy == qFromLittleEndian<qint16>(p + 4));
        FUZZ_CHECK(c.dz == qFromLittleEndian<qint16>(p + 6));
        FUZZ_CHECK(c.visible() == qFromLittleEndian<quint16>(p + 8));
        FUZZ_CHECK(c.hue() == qFromLittleEndian<quint16>(p + 10));
        p += MultiComponent::RecordSize;
    }
    return 0;
}
