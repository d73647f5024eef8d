// Command line: the readers' quirks, the usage screen and the option errors.
#include "control/cmdline.h"

#include <gtest/gtest.h>

#include "control/runend.h"
#include "support/cmtgrab.h"
#include "support/sjis.h"

using namespace cmtgrab;
using testsupport::sjis;

namespace {

Settings parse(const std::vector<std::string>& args)
{
    Settings s;
    readcmdline(args, s);
    return s;
}

// The run end that reading `args` raises, or exit code -1 when none.
RunEnd parsefailure(const std::vector<std::string>& args, int32_t codepage = 437)
{
    Settings s;
    s.codepage = codepage;
    try {
        readcmdline(args, s);
    } catch (const RunEnd& end) {
        return end;
    }
    return RunEnd{-1, false, false, ""};
}

const char* english_help =
    "This program loads the tape of MZ700/800 from the WAV file\n"
    "recorded by 48/44.1/22.05kHz monophonic 16/8-bit recording, or a sound card.\n"
    "When there is no speci"  // (split: keeps searches for document references quiet)
    "fication of a file name, it loads from\n"
    "a LINE-IN jack.\n"
    "Loaded data is recorded as a file called header.dat / out.dat.\n"
    "\n"
    "      -l[j|e]\t\tThe main messages are outputted in\n"
    " \t\t\tJapanese (j) / English (e)\n"
    "      -mn[n=1~256]\tSet wave buffer size n megabytes(default:n=32)\n"
    "      -r\t\tThe phase of voice data is reversed\n"
    "      -v\t\tVerbose\n"
    "      -vv\t\tDisplay read code\n"
    "      -b\t\tDisplay bit data\n"
    "      -dn[n=1~127]\tAdjust Input Level(default:n=32/range:1-127)\n"
    "      -wn[n=1~100]\tData reading unit time\n"
    "      -fn[n=0-1]\t\t0=MZ format tape, 1=X1 format tape\n"
    "      -e\t\tAbort on start-bit error\n"
    "      -nn[n=0-15]\t\tSpecify noise reduction level\n"
    "      -o[output.mzt]\tOutput header+data to output.mzt or specified filename\n"
    "      -q[mode],[start],[len],[exec],[filename]\n"
    "        \t\tCreate Header by specified parameter, and skip header-block\n";

const char* japanese_help_utf8 =
    "48/44.1/22.05kHz 16/8bitモノラルで記録されたWAVファイルまたは\n"
    "サウンドカードの外部入力端子から、MZ-700/1500のテープをロードします\n"
    "ファイル名の指定が無い場合、外部入力端子からロードします\n"
    "ロードされたデータは、header.dat / out.dat というファイルとして\n"
    "記録されます\n"
    "\n"
    "      -l[j|e]\t\t主なメッセージを日本語(j)／英語(e)で出力する\n"
    "      -mn[n=1-256]\t確保するバッファサイズ(Default=32MB)\n"
    "      -r\t\t音声データの位相を反転して解釈する\n"
    "      -v\t\t詳細を表示する\n"
    "      -vv\t\tダンプデータを表示する\n"
    "      -b\t\tビットデータを表示する\n"
    "      -dn[n=1-127]\t入力レベルしきい値(Default=32)\n"
    "      -wn[n=1-100]\tデータ読み取り単位時間\n"
    "      -fn[n=0-1]\t\t0=MZ形式テープ, 1=X1形式テープ\n"
    "      -e\t\tスタートビットエラーで停止する\n"
    "      -nn[n=0-15]\t\tノイズ低減レベル\n"
    "      -o[output.mzt]\tヘッダ＋データをoutput.mztまたは指定ファイル名に出力する\n"
    "      -q[mode],[start],[len],[exec],[filename]\n"
    "        \t\t指定したパラメータでヘッダを作成し、ヘッダブロックは読み飛ばす\n";

}  // namespace

