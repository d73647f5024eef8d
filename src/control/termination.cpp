// The level report of a failed run.
#include "control/termination.h"

#include "control/console.h"

namespace cmtgrab {

std::string levelreport(int low, int high, const int64_t* bitlength)
{
    std::string text = "================================\n";
    text += format("low=0x%02X high=0x%02X\n", low, high);
    for (int n = 0; n < runlength_slots; ++n)
        if (bitlength[n] != 0) text += format("bitlength: %d=%lld\n", n, static_cast<long long>(bitlength[n]));
    // A quarter of the swing, and half of that, bracket a useful comparator level.
    int quarter = (high - low) / 4;
    text += format("Recommend Option: -d(%d-%d)\n", quarter, quarter / 2);
    return text;
}

}  // namespace cmtgrab
