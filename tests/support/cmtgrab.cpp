// Test support: cmtgrab runs.
#include "support/cmtgrab.h"

#include <cstdlib>
#include <sstream>

#include "control/console.h"
#include "control/loader.h"

namespace testsupport {

ProcessResult cmtgrab(const std::vector<std::string>& args, const std::string& directory)
{
    // CMTGRAB_TEST_PROGRAM swaps in another build, e.g. "wine /abs/cmtgrab.exe":
    // a command prefix split on spaces, started without a shell.
    const char* program = std::getenv("CMTGRAB_TEST_PROGRAM");
    std::vector<std::string> words;
    std::istringstream prefix(program ? program : "");
    for (std::string word; prefix >> word;) words.push_back(word);
    if (words.empty()) return runprocess(CMTGRAB_BIN, args, directory);
    std::vector<std::string> rest(words.begin() + 1, words.end());
    rest.insert(rest.end(), args.begin(), args.end());
    return runprocess(words.front(), rest, directory);
}

ProcessResult runinprocess(const std::vector<std::string>& args, const std::string& directory, int32_t codepage)
{
    std::ostringstream out, err;
    cmtgrab::Console console(out, err);
    FakeHost host(codepage);
    cmtgrab::Loader loader(console, host, directory);
    ProcessResult result;
    result.exitcode = loader.run(args);
    result.out = out.str();
    result.err = err.str();
    return result;
}

std::string emptyreport()
{
    return "================================\nlow=0x80 high=0x80\nRecommend Option: -d(0-0)\n";
}

}  // namespace testsupport
