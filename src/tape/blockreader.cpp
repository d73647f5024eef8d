// Byte and block reading with the checksum and the retry on the second copy.
#include "tape/blockreader.h"

#include "control/runend.h"

namespace cmtgrab {

int BlockReader::getbyte()
{
    const int64_t ifp = stream_.position();
    int value = 0;
    for (int bit = 0; bit < 8; ++bit) {
        value <<= 1;
        if (pulses_.longpulse()) {
            value |= 1;
            ++onebits_;
        }
    }
    // The start bit of the next byte; only -e looks at it.
    if (!pulses_.longpulse() && stoperr_) {
        console_.err("Start bit error!\n");
        value = -1;
    }
    if (dumpcode_)
        console_.outf("\n[ifp=%llu, %02X]\n", static_cast<unsigned long long>(ifp), static_cast<unsigned>(value));
    return value;
}

void BlockReader::waitstartmark()
{
    if (dumpcode_) console_.out("[block start mark]\n");
    while (!pulses_.longpulse()) {
    }
    if (dumpcode_) console_.out("[block start mark end]\n");
}

void BlockReader::skiptosecondcopy()
{
    if (dumpcode_) console_.out("[block start mark]\n");
    int shorts = 0;
    while (shorts < copy_gap_pulses) shorts = pulses_.longpulse() ? 0 : shorts + 1;
    if (dumpcode_) console_.out("[block start mark end]\n");
}

int BlockReader::readblock(bool header, int size, uint8_t* buffer)
{
    if (verbose_) console_.errf("load %04X bytes, header=%d\n", static_cast<unsigned>(size), header ? 1 : 0);
    marks_.seekmark(header);
    for (int copy = 0; copy < 2; ++copy) {
        waitstartmark();
        onebits_ = 0;
        bool good = true;
        for (int i = 0; i < size; ++i) {
            int byte = getbyte();
            if (byte < 0) {
                good = false;
                break;
            }
            buffer[i] = static_cast<uint8_t>(byte);
        }
        if (good) {
            const int counted = size > 0 ? (onebits_ & 0xFFFF) : 0;
            // A -1 from a short start bit enters the sum as it is, and never matches.
            int required = getbyte() * 256;
            required += getbyte();
            if (verbose_)
                console_.errf("Checksum counted %04X, required %04X\n", static_cast<unsigned>(counted),
                              static_cast<unsigned>(required));
            if (counted == required) {
                console_.err("Checksum OK        \n");
                return 0;
            }
        }
        if (copy == 0) {
            console_.err("Retry              \n");
            skiptosecondcopy();
        }
    }
    throw RunEnd{1, true, true, "Checksum error!    \n"};
}

}  // namespace cmtgrab
