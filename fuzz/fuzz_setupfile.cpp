#include "setupfile.h"

#include <cstdint>
#include <cstdlib>

// Whatever the bytes, the reader answers without harm; positions it takes are inside their
// ranges, and the writer's bytes for them read back to the same positions.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    ChipSettings::Positions positions = ChipSettings::startPositions();
    if (!SetupFile::parse(bytes, &positions).isEmpty())
        return 0;
    for (int i = 0; i < ChipSettings::kCount; ++i) {
        const ChipSettings::Setting &s = ChipSettings::settings[std::size_t(i)];
        if (positions[std::size_t(i)] < s.minimum || positions[std::size_t(i)] > s.maximum)
            std::abort();
    }
    ChipSettings::Positions again {};
    if (!SetupFile::parse(SetupFile::serialize(positions), &again).isEmpty() || again != positions)
        std::abort();
    return 0;
}
