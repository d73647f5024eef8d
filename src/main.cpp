// cmtgrab: loads MZ-700/800/1500 and X1 cassette programs from tape audio.
#include <iostream>
#include <string>
#include <vector>

#include "control/console.h"
#include "control/loader.h"
#include "platform/host.h"

int main(int argc, char** argv)
{
    cmtgrab::setbinaryoutput();
    std::ios::sync_with_stdio(false);
    std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    auto host = cmtgrab::systemhost();
    cmtgrab::Console console(std::cout, std::cerr);
    cmtgrab::Loader loader(console, *host);
    return loader.run(args);
}
