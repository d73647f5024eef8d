// The end of a run: the level report's arithmetic and layout, and which ends
// of a real run print it.
#include "control/termination.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <sstream>

#include "encoder.h"
#include "control/console.h"
#include "support/cmtgrab.h"
#include "support/wavfixture.h"

using namespace cmtgrab;
using testsupport::Chunk;
using testsupport::emptyreport;
using testsupport::fmtchunk;
using testsupport::pcm;
using testsupport::riff;

namespace {
const std::string separator = "================================\n";
const std::string endoffile = "\nReached to end of file....\n";
}  // namespace

TEST(LevelReport, RangeHistogramAndRecommendation)
{
    struct Case {
        int low, high;
        std::map<int, int64_t> bitlength;
        std::string text;
    };
    const Case cases[] = {
        {128, 128, {}, emptyreport()},
        {0x10, 0xF0, {}, separator + "low=0x10 high=0xF0\nRecommend Option: -d(56-28)\n"},
        {100, 130, {}, separator + "low=0x64 high=0x82\nRecommend Option: -d(7-3)\n"},
        {0, 255, {}, separator + "low=0x00 high=0xFF\nRecommend Option: -d(63-31)\n"},
        {125, 128, {}, separator + "low=0x7D high=0x80\nRecommend Option: -d(0-0)\n"},
        {120, 127, {}, separator + "low=0x78 high=0x7F\nRecommend Option: -d(1-0)\n"},
        {0x20, 0xE1, {{255, 123456}, {17, 2}, {3, 0}, {2, 5}, {0, 1}},
         separator +
             "low=0x20 high=0xE1\n"
             "bitlength: 0=1\nbitlength: 2=5\nbitlength: 17=2\nbitlength: 255=123456\n"
             "Recommend Option: -d(48-24)\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.low << "-" << c.high);
        int64_t bitlength[runlength_slots] = {};
        for (const auto& [length, count] : c.bitlength) bitlength[length] = count;
        EXPECT_EQ(levelreport(c.low, c.high, bitlength), c.text);
    }
}

// Runs that reach the end of a small file: the report counts every sample the
// file held. Samples are 16-bit, read with no smoothing and level 48.
TEST(LevelReport, EndOfFileReportsWhatWasRead)
{
    // 128 128 250 250 250 20: a run of two zeros, then three ones.
    const std::vector<uint8_t> tworuns = pcm(16, {0x0055, 0x0000, 0x7AFF, 0x7A00, 0x7A80, -0x6B01});
    // 200 200 50: the very first output is 1, a change while no sample was counted.
    const std::vector<uint8_t> firstishigh = pcm(16, {0x4800, 0x48FF, -0x4E00});
    const std::string tworunsreport =
        separator + "low=0x14 high=0xFA\nbitlength: 2=1\nbitlength: 3=1\nRecommend Option: -d(57-28)\n";
    struct Case {
        const char* what;
        std::vector<uint8_t> file;
        std::string report;
    };
    const Case cases[] = {
        {"empty data chunk", riff({fmtchunk(1, 48000, 16), Chunk{"data", {}, -1}}), emptyreport()},
        {"two runs", riff({fmtchunk(1, 48000, 16), Chunk{"data", tworuns, -1}}), tworunsreport},
        // The stated data size plays no part: the file's end is the input's end.
        {"data size 0xFFFFFFFF", riff({fmtchunk(1, 48000, 16), Chunk{"data", tworuns, 0xFFFFFFFF}}), tworunsreport},
        {"run of length 0", riff({fmtchunk(1, 48000, 16), Chunk{"data", firstishigh, -1}}),
         separator + "low=0x32 high=0xC8\nbitlength: 0=1\nbitlength: 2=1\nRecommend Option: -d(37-18)\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        testsupport::TempDir dir;
        testsupport::writefile(dir.file("t.wav"), c.file);
        testsupport::ProcessResult r = testsupport::cmtgrab({"-n0", "t.wav"}, dir.path());
        EXPECT_EQ(r.err, "Now Searching Header...\nReading 16428 \r" + endoffile + c.report);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.exitcode, 1);
    }
}

// A whole tape ends quietly; the same tape cut short ends with a report of
// every sample it held.
TEST(LevelReport, OnlyAFailedRunReports)
{
    const std::vector<uint8_t> body = {0x3E, 0x01, 0xC9, 0x00, 0xFF, 0x80};
    const std::vector<uint8_t> wav = cmtgen::encode({cmtgen::makefile(0x01, 0x1200, 0x1200, "LEVEL", body)}, {});

    testsupport::TempDir whole;
    testsupport::writefile(whole.file("t.wav"), wav);
    testsupport::ProcessResult r = testsupport::cmtgrab({"t.wav"}, whole.path());
    EXPECT_EQ(r.exitcode, 0);
    const std::string last = "Checksum OK        \n";
    ASSERT_GE(r.err.size(), last.size());
    EXPECT_EQ(r.err.substr(r.err.size() - last.size()), last) << r.err;
    EXPECT_EQ(r.err.find("low=0x"), std::string::npos);

    // Half the recording: the end comes during the header's leader.
    std::vector<uint8_t> cut(wav.begin(), wav.begin() + static_cast<std::ptrdiff_t>(44 + (wav.size() - 44) / 4 * 2));
    int low = 128, high = 128;
    for (size_t i = 45; i < cut.size(); i += 2) {
        low = std::min(low, cut[i] ^ 0x80);
        high = std::max(high, cut[i] ^ 0x80);
    }
    ASSERT_LT(low, 100);
    ASSERT_GT(high, 156);
    testsupport::TempDir dir;
    testsupport::writefile(dir.file("t.wav"), cut);
    r = testsupport::cmtgrab({"t.wav"}, dir.path());
    EXPECT_EQ(r.exitcode, 1);
    const std::string head = endoffile + separator + format("low=0x%02X high=0x%02X\n", low, high);
    const size_t at = r.err.find(endoffile);
    ASSERT_NE(at, std::string::npos) << r.err;
    EXPECT_EQ(r.err.substr(at, head.size()), head);
    // The histogram lines: ascending lengths, nothing counted zero times.
    std::istringstream lines(r.err.substr(at + head.size()));
    std::string line;
    int previous = -1, histogramlines = 0;
    while (std::getline(lines, line) && line.rfind("bitlength: ", 0) == 0) {
        int length = -1;
        long long count = 0;
        ASSERT_EQ(std::sscanf(line.c_str(), "bitlength: %d=%lld", &length, &count), 2) << line;
        EXPECT_GT(length, previous);
        EXPECT_LE(length, 255);
        EXPECT_GT(count, 0);
        previous = length;
        ++histogramlines;
    }
    EXPECT_GT(histogramlines, 1);
    EXPECT_EQ(line, format("Recommend Option: -d(%d-%d)", (high - low) / 4, (high - low) / 8));
    EXPECT_FALSE(std::getline(lines, line)) << "text after the report: " << line;
}
