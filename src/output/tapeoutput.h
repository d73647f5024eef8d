// What the loader produces: the block buffer with the header record at its
// start, the header and body files, and the tape image joining the two.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "control/console.h"
#include "control/settings.h"

namespace cmtgrab {

struct HeaderValues {
    int32_t mode = 0;
    int32_t start = 0;
    int32_t len = 0;
    int32_t exec = 0;
};

class TapeOutput {
public:
    static constexpr size_t tapebuf_bytes = 65536;
    static constexpr size_t header_bytes = 128;
    static constexpr size_t name_offset = 1;

    // Files are made in `directory` (empty: the current directory).
    TapeOutput(Settings& settings, Console& console, std::string directory = "");

    uint8_t* tapebuf() { return tapebuf_.data(); }

    // Writes the -q values into the header record; other bytes keep their values.
    void makeqheader();
    // mode, len, start and exec of the header record, little-endian.
    HeaderValues headervalues() const;

    // header.dat / headerN.dat: the 128 bytes at the start of tapebuf.
    void writeheader(int number);
    // out.dat / outN.dat: len bytes from the start of tapebuf.
    void writebody(int number, int32_t len);
    // Joins header.dat and out.dat into the tape image, then deletes them.
    void makeimage();

    static std::string headername(int number);
    static std::string bodyname(int number);

private:
    std::string path(const std::string& name) const;
    void writefile(const std::string& name, const uint8_t* data, size_t len);

    Settings& settings_;
    Console& console_;
    std::string directory_;
    std::array<uint8_t, tapebuf_bytes> tapebuf_{};
};

}  // namespace cmtgrab
