// Tests of the POSIX host: the code page taken from the locale, and the key test off a terminal.
#include "platform/host.h"

#include "control/settings.h"
#include "support/process.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <locale.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string>

namespace cmtgrab {
namespace {

// Sets a locale variable for one test and puts the old value back.
class EnvVar {
public:
    EnvVar(const char* name, const char* value) : name_(name)
    {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value != nullptr) {
            setenv(name, value, 1);
        } else {
            unsetenv(name);
        }
    }
    ~EnvVar()
    {
        if (old_) {
            setenv(name_, old_->c_str(), 1);
        } else {
            unsetenv(name_);
        }
    }
    EnvVar(const EnvVar&) = delete;
    EnvVar& operator=(const EnvVar&) = delete;

private:
    const char* name_;
    std::optional<std::string> old_;
};

struct CodesetCase {
    const char* lc_all;
    const char* lc_ctype;
    const char* lang;
    int32_t codepage;
};

// Locales that are not installed here: the character set comes from the name.
TEST(PosixHostTest, CodePageFollowsTheLocaleCharacterSet)
{
    const CodesetCase cases[] = {
        {"C", nullptr, nullptr, codepage_english},
        {"POSIX", nullptr, "ja_JP.SJIS", codepage_english},  // LC_ALL wins over LANG
        {"ja_JP.SJIS", nullptr, nullptr, codepage_japanese},
        {"ja_JP.Shift_JIS", nullptr, nullptr, codepage_japanese},
        {nullptr, "ja_JP.sjis@cjknarrow", nullptr, codepage_japanese},
        {nullptr, nullptr, "ja_JP.CP932", codepage_japanese},
        {nullptr, nullptr, "ja_JP.WINDOWS-31J", codepage_japanese},
        {nullptr, nullptr, "ja_JP.EUC-JP", codepage_english},
        {nullptr, nullptr, "ja_JP.UTF-8", codepage_english},
        {nullptr, nullptr, "ja_JP", codepage_english},
        {nullptr, nullptr, nullptr, codepage_english},
    };
    auto host = systemhost();
    for (const CodesetCase& c : cases) {
        EnvVar all("LC_ALL", c.lc_all);
        EnvVar ctype("LC_CTYPE", c.lc_ctype);
        EnvVar lang("LANG", c.lang);
        EXPECT_EQ(host->oemcodepage(), c.codepage) << (c.lc_all ? c.lc_all : "-") << " "
                                                   << (c.lc_ctype ? c.lc_ctype : "-") << " "
                                                   << (c.lang ? c.lang : "-");
    }
}

// What the host reports for the locale `name` found under `locpath`, with
// whether the process's own LC_CTYPE stayed "C". Asked in a child process:
// the C library keeps (and never frees) the locale path it read from LOCPATH.
struct ChildAnswer {
    bool japanese = false;
    bool processlocaleC = false;
};
ChildAnswer askchild(const std::string& locpath, const char* name)
{
    pid_t pid = fork();
    if (pid == 0) {
        setenv("LOCPATH", locpath.c_str(), 1);
        setenv("LC_ALL", name, 1);
        bool japanese = systemhost()->oemcodepage() == codepage_japanese;
        bool untouched = std::string(setlocale(LC_CTYPE, nullptr)) == "C";
        _exit((japanese ? 1 : 0) | (untouched ? 2 : 0));
    }
    int status = 0;
    waitpid(pid, &status, 0);
    int bits = WIFEXITED(status) ? WEXITSTATUS(status) : 0;
    return {(bits & 1) != 0, (bits & 2) != 0};
}

// An installed locale whose name says nothing: the character set comes from
// the locale data, and the process's own locale is left alone.
TEST(PosixHostTest, CodePageOfAnInstalledShiftJisLocale)
{
    testsupport::TempDir dir;
    std::string command = "localedef -c -i ja_JP -f SHIFT_JIS '" + dir.file("plainname") + "' >/dev/null 2>&1";
    [[maybe_unused]] int status = std::system(command.c_str());  // warns (non-zero) about ASCII compatibility
    if (!testsupport::exists(dir.file("plainname"))) GTEST_SKIP() << "localedef could not build a Shift-JIS locale";
    ChildAnswer answer = askchild(dir.path(), "plainname");
    EXPECT_TRUE(answer.japanese);
    EXPECT_TRUE(answer.processlocaleC);
}

TEST(PosixHostTest, NoKeyIsPendingWhenInputIsNotATerminal)
{
    int saved = dup(STDIN_FILENO);
    ASSERT_GE(saved, 0);
    int devnull = open("/dev/null", O_RDONLY);
    ASSERT_GE(devnull, 0);
    dup2(devnull, STDIN_FILENO);
    close(devnull);
    bool pending = systemhost()->keypending();
    dup2(saved, STDIN_FILENO);
    close(saved);
    // /dev/null always polls readable; only the terminal test keeps it out.
    EXPECT_FALSE(pending);
}

}  // namespace
}  // namespace cmtgrab
