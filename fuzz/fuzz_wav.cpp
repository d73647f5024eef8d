// Fuzz target: a whole run, in-process, over a WAV file made of the input's
// bytes; the first byte picks a few options.
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "fuzzsupport.h"

namespace {

// Bit by bit from the option byte; -f1 and -n0 together mean -f100 instead.
std::vector<std::string> options(uint8_t bits)
{
    std::vector<std::string> args;
    if (bits & 0x01) args.push_back("-v");
    if (bits & 0x02) args.push_back("-vv");
    if (bits & 0x04) args.push_back("-r");
    if ((bits & 0x28) == 0x28) {
        args.push_back("-f100");
    } else {
        if (bits & 0x08) args.push_back("-f1");
        if (bits & 0x20) args.push_back("-n0");
    }
    if (bits & 0x10) args.push_back("-e");
    if (bits & 0x40) args.push_back("-b");
    // A second body under the same header, then a second tape file, and the
    // image: every output path of the loop.
    if (bits & 0x80) {
        args.push_back("-a10,0");
        args.push_back("-o");
    }
    args.push_back("in.wav");
    return args;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzzsupport::makescratch();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) return 0;
    {
        std::ofstream wav(fuzzsupport::scratchdir() / "in.wav", std::ios::binary | std::ios::trunc);
        wav.write(reinterpret_cast<const char*>(data + 1), static_cast<std::streamsize>(size - 1));
    }
    const fuzzsupport::RunResult result = fuzzsupport::runinscratch(options(data[0]));
    // A run ends with 0 only after a block was loaded, and every failure says why.
    if (result.exitcode == 0 && result.err.find("Checksum OK        \n") == std::string::npos)
        fuzzsupport::propertyfailed();
    if (result.exitcode == 1 && result.err.empty()) fuzzsupport::propertyfailed();
    if (result.exitcode != 0 && result.exitcode != 1) fuzzsupport::propertyfailed();
    fuzzsupport::clearscratch();
    return 0;
}