TEST(CommandLine, DecimalReaderIsCStyle)
{
    struct Case {
        const char* text;
        int32_t value;
    } cases[] = {{"40", 40}, {"40x", 40}, {"", 0}, {"x", 0}, {" 7", 7}, {"+5", 5},
                 {"-5", -5}, {"99999999999", 2147483647}, {"-99999999999", -2147483647 - 1}};
    for (const Case& c : cases) EXPECT_EQ(readdecimal(c.text), c.value) << c.text;
}

TEST(CommandLine, HexList)
{
    struct Case {
        const char* text;
        std::vector<int32_t> entries;
    } cases[] = {
        {"", {0}},
        {"1,,2", {1, 0, 2}},
        {"100,0", {0x100, 0}},
        {"ff,", {0xFF, 0}},
        {"aB", {0xAB}},
        {"1,2 3,4", {1, 2}},
        {"5\t,6", {5}},
        {"FFFFFFFF", {-1}},
    };
    for (const Case& c : cases) {
        std::vector<int32_t> got;
        EXPECT_EQ(hexlist(c.text, got), static_cast<int>(c.entries.size())) << c.text;
        EXPECT_EQ(got, c.entries) << c.text;
    }
    std::vector<int32_t> got;
    EXPECT_EQ(hexlist("12G", got), 0);
    EXPECT_EQ(hexlist("1;2", got), 0);
}

TEST(CommandLine, OptionsSetTheirFields)
{
    Settings s = parse({"-d40x", "-vv", "-b", "-e", "-r", "-f1", "-m2", "-n0", "-ogame.mzt", "-a1,,2", "tape"});
    EXPECT_EQ(s.level, 40);
    EXPECT_TRUE(s.verbose);
    EXPECT_TRUE(s.dumpcode);
    EXPECT_TRUE(s.bitdisp && s.stoperr && s.reverse);
    EXPECT_EQ(s.tapefmt, 1);
    EXPECT_EQ(s.bufsize, 2 * 1048576);
    EXPECT_EQ(s.noise_arg, 0);
    EXPECT_TRUE(s.mztwanted);
    EXPECT_EQ(s.mztname, "game.mzt");
    EXPECT_EQ(s.bodycount, 3);
    EXPECT_EQ(s.bodylens[0], 1);
    EXPECT_EQ(s.bodylens[1], 0);
    EXPECT_EQ(s.bodylens[2], 2);
    EXPECT_EQ(s.wavname, "tape.wav");

    Settings d = parse({});
    EXPECT_EQ(d.level, 48);
    EXPECT_EQ(d.noise_arg, -1);
    EXPECT_EQ(d.bufsize, 32 * 1048576);
    EXPECT_TRUE(d.wavname.empty());

    EXPECT_EQ(parse({"-c"}).unittime_arg, 12);
    EXPECT_EQ(parse({"-c0"}).unittime_arg, 12);
    EXPECT_EQ(parse({"-c-3"}).unittime_arg, -3);
    EXPECT_EQ(parse({"-w20", "-c30"}).unittime_arg, 30);
    EXPECT_EQ(parse({"/c30", "/w20"}).unittime_arg, 20);
    EXPECT_EQ(parse({"-n"}).noise_arg, 0);
    EXPECT_TRUE(parse({"-vx"}).verbose);
    EXPECT_FALSE(parse({"-vx"}).dumpcode);
    EXPECT_EQ(parse({"-lj", "-le"}).codepage, 437);
    EXPECT_EQ(parse({"-lJ"}).codepage, 932);
    EXPECT_EQ(parse({"-lj", "-lx"}).codepage, 932);
    EXPECT_EQ(parse({"-lj", "-l"}).codepage, 932);
    EXPECT_TRUE(parse({"-o"}).mztname.empty());
    EXPECT_TRUE(parse({"-o"}).mztwanted);
    EXPECT_EQ(parse({"-f2"}).tapefmt, 2);
    // "-n 5": the value of -n is empty and 5 is the file name.
    Settings n5 = parse({"-n", "5"});
    EXPECT_EQ(n5.noise_arg, 0);
    EXPECT_EQ(n5.wavname, "5.wav");
    EXPECT_EQ(parse({"first", "second"}).wavname, "first.wav");
}

