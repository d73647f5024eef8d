// The host on POSIX systems: code page from the locale, sched_yield, and a key test on the terminal.
#include "platform/host.h"

#include "control/settings.h"

#include <langinfo.h>
#include <locale.h>
#include <poll.h>
#include <sched.h>
#include <termios.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <string>
#include <string_view>

namespace cmtgrab {

namespace {

// Upper case without '-' and '_', so that "Shift_JIS", "SHIFT-JIS" and
// "shiftjis" compare equal.
std::string codesetkey(std::string_view codeset)
{
    std::string key;
    for (char c : codeset) {
        if (c == '-' || c == '_') continue;
        key += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return key;
}

// The character set named in the locale variable itself ("ja_JP.SJIS@x" gives
// "SJIS"), for a locale the system does not have installed.
std::string codesetfromname()
{
    const char* name = nullptr;
    for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        name = std::getenv(variable);
        if (name != nullptr && *name != '\0') break;
    }
    std::string_view text = name != nullptr ? name : "";
    size_t dot = text.find('.');
    if (dot == std::string_view::npos) return {};
    text.remove_prefix(dot + 1);
    return std::string(text.substr(0, text.find('@')));
}

// The character set of the user's locale (LC_ALL, LC_CTYPE, LANG) mapped to the
// Windows OEM code page it corresponds to. A private locale object is used so
// the process's own locale stays "C".
int32_t codepagefromlocale()
{
    std::string key;
    locale_t user = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(nullptr));
    if (user != static_cast<locale_t>(nullptr)) {
        const char* codeset = nl_langinfo_l(CODESET, user);
        key = codesetkey(codeset != nullptr ? codeset : "");
        freelocale(user);
    } else {
        key = codesetkey(codesetfromname());
    }
    for (const char* japanese : {"SHIFTJIS", "SJIS", "CP932", "MS932", "WINDOWS31J"}) {
        if (key == japanese) return codepage_japanese;
    }
    return codepage_english;
}

// A key press waits on the terminal. In canonical mode the terminal holds back
// a line until Enter, so ICANON is dropped for the moment of the test; nothing
// is read, and the typed bytes stay in the input queue.
bool terminalkeypending()
{
    if (isatty(STDIN_FILENO) == 0) return false;
    // Changing the mode from a background job would stop the process (SIGTTOU).
    if (tcgetpgrp(STDIN_FILENO) != getpgrp()) return false;
    termios saved{};
    if (tcgetattr(STDIN_FILENO, &saved) != 0) return false;
    bool raw = (saved.c_lflag & ICANON) == 0;
    if (!raw) {
        termios peek = saved;
        peek.c_lflag &= ~static_cast<tcflag_t>(ICANON);
        peek.c_cc[VMIN] = 0;
        peek.c_cc[VTIME] = 0;
        if (tcsetattr(STDIN_FILENO, TCSANOW, &peek) != 0) return false;
    }
    pollfd input{STDIN_FILENO, POLLIN, 0};
    bool pending = poll(&input, 1, 0) > 0 && (input.revents & POLLIN) != 0;
    if (!raw) tcsetattr(STDIN_FILENO, TCSANOW, &saved);
    return pending;
}

class PosixHost final : public Host {
public:
    int32_t oemcodepage() override { return codepagefromlocale(); }
    void yieldcpu() override { sched_yield(); }
    bool keypending() override { return terminalkeypending(); }
    std::unique_ptr<WaveIn> wavein() override { return systemwavein(); }
};

}  // namespace

std::unique_ptr<Host> systemhost()
{
    return std::make_unique<PosixHost>();
}

// Output on POSIX is bytes already.
void setbinaryoutput() {}

}  // namespace cmtgrab
