// Fuzz target: the command-line reader and the run it starts, in-process, on
// argument lists split from the input at newlines.
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "control/cmdline.h"
#include "encoder.h"
#include "fuzzsupport.h"

namespace {

constexpr const char* tape_name = "t.wav";

// Two tiny tape files, so that runs naming "t" reach the loader loop, -a0
// included.
void writetape()
{
    cmtgen::Options options;
    options.rate = 22050;
    options.bits = 8;
    options.headergap = 120;
    options.bodygap = 120;
    options.silence_s = 0.01;
    options.filegap_s = 0.01;
    std::vector<cmtgen::TapeFile> files = {
        cmtgen::makefile(1, 0x1200, 0x1200, "T", {1, 2, 3, 4, 5, 6, 7, 8}),
        cmtgen::makefile(2, 0x2000, 0x2000, "U", {9, 8, 7}),
    };
    const std::vector<uint8_t> wav = cmtgen::encode(files, options);
    std::ofstream out(fuzzsupport::scratchdir() / tape_name, std::ios::binary);
    out.write(reinterpret_cast<const char*>(wav.data()), static_cast<std::streamsize>(wav.size()));
}

// A name that stays inside the scratch directory: no separators, so nothing
// outside it is read or written, whatever the fuzzer makes up.
std::string confined(std::string text)
{
    for (char& c : text)
        if (c == '/' || c == '\\') c = '_';
    return text;
}

bool isoption(std::string_view arg) { return !arg.empty() && (arg[0] == '-' || arg[0] == '/'); }

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzzsupport::makescratch();
    writetape();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> args;
    size_t from = 0;
    while (from <= input.size()) {
        size_t to = input.find('\n', from);
        if (to == std::string_view::npos) to = input.size();
        std::string arg(input.substr(from, to - from));
        // An argv entry ends at its first NUL.
        arg.resize(std::string_view(arg.c_str()).size());
        args.push_back(std::move(arg));
        from = to + 1;
    }

    for (std::string& arg : args) {
        // The name rule on the raw text: unchanged, or ".wav" appended.
        const std::string named = cmtgrab::wavfilename(arg);
        if (named != arg && named != arg + ".wav") fuzzsupport::propertyfailed();
        if (!isoption(arg))
            arg = confined(arg);
        else if (arg.size() > 1 && arg[1] == 'o') {
            std::string image = confined(arg.substr(2));
            // The image must not replace the recording the next runs read.
            if (image == tape_name) image.insert(0, "_");
            arg = arg.substr(0, 2) + image;
        }
    }

    const fuzzsupport::RunResult result = fuzzsupport::runinscratch(args);
    if (result.exitcode != 0 && result.exitcode != 1) fuzzsupport::propertyfailed();
    fuzzsupport::clearscratch({tape_name});
    return 0;
}