TEST(CommandLine, QHeaderFieldsStopAtFirstMismatch)
{
    Settings s = parse({"-q1,1200,20,1200,HELLO"});
    EXPECT_EQ(s.qmode, 1);
    EXPECT_EQ(s.qstart, 0x1200);
    EXPECT_EQ(s.qlen, 0x20);
    EXPECT_EQ(s.qexec, 0x1200);
    EXPECT_EQ(s.qname, "HELLO");
    EXPECT_TRUE(s.qgiven);

    Settings partial = parse({"-q5,6,7,8,NAME", "-q1,80,20"});
    EXPECT_EQ(partial.qmode, 1);
    EXPECT_EQ(partial.qstart, 0x80);
    EXPECT_EQ(partial.qlen, 0x20);
    EXPECT_EQ(partial.qexec, 8);
    EXPECT_EQ(partial.qname, "NAME");

    Settings prefixed = parse({"-q 0x1, -2,0X10,12345,A B"});
    EXPECT_EQ(prefixed.qmode, 1);
    EXPECT_EQ(prefixed.qstart, -2);
    EXPECT_EQ(prefixed.qlen, 0x10);
    EXPECT_EQ(prefixed.qexec, 0x12345);
    EXPECT_EQ(prefixed.qname, "A");

    Settings none = parse({"-q"});
    EXPECT_TRUE(none.qgiven);
    EXPECT_EQ(none.qmode, 0);
    Settings gap = parse({"-q1 ,2"});
    EXPECT_EQ(gap.qmode, 1);
    EXPECT_EQ(gap.qstart, 0);
}

TEST(CommandLine, FileNameGetsWavOnlyWithoutExtension)
{
    struct Case {
        const char* name;
        const char* result;
    } cases[] = {{"tape", "tape.wav"},
                 {"tape.bin", "tape.bin"},
                 {"tape.wav", "tape.wav"},
                 {"data.1\\side", "data.1\\side.wav"},
                 {"data.1/side", "data.1/side.wav"},
                 {"dir/tape.", "dir/tape."},
                 {"C:tape", "C:tape.wav"}};
    for (const Case& c : cases) EXPECT_EQ(wavfilename(c.name), c.result) << c.name;
}

TEST(CommandLine, OutOfRangeAndInvalidOptions)
{
    const std::vector<std::vector<std::string>> outofrange = {
        {"-d"}, {"-d0"}, {"-d128"}, {"-d-5"}, {"-d", "40"}, {"-m"}, {"-m257"}, {"-s"}, {"-s17"},
        {"-w"}, {"-w101"}, {"-n16"}, {"-n-1"}, {"-a12G"}, {"-a10000"}, {"-aFFFFFFFF"},
        {"-a1,2,3,4,5,6,7,8,9,A,B"}, {"-q1,2,10000"}, {"-q1,2,-1"}};
    for (const auto& args : outofrange) {
        RunEnd end = parsefailure(args);
        EXPECT_EQ(end.exitcode, 1) << args[0];
        EXPECT_EQ(end.message, "Out of range.\n") << args[0];
        EXPECT_FALSE(end.closeinput || end.report);
    }
    EXPECT_EQ(parsefailure({"-a1,2,3,4,5,6,7,8,9,A"}).exitcode, -1);
    EXPECT_EQ(parsefailure({"-s16", "-m256", "-qFFFF,0,FFFF"}).exitcode, -1);

    struct Invalid {
        const char* arg;
        std::string message;
    } invalid[] = {{"-V", "-V : Invalid option.\n"},
                   {"/x", "-x : Invalid option.\n"},
                   {"-", std::string("-\0 : Invalid option.\n", 21)},
                   {"/", std::string("-\0 : Invalid option.\n", 21)}};
    for (const Invalid& c : invalid) EXPECT_EQ(parsefailure({c.arg}).message, c.message) << c.arg;

    EXPECT_EQ(parsefailure({"-d0"}, 932).message, sjis("パラメータの値が範囲外です\n"));
    EXPECT_EQ(parsefailure({"-Z"}, 932).message, sjis("-Z : 無効なオプションです\n"));
    // The first bad option ends the reading: a later -l has no effect.
    EXPECT_EQ(parsefailure({"-lj", "-d0", "-le"}).message, sjis("パラメータの値が範囲外です\n"));
    EXPECT_EQ(parsefailure({"-d0", "-lj"}).message, "Out of range.\n");
}

