// Fuzz target: the -a and -q value readers, directly and through the
// command-line reader, with properties that must hold for every text.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "control/cmdline.h"
#include "control/runend.h"
#include "control/settings.h"
#include "fuzzsupport.h"

namespace {

using fuzzsupport::propertyfailed;

bool ishex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
bool isspace_c(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// The value of one list entry kept to 32 bits: only its last eight digits count.
int32_t entryvalue(std::string_view digits)
{
    if (digits.size() > 8) digits = digits.substr(digits.size() - 8);
    uint32_t value = 0;
    if (!digits.empty()) value = static_cast<uint32_t>(std::stoul(std::string(digits), nullptr, 16));
    return static_cast<int32_t>(value);
}

// hexlist against the list rules, and -a through the command line.
void checklist(std::string_view text)
{
    std::vector<int32_t> entries;
    const int count = cmtgrab::hexlist(text, entries);

    const std::string_view list = text.substr(0, text.find_first_of(" \t"));
    bool accepted = true;
    std::vector<int32_t> expected;
    size_t from = 0;
    for (;;) {
        size_t comma = list.find(',', from);
        std::string_view digits = list.substr(from, comma == std::string_view::npos ? std::string_view::npos : comma - from);
        for (char c : digits)
            if (!ishex(c)) accepted = false;
        if (accepted) expected.push_back(entryvalue(digits));
        if (comma == std::string_view::npos) break;
        from = comma + 1;
    }
    if (!accepted) {
        if (count != 0) propertyfailed();
    } else {
        if (count != static_cast<int>(expected.size()) || entries != expected) propertyfailed();
    }

    cmtgrab::Settings settings;
    const bool inrange = accepted && count <= cmtgrab::max_bodylens &&
                         [&] {
                             for (int32_t e : expected)
                                 if (e < 0 || e > 0xFFFF) return false;
                             return true;
                         }();
    try {
        cmtgrab::readcmdline({"-a" + std::string(text)}, settings);
    } catch (const cmtgrab::RunEnd& end) {
        if (inrange || end.exitcode != 1 || end.message != "Out of range.\n") propertyfailed();
        return;
    }
    if (!inrange || settings.bodycount != count) propertyfailed();
    for (int i = 0; i < count; ++i)
        if (settings.bodylens[static_cast<size_t>(i)] != expected[static_cast<size_t>(i)]) propertyfailed();
}

constexpr int32_t untouched = 0x5A5A5A5A;

cmtgrab::Settings marked()
{
    cmtgrab::Settings settings;
    settings.qmode = settings.qstart = settings.qlen = settings.qexec = untouched;
    settings.qname = "untouched";
    return settings;
}

// readqheader on any text, and -q through the command line, which must refuse
// exactly the lengths the buffer cannot hold.
void checkq(std::string_view text)
{
    cmtgrab::Settings direct = marked();
    cmtgrab::readqheader(text, direct);
    if (direct.qname != "untouched") {
        if (direct.qname.empty()) propertyfailed();
        for (char c : direct.qname)
            if (isspace_c(c)) propertyfailed();
    }

    cmtgrab::Settings viacmdline = marked();
    const bool lenfits = direct.qlen >= 0 && direct.qlen <= 0xFFFF;
    try {
        cmtgrab::readcmdline({"-q" + std::string(text)}, viacmdline);
    } catch (const cmtgrab::RunEnd& end) {
        if (lenfits || end.exitcode != 1 || end.message != "Out of range.\n") propertyfailed();
        return;
    }
    if (!lenfits || !viacmdline.qgiven) propertyfailed();
    if (viacmdline.qmode != direct.qmode || viacmdline.qstart != direct.qstart || viacmdline.qlen != direct.qlen ||
        viacmdline.qexec != direct.qexec || viacmdline.qname != direct.qname)
        propertyfailed();
}

uint32_t le32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

// Four numbers and a word written in a form -q reads must come back exactly.
void checkqroundtrip(const uint8_t* data, size_t size)
{
    if (size < 17) return;
    uint32_t values[4];
    for (int i = 0; i < 4; ++i) values[i] = le32(data + 4 * i);
    const uint8_t style = data[16];
    std::string name = "N";
    for (size_t i = 17; i < size; ++i)
        if (!isspace_c(static_cast<char>(data[i]))) name += static_cast<char>(data[i]);

    std::string text;
    for (uint32_t value : values) {
        char number[16];
        const char* pattern = (style & 3) == 0 ? "%x" : (style & 3) == 1 ? "%X" : (style & 3) == 2 ? "0x%x" : "0X%08X";
        std::snprintf(number, sizeof number, pattern, static_cast<unsigned>(value));
        if (style & 4) text += ' ';
        text += number;
        text += ',';
    }
    if (style & 8) text += '\t';
    text += name;
    if (style & 16) text += " rest";

    cmtgrab::Settings settings = marked();
    cmtgrab::readqheader(text, settings);
    if (settings.qmode != static_cast<int32_t>(values[0]) || settings.qstart != static_cast<int32_t>(values[1]) ||
        settings.qlen != static_cast<int32_t>(values[2]) || settings.qexec != static_cast<int32_t>(values[3]) ||
        settings.qname != name)
        propertyfailed();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    checklist(text);
    checkq(text);
    checkqroundtrip(data, size);
    return 0;
}
