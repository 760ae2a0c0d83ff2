#include "detect/crc32.h"

namespace {

struct Crc32Table {
    uint32_t entry[256];

    Crc32Table()
    {
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int bit = 0; bit < 8; ++bit)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            entry[i] = c;
        }
    }
};

const Crc32Table &Table()
{
    static const Crc32Table table;
    return table;
}

}  // namespace

uint32_t Crc32(const void *data, uint32_t length)
{
    const uint32_t *table = Table().entry;
    const uint8_t *p = static_cast<const uint8_t *>(data);
    uint32_t crc = 0xFFFFFFFFu;
    for (uint32_t i = 0; i < length; ++i)
        crc = table[(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}
