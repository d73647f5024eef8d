// The decoding defaults step shared by the file and the capture source.
#include "control/settings.h"

namespace cmtgrab {

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
