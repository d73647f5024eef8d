// Command-line reading: every option is looked at on its own, its value glued
// to the letter; the first bad option ends the run.
#include "control/cmdline.h"

#include <cctype>
#include <limits>

#include "control/messages.h"
#include "control/runend.h"

namespace cmtgrab {

namespace {

[[noreturn]] void outofrange(const Settings& settings)
{
    throw RunEnd{1, false, false, settings.pick(messages::outofrange_ja, messages::outofrange_en)};
}

[[noreturn]] void invalidoption(const Settings& settings, char letter)
{
    const std::string_view pattern = settings.pick(messages::invalidoption_ja, messages::invalidoption_en);
    // "%c" is the one conversion; a bare prefix shows its NUL, as printf would.
    const size_t at = pattern.find("%c");
    std::string text(pattern.substr(0, at));
    text += letter;
    text += pattern.substr(at + 2);
    throw RunEnd{1, false, false, text};
}

int32_t ranged(std::string_view value, int32_t lowest, int32_t highest, const Settings& settings)
{
    int32_t n = readdecimal(value);
    if (n < lowest || n > highest) outofrange(settings);
    return n;
}

bool isblank(char c) { return c == ' ' || c == '\t'; }
bool isspace_c(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

int hexdigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// One "%x" conversion at `pos`: blanks, sign, optional 0x, hex digits. Returns
// false when no digit could be read. Stores the low 32 bits, as scanf does.
bool scanhex(std::string_view text, size_t& pos, int32_t& out)
{
    while (pos < text.size() && isspace_c(text[pos])) ++pos;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        negative = text[pos] == '-';
        ++pos;
    }
    if (pos + 1 < text.size() && text[pos] == '0' && (text[pos + 1] == 'x' || text[pos + 1] == 'X') &&
        pos + 2 < text.size() && hexdigit(text[pos + 2]) >= 0)
        pos += 2;
    uint64_t value = 0;
    bool any = false;
    bool saturated = false;
    while (pos < text.size() && hexdigit(text[pos]) >= 0) {
        if (value > (std::numeric_limits<uint64_t>::max() >> 4)) saturated = true;
        value = value * 16 + static_cast<uint64_t>(hexdigit(text[pos]));
        any = true;
        ++pos;
    }
    if (!any) return false;
    if (saturated) value = std::numeric_limits<uint64_t>::max();
    if (negative) value = 0 - value;
    out = static_cast<int32_t>(static_cast<uint32_t>(value));
    return true;
}

}  // namespace

int32_t readdecimal(std::string_view text)
{
    size_t pos = 0;
    while (pos < text.size() && isspace_c(text[pos])) ++pos;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        negative = text[pos] == '-';
        ++pos;
    }
    int64_t value = 0;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
        if (value <= std::numeric_limits<int32_t>::max()) value = value * 10 + (text[pos] - '0');
        ++pos;
    }
    if (negative) value = -value;
    if (value > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    if (value < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(value);
}

int hexlist(std::string_view text, std::vector<int32_t>& entries)
{
    entries.clear();
    uint32_t accumulator = 0;
    for (char c : text) {
        int digit = hexdigit(c);
        if (digit >= 0) {
            accumulator = accumulator * 16 + static_cast<uint32_t>(digit);
        } else if (c == ',') {
            entries.push_back(static_cast<int32_t>(accumulator));
            accumulator = 0;
        } else if (isblank(c)) {
            break;
        } else {
            entries.clear();
            return 0;
        }
    }
    entries.push_back(static_cast<int32_t>(accumulator));
    return static_cast<int>(entries.size());
}

void readqheader(std::string_view text, Settings& settings)
{
    int32_t* fields[] = {&settings.qmode, &settings.qstart, &settings.qlen, &settings.qexec};
    size_t pos = 0;
    for (int32_t* field : fields) {
        int32_t value = 0;
        if (!scanhex(text, pos, value)) return;
        *field = value;
        if (pos >= text.size() || text[pos] != ',') return;
        ++pos;
    }
    while (pos < text.size() && isspace_c(text[pos])) ++pos;
    size_t end = pos;
    while (end < text.size() && !isspace_c(text[end])) ++end;
    if (end > pos) settings.qname = std::string(text.substr(pos, end - pos));
}

std::string wavfilename(std::string_view name)
{
    size_t slash = name.find_last_of("\\/");
    std::string_view last = slash == std::string_view::npos ? name : name.substr(slash + 1);
    std::string result(name);
    if (last.find('.') == std::string_view::npos) result += ".wav";
    return result;
}

std::string usagetext(const Settings& settings)
{
    std::string text =
        "cmtgrab.exe for Win32 Version 0.14  (c) the cmtgrab developers\n"
        "  Edition for MZ-700/800/1500 and X1 tapes, reworked by the cmtgrab team\n"
        "\n"
        "usage:cmtgrab [options] <Wavefile[.wav]>\n\n";
    text += settings.pick(messages::help_ja, messages::help_en);
    return text;
}

void readcmdline(const std::vector<std::string>& args, Settings& settings)
{
    for (const std::string& arg : args) {
        if (arg.empty() || (arg[0] != '-' && arg[0] != '/')) {
            if (settings.wavname.empty()) settings.wavname = wavfilename(arg);
            continue;
        }
        char letter = arg.size() > 1 ? arg[1] : '\0';
        std::string_view value = arg.size() > 2 ? std::string_view(arg).substr(2) : std::string_view();
        switch (letter) {
        case '?':
            throw RunEnd{0, false, false, usagetext(settings)};
        case 'a': {
            std::vector<int32_t> entries;
            int count = hexlist(value, entries);
            // The list has room for ten bodies; a longer one is refused, not cut.
            if (count == 0 || count > max_bodylens) outofrange(settings);
            for (int32_t entry : entries)
                if (entry < 0 || entry > 0xFFFF) outofrange(settings);
            settings.bodylens = {};
            for (int i = 0; i < count; ++i) settings.bodylens[static_cast<size_t>(i)] = entries[static_cast<size_t>(i)];
            settings.bodycount = count;
            break;
        }
        case 'b':
            settings.bitdisp = true;
            break;
        case 'c': {
            int32_t n = readdecimal(value);
            settings.unittime_arg = n == 0 ? 12 : n;
            break;
        }
        case 'd':
            settings.level = ranged(value, 1, 127, settings);
            break;
        case 'e':
            settings.stoperr = true;
            break;
        case 'f':
            settings.tapefmt = readdecimal(value);
            break;
        case 'l':
            if (!value.empty()) {
                if (value[0] == 'e' || value[0] == 'E') settings.codepage = codepage_english;
                if (value[0] == 'j' || value[0] == 'J') settings.codepage = codepage_japanese;
            }
            break;
        case 'm':
            settings.bufsize = ranged(value, 1, 256, settings) * bytes_per_mib;
            break;
        case 'n':
            settings.noise_arg = ranged(value, 0, 15, settings);
            break;
        case 'o':
            settings.mztname = std::string(value);
            settings.mztwanted = true;
            break;
        case 'q':
            readqheader(value, settings);
            settings.qgiven = true;
            // The body buffer holds 65,536 bytes; a longer -q length is refused.
            if (settings.qlen < 0 || settings.qlen > 0xFFFF) outofrange(settings);
            break;
        case 'r':
            settings.reverse = true;
            break;
        case 's':
            ranged(value, 1, 16, settings);
            break;
        case 'v':
            settings.verbose = true;
            if (!value.empty() && value[0] == 'v') settings.dumpcode = true;
            break;
        case 'w':
            settings.unittime_arg = ranged(value, 1, 100, settings);
            break;
        default:
            invalidoption(settings, letter);
        }
    }
}

}  // namespace cmtgrab
