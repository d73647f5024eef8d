// Converts a tape header's file name through the MZ or X1 table and shows it.
#include "output/namedisplay.h"

#include "control/settings.h"
#include "output/nametables.h"

namespace cmtgrab {

namespace {
constexpr uint8_t name_endcode = 0x0D;
}  // namespace

std::string convertname(const uint8_t* name, int32_t tapefmt, int32_t codepage)
{
    const bool x1 = tapefmt == tapefmt_x1;
    const bool sjis = codepage == codepage_japanese;
    std::string shown;
    for (int i = 0; i < name_maxbytes; ++i) {
        const uint8_t code = name[i];
        if (code == name_endcode) break;
        if (code < nametable_firstcode) continue;  // control codes are not shown but use up a place
        const auto index = static_cast<std::size_t>(code - nametable_firstcode);
        if (sjis) {
            const uint16_t sjiscode = x1 ? x1sjis[index] : mzsjis[index];
            shown += static_cast<char>(sjiscode >> 8);
            shown += static_cast<char>(sjiscode & 0xFF);
        } else {
            shown += x1 ? x1ascii[index] : mzascii[index];
        }
    }
    return shown;
}

void showname(Console& console, const uint8_t* name, int32_t tapefmt, int32_t codepage)
{
    console.err("FOUND ");
    console.err(convertname(name, tapefmt, codepage));
    console.err("\n");
}

}  // namespace cmtgrab
