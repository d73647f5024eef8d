// The decoding defaults shared by the file and the capture source.
#include "control/settings.h"

namespace cmtgrab {

bool Settings::setratedefaults(uint32_t rate_hz)
{
    // Bit thresholds between the short and long pulse lengths in samples;
    // X1 pulses are half as long.
    const bool x1 = tapefmt == tapefmt_x1;
    switch (rate_hz) {
    case 22050:
        unittime = x1 ? 3 : 7;
        noise = x1 ? 0 : 1;
        return true;
    case 44100:
        unittime = x1 ? 7 : 15;
        noise = 2;
        return true;
    case 48000:
        unittime = x1 ? 9 : 18;
        noise = 2;
        return true;
    default:
        return false;
    }
}

void Settings::applydefaults(Console& console)
{
    if (unittime_arg != 0)
        unittime = unittime_arg;
    else if (verbose)
        console.errf("Set -w%d as default.\n", unittime);
    if (noise_arg >= 0)
        noise = noise_arg;
    else if (verbose)
        console.errf("Set -n%d as default.\n", noise);
}

}  // namespace cmtgrab
