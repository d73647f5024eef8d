// Tests of the name conversion tables and of the "FOUND" line.
#include "output/namedisplay.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "control/console.h"
#include "output/nametables.h"

#if __has_include(<iconv.h>) && defined(__GLIBC__)
#include <iconv.h>
#define NAMETEST_HAVE_ICONV 1
#else
#define NAMETEST_HAVE_ICONV 0
#endif

namespace cmtgrab {
namespace {

using Rows = std::array<const char*, 14>;

// The characters of the two-byte tables in UTF-8, one row of 16 per 16 codes,
// separated by ASCII spaces (the first entry of each is the ideographic space).
constexpr Rows mzsjis_listing = {
    "　 ！ ” ＃ ＄ ％ ＆ ’ （ ） ＊ ＋ ， － ． ／",  // 0x20
    "０ １ ２ ３ ４ ５ ６ ７ ８ ９ ： ； ＜ ＝ ＞ ？",  // 0x30
    "＠ Ａ Ｂ Ｃ Ｄ Ｅ Ｆ Ｇ Ｈ Ｉ Ｊ Ｋ Ｌ Ｍ Ｎ Ｏ",  // 0x40
    "Ｐ Ｑ Ｒ Ｓ Ｔ Ｕ Ｖ Ｗ Ｘ Ｙ Ｚ ［ ＼ ］ ↑ ←",  // 0x50
    "※ ※ ※ ※ ※ ※ ※ ※ ※ ※ ※ ※ ※ ※ ※ ※",  // 0x60
    "日 月 火 水 木 金 土 生 年 時 分 秒 円 ￥ ￡ ▼",  // 0x70
    "↓ 。 「 」 、 ． ヲ ァ ィ ゥ ェ ォ ャ ュ ョ ッ",  // 0x80
    "ー ア イ ウ エ オ カ キ ク ケ コ サ シ ス セ ソ",  // 0x90
    "タ チ ツ テ ト ナ ニ ヌ ネ ノ ハ ヒ フ ヘ ホ マ",  // 0xA0
    "ミ ム メ モ ヤ ユ ヨ ラ リ ル レ ロ ワ ン ゛ ゜",  // 0xB0
    "→ ※ ※ ※ ※ ※ ※ ※ ※ ※ ※ ※ ※ ※ ※ ※",  // 0xC0
    "※ ※ ※ ※ ※ ※ ※ ※ ※ ※ ※ ※ ※ ※ ※ ※",  // 0xD0
    "※ ※ ※ ※ ※ ※ ※ ※ ※ ※ ※ ※ ※ ※ ※ ※",  // 0xE0
    "※ ※ ※ ※ ※ ※ ※ ※ ※ ※ ※ ※ ※ ※ ※ π",  // 0xF0
};

constexpr Rows x1sjis_listing = {
    "　 ！ ” ＃ ＄ ％ ＆ ’ （ ） ＊ ＋ ， － ． ／",  // 0x20
    "０ １ ２ ３ ４ ５ ６ ７ ８ ９ ： ； ＜ ＝ ＞ ？",  // 0x30
    "＠ Ａ Ｂ Ｃ Ｄ Ｅ Ｆ Ｇ Ｈ Ｉ Ｊ Ｋ Ｌ Ｍ Ｎ Ｏ",  // 0x40
    "Ｐ Ｑ Ｒ Ｓ Ｔ Ｕ Ｖ Ｗ Ｘ Ｙ Ｚ ［ ／ ］ ＾ ＿",  // 0x50
    "‘ ａ ｂ ｃ ｄ ｅ ｆ ｇ ｈ ｉ ｊ ｋ ｌ ｍ ｎ ｏ",  // 0x60
    "ｐ ｑ ｒ ｓ ｔ ｕ ｖ ｗ ｘ ｙ ｚ ｛ ｜ ｝ ～ π",  // 0x70
    "＿ ■ ■ ■ ■ ■ ■ ■ ｜ ■ ■ ■ ■ ■ ■ ／",  // 0x80
    "─ │ ┴ ┬ ┤ ├ ┼ ┐ ┘ └ ┌ ┐ ┘ └ ┌ ＼",  // 0x90
    "　 。 「 」 、 ・ ヲ ァ ィ ゥ ェ ォ ャ ュ ョ ッ",  // 0xA0
    "ー ア イ ウ エ オ カ キ ク ケ コ サ シ ス セ ソ",  // 0xB0
    "タ チ ツ テ ト ナ ニ ヌ ネ ノ ハ ヒ フ ヘ ホ マ",  // 0xC0
    "ミ ム メ モ ヤ ユ ヨ ラ リ ル レ ロ ワ ン ゛ ゜",  // 0xD0
    "● ○ ▲ ▼ ◆ ※ ※ ※ × ※ ※ ※ ※ ※ ※ □",  // 0xE0
    "※ 土 金 木 水 火 月 日 時 分 秒 年 円 人 生 〒",  // 0xF0
};

// Characters whose code page 932 code some converters disagree on; the console
// code page uses these codes.
struct FixedCode {
    const char* utf8;
    uint16_t sjis;
};
constexpr std::array<FixedCode, 7> fixed_codes = {{
    {"－", 0x817C},
    {"＼", 0x815F},
    {"～", 0x8160},
    {"｜", 0x8162},
    {"￥", 0x818F},
    {"￡", 0x8192},
    {"　", 0x8140},
}};

std::vector<std::string> splitrow(const char* row)
{
    std::vector<std::string> cells;
    std::string cell;
    for (const char* p = row; *p != '\0'; ++p) {
        if (*p == ' ') {
            cells.push_back(cell);
            cell.clear();
        } else {
            cell += *p;
        }
    }
    cells.push_back(cell);
    return cells;
}

#if NAMETEST_HAVE_ICONV
// One UTF-8 character to its two-byte code page 932 code; -1 when the
// converter does not give exactly two bytes.
class Cp932Converter {
public:
    Cp932Converter() : cd_(iconv_open("CP932", "UTF-8")) {}
    ~Cp932Converter()
    {
        if (ok()) iconv_close(cd_);
    }
    Cp932Converter(const Cp932Converter&) = delete;
    Cp932Converter& operator=(const Cp932Converter&) = delete;

    bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    int32_t code(const std::string& utf8)
    {
        for (const FixedCode& fixed : fixed_codes) {
            if (utf8 == fixed.utf8) return fixed.sjis;
        }
        std::vector<char> in(utf8.begin(), utf8.end());
        std::array<char, 8> out{};
        char* inptr = in.data();
        char* outptr = out.data();
        size_t inleft = in.size();
        size_t outleft = out.size();
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        if (iconv(cd_, &inptr, &inleft, &outptr, &outleft) == static_cast<size_t>(-1)) return -1;
        if (inleft != 0 || out.size() - outleft != 2) return -1;
        return static_cast<int32_t>(static_cast<uint8_t>(out[0]) << 8 | static_cast<uint8_t>(out[1]));
    }

private:
    iconv_t cd_;
};
#endif

void expecttablematches(const std::array<uint16_t, nametable_entries>& table, const Rows& listing,
                        const char* tablename)
{
#if NAMETEST_HAVE_ICONV
    Cp932Converter converter;
    ASSERT_TRUE(converter.ok()) << "no CP932 converter";
    for (std::size_t row = 0; row < listing.size(); ++row) {
        const std::vector<std::string> cells = splitrow(listing[row]);
        ASSERT_EQ(cells.size(), 16u) << tablename << " row " << row;
        for (std::size_t col = 0; col < cells.size(); ++col) {
            const std::size_t index = row * 16 + col;
            const int32_t expected = converter.code(cells[col]);
            ASSERT_NE(expected, -1) << "cannot convert " << cells[col];
            EXPECT_EQ(table[index], expected)
                << tablename << " code 0x" << std::hex << (index + nametable_firstcode) << " (" << cells[col] << ")";
        }
    }
#else
    (void)table;
    (void)listing;
    GTEST_SKIP() << "no iconv to check " << tablename;
#endif
}

TEST(NameTables, ShiftJisTablesMatchTheCharacterListing)
{
    expecttablematches(mzsjis, mzsjis_listing, "mzsjis");
    expecttablematches(x1sjis, x1sjis_listing, "x1sjis");
}

// A run of codes first..last mapped to one character, or to themselves when
// `to` is 0; later ranges override earlier ones; unnamed codes are '*'.
struct CodeRange {
    int first;
    int last;
    char to;
};

std::array<char, nametable_entries> expectedascii(const std::vector<CodeRange>& ranges)
{
    std::array<char, nametable_entries> table;
    table.fill('*');
    for (const CodeRange& range : ranges) {
        for (int code = range.first; code <= range.last; ++code) {
            table[static_cast<std::size_t>(code - 0x20)] = range.to != 0 ? range.to : static_cast<char>(code);
        }
    }
    return table;
}

TEST(NameTables, AsciiTablesFollowTheirRules)
{
    const auto mzexpected = expectedascii({
        {0x20, 0x5D, 0},
        {0x80, 0x80, '}'},
        {0x90, 0x90, '_'},
        {0x93, 0x93, '`'},
        {0x94, 0x94, '~'},
        {0xBE, 0xBE, '{'},
    });
    const auto x1expected = expectedascii({
        {0x20, 0x7E, 0},
        {0x5C, 0x5C, '/'},
        {0x80, 0x80, '_'},
        {0x88, 0x88, '|'},
        {0x8F, 0x8F, '/'},
        {0x9F, 0x9F, '\\'},
        {0xA0, 0xA0, ' '},
    });
    for (std::size_t i = 0; i < nametable_entries; ++i) {
        EXPECT_EQ(mzascii[i], mzexpected[i]) << "mzascii code 0x" << std::hex << (i + 0x20);
        EXPECT_EQ(x1ascii[i], x1expected[i]) << "x1ascii code 0x" << std::hex << (i + 0x20);
    }
}

struct NameCase {
    const char* what;
    std::vector<uint8_t> name;  // exactly the bytes that may be read
    int32_t tapefmt;
    int32_t codepage;
    std::string shown;
};

void PrintTo(const NameCase& c, std::ostream* os) { *os << c.what; }

std::vector<uint8_t> repeated(uint8_t code, std::size_t count, std::vector<uint8_t> tail = {})
{
    std::vector<uint8_t> bytes(count, code);
    bytes.insert(bytes.end(), tail.begin(), tail.end());
    return bytes;
}

std::vector<uint8_t> letters(std::size_t count, std::vector<uint8_t> tail = {})
{
    std::vector<uint8_t> bytes;
    for (std::size_t i = 0; i < count; ++i) bytes.push_back(static_cast<uint8_t>('A' + i));
    bytes.insert(bytes.end(), tail.begin(), tail.end());
    return bytes;
}

std::string fullwidtha(std::size_t count)
{
    std::string s;
    for (std::size_t i = 0; i < count; ++i) s += "\x82\x60";
    return s;
}

class ConvertName : public ::testing::TestWithParam<NameCase> {};

TEST_P(ConvertName, ShowsTheConvertedBytes)
{
    const NameCase& c = GetParam();
    // A buffer of exactly the case's length, so that reading past it is caught
    // by the address sanitizer build.
    auto buffer = std::make_unique<uint8_t[]>(c.name.size());
    std::memcpy(buffer.get(), c.name.data(), c.name.size());
    EXPECT_EQ(convertname(buffer.get(), c.tapefmt, c.codepage), c.shown) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    NameDisplay, ConvertName,
    ::testing::Values(
        NameCase{"end code first, ascii", {0x0D, 0x41}, 0, 437, ""},
        NameCase{"end code first, sjis", {0x0D, 0x41}, 1, 932, ""},
        NameCase{"end code in the middle", {0x41, 0x0D, 0x42}, 0, 437, "A"},
        NameCase{"17 letters fill the line", letters(17), 0, 437, "ABCDEFGHIJKLMNOPQ"},
        NameCase{"18th byte is never shown", letters(17, {'Z', 0x0D}), 0, 437, "ABCDEFGHIJKLMNOPQ"},
        NameCase{"17 fullwidth letters", repeated(0x41, 17), 0, 932, fullwidtha(17)},
        NameCase{"18th byte is never shown, sjis", repeated(0x41, 17, {0x41}), 1, 932, fullwidtha(17)},
        NameCase{"16 control bytes leave one place", repeated(0x01, 16, {0x41}), 0, 437, "A"},
        NameCase{"16 control bytes leave one place, sjis", repeated(0x1F, 16, {0x41}), 0, 932, "\x82\x60"},
        NameCase{"17 control bytes use up the name", repeated(0x01, 17, {0x41}), 0, 437, ""},
        NameCase{"control bytes between letters", {0x41, 0x00, 0x1F, 0x42, 0x0D}, 0, 437, "AB"},
        NameCase{"MZ letters in sjis", {0x41, 0x42, 0x0D}, 0, 932, "\x82\x60\x82\x61"},
        NameCase{"MZ letters in ascii", {0x41, 0x42, 0x0D}, 0, 437, "AB"},
        NameCase{"X1 slash and space, ascii", {0x5C, 0xA0, 0x0D}, 1, 437, "/ "},
        NameCase{"MZ backslash and asterisk, ascii", {0x5C, 0xA0, 0x0D}, 0, 437, "\\*"},
        NameCase{"X1 codes in sjis", {0x5C, 0xA0, 0x0D}, 1, 932, "\x81\x5E\x81\x40"},
        NameCase{"MZ codes in sjis", {0x5C, 0xA0, 0x0D}, 0, 932, "\x81\x5F\x83\x5E"},
        NameCase{"CARRY SOFT uses MZ, ascii", {0x5C, 0xA0, 0x0D}, 100, 437, "\\*"},
        NameCase{"CARRY SOFT uses MZ, sjis", {0x5C, 0xA0, 0x0D}, 100, 932, "\x81\x5F\x83\x5E"},
        NameCase{"unknown format uses MZ", {0x5C, 0x0D}, 2, 437, "\\"},
        NameCase{"other code pages use ascii", {0x41, 0x5C, 0x0D}, 1, 850, "A/"},
        NameCase{"first and last codes, MZ sjis", {0x20, 0xFF, 0x0D}, 0, 932, "\x81\x40\x83\xCE"},
        NameCase{"first and last codes, X1 sjis", {0x20, 0xFF, 0x0D}, 1, 932, "\x81\x40\x81\xA7"},
        NameCase{"first and last codes, X1 ascii", {0x20, 0xFF, 0x0D}, 1, 437, " *"}));

TEST(ShowName, WritesTheFoundLineToTheErrorStreamOnly)
{
    struct LineCase {
        std::vector<uint8_t> name;
        int32_t tapefmt;
        int32_t codepage;
        std::string line;
    };
    const std::vector<LineCase> cases = {
        {{0x0D}, 0, 932, "FOUND \n"},
        {{0x41, 0x42, 0x0D}, 0, 437, "FOUND AB\n"},
        {{0x41, 0x7D, 0x0D}, 0, 932, "FOUND \x82\x60\x81\x8F\n"},
        {{0x7C, 0x0D}, 1, 932, "FOUND \x81\x62\n"},
    };
    for (const LineCase& c : cases) {
        std::ostringstream out;
        std::ostringstream err;
        Console console(out, err);
        showname(console, c.name.data(), c.tapefmt, c.codepage);
        EXPECT_EQ(err.str(), c.line);
        EXPECT_EQ(out.str(), "");
    }
}

}  // namespace
}  // namespace cmtgrab
