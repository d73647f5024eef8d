// The value that ends a run: thrown where the run ends, turned into the exit
// code by the loader, which prints the message and closes the input first.
#pragma once

#include <string>
#include <utility>

namespace cmtgrab {

struct RunEnd {
    int exitcode = 1;
    bool report = false;  // print the level report when closing the input
    bool closeinput = true;
    std::string message;  // printed to the error stream as it stands
};

// The end of a run after the input was opened: message, input closed with the
// level report, exit code 1.
[[noreturn]] inline void fatal(std::string message)
{
    throw RunEnd{1, true, true, std::move(message)};
}

}  // namespace cmtgrab
