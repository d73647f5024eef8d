// Shared pieces of the fuzz targets: a host without a sound card and a
// scratch directory of this process in which whole runs read and write.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "control/console.h"
#include "control/loader.h"
#include "platform/host.h"
#include "support/fakehost.h"

namespace fuzzsupport {

using FuzzHost = testsupport::FakeHost;

// The scratch directory of this process. Named by the process id, so it needs
// no stored state, and fork/jobs workers each get their own.
inline std::filesystem::path scratchdir()
{
    return std::filesystem::temp_directory_path() / ("cmtgrab-fuzz-" + std::to_string(getpid()));
}

inline void removescratch()
{
    std::error_code error;
    std::filesystem::remove_all(scratchdir(), error);
}

// A fresh, empty scratch directory, removed again when the process exits
// normally (a crash leaves it for inspection).
inline void makescratch()
{
    removescratch();
    std::filesystem::create_directories(scratchdir());
    std::atexit(removescratch);
}

// Deletes everything in the scratch directory except the names in `keep`.
inline void clearscratch(const std::set<std::string>& keep = {})
{
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(scratchdir(), error)) {
        if (keep.count(entry.path().filename().string()) != 0) continue;
        std::filesystem::remove_all(entry.path(), error);
    }
}

struct RunResult {
    int exitcode = -1;
    std::string out;
    std::string err;
};

// One whole run with the scratch directory as the current directory, so that
// relative WAV names resolve there. The directory is changed only for the run:
// libFuzzer's own corpus and artifact paths stay relative to where it started.
inline RunResult runinscratch(const std::vector<std::string>& args, int32_t codepage = 437)
{
    const std::filesystem::path home = std::filesystem::current_path();
    std::filesystem::current_path(scratchdir());
    std::ostringstream out, err;
    cmtgrab::Console console(out, err);
    FuzzHost host(codepage);
    RunResult result;
    {
        cmtgrab::Loader loader(console, host, scratchdir().string());
        result.exitcode = loader.run(args);
    }
    std::filesystem::current_path(home);
    result.out = out.str();
    result.err = err.str();
    return result;
}

// A failed property: stops the fuzzer with a crash report and its input.
[[noreturn]] inline void propertyfailed() { __builtin_trap(); }

}  // namespace fuzzsupport