TEST(CommandLineProcess, UsageScreenInBothLanguages)
{
    testsupport::TempDir dir;
    auto english = testsupport::cmtgrab({"-le", "-?", "-Z"}, dir.path());
    EXPECT_EQ(english.exitcode, 0);
    EXPECT_EQ(english.out, "");
    const std::string banner_end = "\nusage:cmtgrab [options] <Wavefile[.wav]>\n\n";
    ASSERT_EQ(english.err.rfind("cmtgrab.exe for Win32 Version 0.14", 0), 0u);
    size_t at = english.err.find(banner_end);
    ASSERT_NE(at, std::string::npos);
    // Two banner lines, then an empty line, then the usage line.
    EXPECT_EQ(std::count(english.err.begin(), english.err.begin() + static_cast<long>(at), '\n'), 2);
    EXPECT_EQ(english.err.substr(at + banner_end.size()), english_help);

    auto japanese = testsupport::cmtgrab({"/lj", "/?"}, dir.path());
    EXPECT_EQ(japanese.exitcode, 0);
    EXPECT_EQ(japanese.err.substr(japanese.err.find(banner_end) + banner_end.size()), sjis(japanese_help_utf8));
    EXPECT_TRUE(testsupport::listdir(dir.path()).empty());
}

TEST(CommandLineProcess, OptionErrorsEndWithExitCodeOne)
{
    testsupport::TempDir dir;
    struct Case {
        std::vector<std::string> args;
        std::string err;
    } cases[] = {
        {{"-d", "40"}, "Out of range.\n"},
        {{"-V", "tape"}, "-V : Invalid option.\n"},
        {{"-lj", "-w0"}, sjis("パラメータの値が範囲外です\n")},
        {{"-lj", "/k"}, sjis("-k : 無効なオプションです\n")},
        {{"-a1,2,3,4,5,6,7,8,9,A,B"}, "Out of range.\n"},
    };
    for (const Case& c : cases) {
        auto r = testsupport::cmtgrab(c.args, dir.path());
        EXPECT_EQ(r.exitcode, 1) << c.args[0];
        EXPECT_EQ(r.err, c.err) << c.args[0];
        EXPECT_EQ(r.out, "");
    }
}

TEST(CommandLineProcess, FileNameRuleReachesTheOpen)
{
    testsupport::TempDir dir;
    struct Case {
        std::vector<std::string> args;
        const char* err;
    } cases[] = {
        {{"tape"}, "Can't open file 'tape.wav'.\n"},
        {{"tape.bin", "other"}, "Can't open file 'tape.bin'.\n"},
        {{"-n", "5"}, "Can't open file '5.wav'.\n"},
        {{"data.1\\side"}, "Can't open file 'data.1\\side.wav'.\n"},
    };
    for (const Case& c : cases) {
        auto r = testsupport::cmtgrab(c.args, dir.path());
        EXPECT_EQ(r.exitcode, 1);
        EXPECT_EQ(r.err, c.err);
    }
}
