// Formatting helpers of the console streams.
#include "control/console.h"

#include <cstdio>
#include <vector>

namespace cmtgrab {

std::string vformat(const char* fmt, va_list args)
{
    char small[256];
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(small, sizeof small, fmt, copy);
    va_end(copy);
    if (n < 0) return {};
    if (static_cast<size_t>(n) < sizeof small) return std::string(small, static_cast<size_t>(n));
    std::vector<char> big(static_cast<size_t>(n) + 1);
    std::vsnprintf(big.data(), big.size(), fmt, args);
    return std::string(big.data(), static_cast<size_t>(n));
}

std::string format(const char* fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    std::string s = vformat(fmt, args);
    va_end(args);
    return s;
}

void Console::errf(const char* fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    err(vformat(fmt, args));
    va_end(args);
}

void Console::outf(const char* fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    out(vformat(fmt, args));
    va_end(args);
}

}  // namespace cmtgrab
