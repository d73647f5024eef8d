// The host on Windows: the OEM code page, Sleep(0), the console key test and binary standard streams.
#include "platform/host.h"

#include <conio.h>
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>

namespace cmtgrab {

namespace {

class WindowsHost final : public Host {
public:
    int32_t oemcodepage() override { return static_cast<int32_t>(GetOEMCP()); }
    void yieldcpu() override { Sleep(0); }
    // _kbhit only looks at the console input; the key stays there unread.
    bool keypending() override { return _kbhit() != 0; }
    std::unique_ptr<WaveIn> wavein() override { return systemwavein(); }
};

}  // namespace

std::unique_ptr<Host> systemhost()
{
    return std::make_unique<WindowsHost>();
}

// The messages carry their own "\n" and the Japanese ones are Shift-JIS bytes;
// text mode would turn "\n" into "\r\n".
void setbinaryoutput()
{
    std::fflush(stdout);
    std::fflush(stderr);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
}

}  // namespace cmtgrab
