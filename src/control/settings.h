// The settings record: every command-line option once read, plus the decoding
// parameters derived from the options and from the input source.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "control/console.h"

namespace cmtgrab {

// Code page numbers that choose the message language; only 932 means Japanese.
constexpr int32_t codepage_japanese = 932;
constexpr int32_t codepage_english = 437;

// Tape formats given by -f; any other value is an MZ tape.
constexpr int32_t tapefmt_mz = 0;
constexpr int32_t tapefmt_x1 = 1;
constexpr int32_t tapefmt_carrysoft = 100;

constexpr int max_bodylens = 10;
constexpr int32_t bytes_per_mib = 1048576;

struct Settings {
    int32_t codepage = codepage_english;
    int32_t bufsize = 32 * bytes_per_mib;  // capture buffer, bytes
    bool verbose = false;
    bool dumpcode = false;
    bool bitdisp = false;
    bool reverse = false;
    bool stoperr = false;
    int32_t level = 48;        // comparator level; the help text says 32, the program uses 48
    int32_t unittime_arg = 0;  // 0: automatic
    int32_t noise_arg = -1;    // negative: automatic
    int32_t tapefmt = tapefmt_mz;
    bool mztwanted = false;
    std::string mztname;
    bool qgiven = false;
    int32_t qmode = 0;
    int32_t qstart = 0;
    int32_t qlen = 0;
    int32_t qexec = 0;
    std::string qname;
    std::array<int32_t, max_bodylens> bodylens{};
    int32_t bodycount = 0;
    std::string wavname;  // empty: capture from the line input

    // Derived once the command line is read.
    bool x1mode = false;
    int32_t headerlen = 0;  // bytes of the header block on tape
    // Set when the input source is opened.
    int32_t unittime = 0;  // bit threshold, samples
    int32_t noise = 0;     // smoothing length, samples; 0 means none

    // Sets unittime and noise for a sample rate and the tape format. False,
    // with nothing changed, for a rate other than 22050, 44100 and 48000 Hz.
    bool setratedefaults(uint32_t rate_hz);

    // The source opener's last step: -w/-c and -n replace the defaults it
    // chose for unittime and noise; under -v the defaults kept are shown.
    void applydefaults(Console& console);

    bool japanese() const { return codepage == codepage_japanese; }
    // Picks the Japanese or the English text of a message pair.
    const char* pick(const char* japanese_text, const char* english_text) const
    {
        return japanese() ? japanese_text : english_text;
    }
};

}  // namespace cmtgrab
