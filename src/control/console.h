// The two output streams of a run: messages on the error stream, dumps and the
// bit display on standard output. Bytes pass through unchanged.
#pragma once

#include <cstdarg>
#include <ostream>
#include <string>
#include <string_view>

#if defined(__GNUC__) || defined(__clang__)
#define CMTGRAB_PRINTF(fmt_index, first_arg) __attribute__((format(printf, fmt_index, first_arg)))
#else
#define CMTGRAB_PRINTF(fmt_index, first_arg)
#endif

namespace cmtgrab {

// printf-style formatting into a string; no locale is involved for the
// conversions used here (%d %X %s %c %lu).
std::string format(const char* fmt, ...) CMTGRAB_PRINTF(1, 2);
std::string vformat(const char* fmt, va_list args);

class Console {
public:
    Console(std::ostream& out, std::ostream& err) : out_(out), err_(err) {}

    void err(std::string_view bytes) { err_.write(bytes.data(), static_cast<std::streamsize>(bytes.size())); }
    void out(std::string_view bytes) { out_.write(bytes.data(), static_cast<std::streamsize>(bytes.size())); }
    void errf(const char* fmt, ...) CMTGRAB_PRINTF(2, 3);
    void outf(const char* fmt, ...) CMTGRAB_PRINTF(2, 3);
    void outchar(char c) { out_.put(c); }
    void flush()
    {
        out_.flush();
        err_.flush();
    }

private:
    std::ostream& out_;
    std::ostream& err_;
};

}  // namespace cmtgrab
