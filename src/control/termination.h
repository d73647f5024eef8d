// The level report printed when a run fails: the sample range seen, the
// histogram of comparator run lengths and the recommended -d range.
#pragma once

#include <cstdint>
#include <string>

namespace cmtgrab {

constexpr int runlength_slots = 256;

// `bitlength` has runlength_slots entries; zero entries print no line.
std::string levelreport(int low, int high, const int64_t* bitlength);

}  // namespace cmtgrab
