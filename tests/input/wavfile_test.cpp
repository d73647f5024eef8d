// WAV file source: the chunk walk, sample conversion, exact positions and
// progress lines of the buffered reader, and the program's answer to each
// kind of file.
#include "input/wavfile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <sstream>

#include "control/runend.h"
#include "support/cmtgrab.h"
#include "support/sjis.h"
#include "support/wavfixture.h"

using namespace cmtgrab;
using testsupport::Chunk;
using testsupport::fmtchunk;
using testsupport::monowav;
using testsupport::pcm;
using testsupport::riff;

namespace {

constexpr const char* endoffile = "\nReached to end of file....\n";

// One WAV file opened in this process the way the loader opens it. The name is
// absolute because no command line (and no working directory) is involved.
struct OpenedWav {
    explicit OpenedWav(const std::vector<uint8_t>& bytes)
    {
        testsupport::writefile(dir.file("t.wav"), bytes);
        settings.wavname = dir.file("t.wav");
    }
    testsupport::TempDir dir;
    Settings settings;
    std::ostringstream out, err;
    Console console{out, err};
    WavFileStream stream{settings, console};
};

struct ReadResult {
    std::vector<int> samples;
    std::optional<RunEnd> end;  // empty: the stream never ended
};

// Every sample up to the end of the input; gives up rather than hang.
ReadResult readall(SampleStream& stream, size_t limit = 1000000)
{
    ReadResult r;
    try {
        while (r.samples.size() < limit) r.samples.push_back(stream.getsample());
    } catch (const RunEnd& end) {
        r.end = end;
    }
    return r;
}

void expectendoffile(const ReadResult& r)
{
    ASSERT_TRUE(r.end.has_value()) << "the stream did not end";
    EXPECT_EQ(r.end->message, endoffile);
    EXPECT_EQ(r.end->exitcode, 1);
    EXPECT_TRUE(r.end->report);
    EXPECT_TRUE(r.end->closeinput);
}

std::vector<uint8_t> bytes(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

std::vector<uint8_t> concat(std::vector<uint8_t> a, const std::vector<uint8_t>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

}  // namespace

TEST(WavSamples, ConvertToEightBitLevels)
{
    struct Case {
        const char* what;
        std::vector<uint8_t> file;
        std::vector<int> samples;
        int low, high;
    };
    // Bytes after the data chunk are samples too: "LIST", size 2, 0x11 0x22.
    const std::vector<uint8_t> trailing =
        riff({fmtchunk(1, 48000, 16), Chunk{"data", pcm(16, {0x4000}), -1}, Chunk{"LIST", {0x11, 0x22}, -1}});
    const Case cases[] = {
        {"16-bit", monowav(48000, 16, pcm(16, {0x0000, 0x7FFF, -0x8000, -1, 0x00FF, 0x0100})),
         {128, 255, 0, 127, 128, 129}, 0, 255},
        {"24-bit", monowav(48000, 24, pcm(24, {0x7FFFFF, -0x800000, -1, 0x0000FF})), {255, 0, 127, 128}, 0, 255},
        {"8-bit", monowav(48000, 8, {0x80, 0x00, 0x7F, 0xC3}), {128, 0, 0x7F, 0xC3}, 0, 0xC3},
        {"32-bit, byte by byte", monowav(48000, 32, pcm(32, {0x7FFFFFFF, 0x01020304})),
         {0xFF, 0xFF, 0xFF, 0x7F, 0x04, 0x03, 0x02, 0x01}, 0x01, 0xFF},
        {"16-bit zeros", monowav(48000, 16, pcm(16, {0, 0, 0})), {128, 128, 128}, 128, 128},
        {"16-bit zeros and minus one", monowav(48000, 16, pcm(16, {0, -1, 0})), {128, 127, 128}, 127, 128},
        {"24-bit zeros", monowav(48000, 24, pcm(24, {0, 0})), {128, 128}, 128, 128},
        {"8-bit zero line", monowav(48000, 8, {0x80, 0x80}), {128, 128}, 128, 128},
        {"only above the zero line", monowav(48000, 16, pcm(16, {0x1000, 0x2000})), {0x90, 0xA0}, 128, 0xA0},
        {"trailing chunk", trailing, {0xC0, 'I' ^ 0x80, 'T' ^ 0x80, 0x80, 0x80, 0x22 ^ 0x80}, 128, 'T' ^ 0x80},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        OpenedWav w(c.file);
        ASSERT_TRUE(w.stream.openwav());
        EXPECT_EQ(w.stream.low(), 128);
        EXPECT_EQ(w.stream.high(), 128);
        ReadResult r = readall(w.stream);
        expectendoffile(r);
        EXPECT_EQ(r.samples, c.samples);
        EXPECT_EQ(w.stream.low(), c.low);
        EXPECT_EQ(w.stream.high(), c.high);
        EXPECT_EQ(w.err.str(), "Reading 16428 \r");
        EXPECT_EQ(w.out.str(), "");
    }
}

TEST(WavChunkWalk, StopsAtTheFirstSample)
{
    struct Case {
        const char* what;
        std::vector<uint8_t> file;
        int64_t position;  // of the first sample; -1: not checked
        int samplebits;
        int unittime, noise;
        std::vector<int> samples;  // to the end of the file
    };
    const std::vector<uint8_t> data16 = pcm(16, {0x1234, -0x1234});
    const Chunk data{"data", data16, -1};
    const Chunk list{"LIST", {1, 2, 3, 4}, -1};
    const Chunk fact{"fact", {0, 0, 0, 0}, -1};
    const std::vector<int> samples16 = {0x92, 0x6D};
    const std::vector<uint8_t> databeforefmt = riff({Chunk{"data", {0x10, 0x20}, -1}, fmtchunk(1, 48000, 16)});
    const std::vector<uint8_t> afterwave = bytes(std::string("RIFF\4\0\0\0WAVE", 12));
    std::vector<int> allbytesfrom20(databeforefmt.begin() + 20, databeforefmt.end());
    const Case cases[] = {
        {"canonical", riff({fmtchunk(1, 48000, 16), data}), 44, 16, 18, 2, samples16},
        {"list before fmt", riff({list, fmtchunk(1, 48000, 16), data}), 56, 16, 18, 2, samples16},
        {"fact after fmt", riff({fmtchunk(1, 48000, 16), fact, data}), 56, 16, 18, 2, samples16},
        {"list before and fact after", riff({list, fmtchunk(1, 44100, 16), fact, data}), 68, 16, 15, 2, samples16},
        {"18-byte fmt", riff({fmtchunk(1, 22050, 16, 18), data}), 46, 16, 7, 1, samples16},
        {"40-byte fmt", riff({fmtchunk(1, 48000, 16, 40), data}), 68, 16, 18, 2, samples16},
        // A short second fmt chunk replaces only the fields it holds.
        {"2-byte fmt after a full one",
         riff({fmtchunk(1, 44100, 24), Chunk{"fmt ", {1, 0}, -1}, Chunk{"data", pcm(24, {0x120000}), -1}}), 54, 24, 15,
         2, {0x92}},
        {"data before fmt", databeforefmt, 20, 8, 0, 0, allbytesfrom20},
        {"ends right after WAVE", afterwave, 12, 8, 0, 0, {}},
        {"ends inside a chunk header", concat(afterwave, bytes("fmt")), 15, 8, 0, 0, {}},
        {"skipped chunk runs past the end",
         riff({fmtchunk(1, 48000, 16), Chunk{"LIST", {1, 2}, 0xFFFFFFFF}, data}), -1, 16, 18, 2, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        OpenedWav w(c.file);
        ASSERT_TRUE(w.stream.openwav());
        EXPECT_EQ(w.err.str(), "");  // nothing without -v
        if (c.position >= 0) {
            EXPECT_EQ(w.stream.position(), c.position);
        }
        EXPECT_EQ(w.stream.samplebits(), c.samplebits);
        EXPECT_EQ(w.settings.unittime, c.unittime);
        EXPECT_EQ(w.settings.noise, c.noise);
        ReadResult r = readall(w.stream);
        expectendoffile(r);
        EXPECT_EQ(r.samples, c.samples);
    }
}

// The reader fetches large blocks, yet every sample must stand at its own file
// position and each progress line must come out between the right two samples.
TEST(WavSamples, PositionsAndProgressLinesAreExactAcrossBlocks)
{
    struct Case {
        int bits;
        size_t fullsamples;
        size_t extrabytes;  // a last sample cut short by the end of the file
    };
    const Case cases[] = {{8, 70000, 0},     {16, 70000, 0},    {24, 70000, 0}, {16, 65536, 1}, {24, 65536, 2},
                          {24, 65535, 1},    {16, 2, 1},        {24, 1, 1},     {24, 1, 2},     {8, 65536, 0},
                          {16, 65536, 0},    {24, 65537, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.bits << "-bit, " << c.fullsamples << " samples + " << c.extrabytes);
        const size_t width = static_cast<size_t>(c.bits / 8);
        std::vector<uint8_t> data(c.fullsamples * width + c.extrabytes);
        for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 131 + i / 7);
        OpenedWav w(monowav(48000, c.bits, data));
        ASSERT_TRUE(w.stream.openwav());
        const int64_t filesize = 44 + static_cast<int64_t>(data.size());
        const size_t calls = c.fullsamples + (c.extrabytes > 0 ? 1 : 0);

        std::string expectederr;
        int64_t nextreport = -1;
        auto progress = [&](int64_t position) {
            if (position > nextreport) {
                nextreport = position + 16384;
                expectederr += "Reading " + std::to_string(nextreport) + " \r";
            }
        };
        bool failed = false;
        for (size_t i = 0; i < calls && !failed; ++i) {
            progress(44 + static_cast<int64_t>(i * width));
            int sample = w.stream.getsample();
            const int64_t after = std::min<int64_t>(44 + static_cast<int64_t>((i + 1) * width), filesize);
            if (i < c.fullsamples) {
                const uint8_t msb = data[i * width + width - 1];
                const int wanted = width == 1 ? msb : msb ^ 0x80;
                if (sample != wanted) ADD_FAILURE() << "sample " << i << ": " << sample << ", wanted " << wanted;
            }
            if (w.stream.position() != after)
                ADD_FAILURE() << "after sample " << i << ": position " << w.stream.position() << ", wanted " << after;
            if (w.err.str() != expectederr) ADD_FAILURE() << "after sample " << i << ": progress lines differ";
            failed = HasFailure();
        }
        ASSERT_FALSE(failed);
        progress(filesize);
        expectendoffile(readall(w.stream, 1));
        EXPECT_EQ(w.err.str(), expectederr);
    }
}

TEST(WavSamples, SecondProgressLineComesAfterOneStepOfBytes)
{
    struct Case {
        int bits;
        const char* lines;
    } cases[] = {
        {16, "Reading 16428 \rReading 32814 \rReading 49200 \r"},
        {8, "Reading 16428 \rReading 32813 \rReading 49198 \r"},
        {24, "Reading 16428 \rReading 32814 \rReading 49200 \r"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bits);
        const size_t width = static_cast<size_t>(c.bits / 8);
        OpenedWav w(monowav(48000, c.bits, std::vector<uint8_t>(40000 * width, 0x80)));
        ASSERT_TRUE(w.stream.openwav());
        // Read up to the sample at 16430: the 8-bit line for 32813 is already
        // out, the wider ones are due before that sample, not after it.
        const size_t before16430 = (16430 - 44 + width - 1) / width;
        for (size_t i = 0; i < before16430; ++i) w.stream.getsample();
        EXPECT_EQ(w.err.str(), std::string(c.lines, c.bits == 8 ? 30 : 15));
        ReadResult r = readall(w.stream);
        expectendoffile(r);
        EXPECT_EQ(w.err.str().substr(0, 45), c.lines);
    }
}

// --- The program on whole files --------------------------------------------

namespace {

using testsupport::emptyreport;
using testsupport::sjis;

const std::string separator = "================================\n";

// What a run prints from the header search to the end of a file that holds no
// sample beyond `datapos`.
std::string emptytail(bool verbose, bool x1, int64_t datapos)
{
    std::string text;
    if (verbose) text += separator;
    text += "Now Searching Header...\n";
    if (verbose) {
        text += x1 ? "load 0020 bytes, header=1\nStart gapck(X1)\n" : "load 0080 bytes, header=1\nStart gapck\n";
    }
    text += "Reading " + std::to_string(datapos + 16384) + " \r";
    return text + endoffile + emptyreport();
}

struct RunCase {
    const char* what;
    std::optional<std::vector<uint8_t>> file;  // saved as t.wav
    std::vector<std::string> args;
    std::string err;
    int exitcode = 1;
};

void expectruns(const std::vector<RunCase>& cases)
{
    for (const RunCase& c : cases) {
        SCOPED_TRACE(c.what);
        testsupport::TempDir dir;
        if (c.file) testsupport::writefile(dir.file("t.wav"), *c.file);
        testsupport::ProcessResult r = testsupport::cmtgrab(c.args, dir.path());
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.exitcode, c.exitcode);
        EXPECT_EQ(testsupport::listdir(dir.path()), std::vector<std::string>(c.file ? 1 : 0, "t.wav"));
    }
}

}  // namespace

TEST(WavProgram, RejectedFiles)
{
    const std::string notriff = "This file is not RIFF format.\n";
    const std::string notwave = "This file is not WAVE format.\n";
    const std::string notmono = "It is not able to use it except for monaural data.\n";
    const std::string notmono_ja = sjis("モノラルデータ以外は使えません。\n");
    const std::string badrate = "warning:Frequency of WAV file is not 48/44.1/22.05KHz.\n";
    const std::string badrate_ja = sjis("warning:WAVファイルの周波数が48/44.1/22.05KHzではありません。\n");
    const std::string opened = "Header mode: MZ\nOpen WAV file 't.wav'.\n";
    const std::string at96k = "wfmt.wBitsPerSample=16\nwfmt.nSamplesPerSec=96000\n";
    const std::string unchanged = "Set -w0 as default.\nSet -n0 as default.\n";
    const std::vector<uint8_t> good = monowav(48000, 16, {});
    // The good file with four bytes replaced at `offset`.
    auto patched = [&](size_t offset, const char* four) {
        std::vector<uint8_t> f = good;
        std::copy(four, four + 4, f.begin() + static_cast<std::ptrdiff_t>(offset));
        return f;
    };
    const std::vector<uint8_t> stereo = riff({fmtchunk(2, 48000, 16), Chunk{"data", {}, -1}});
    const std::vector<uint8_t> rate96k = monowav(96000, 16, pcm(16, {0x7000, -0x7000}));
    const std::vector<std::string> v = {"-v", "t.wav"};
    expectruns({
        {"missing file", std::nullopt, {"missing.wav"}, "Can't open file 'missing.wav'.\n"},
        {"missing file, -v", std::nullopt, {"-v", "missing.wav"}, "Header mode: MZ\nCan't open file 'missing.wav'.\n"},
        {"missing file, -lj", std::nullopt, {"-lj", "missing.wav"}, "Can't open file 'missing.wav'.\n"},
        {"empty file", std::vector<uint8_t>{}, {"t.wav"}, notriff},
        {"empty file, -v", std::vector<uint8_t>{}, v, opened + notriff},
        {"seven bytes", bytes(std::string("RIFF\0\0\0", 7)), {"t.wav"}, notriff},
        {"RIFX", patched(0, "RIFX"), {"t.wav"}, notriff},
        {"RF64", patched(0, "RF64"), {"t.wav"}, notriff},
        {"lower-case riff", patched(0, "riff"), {"t.wav"}, notriff},
        {"not RIFF, -lj", patched(0, "RIFX"), {"-lj", "t.wav"}, notriff},
        {"WAVX", patched(8, "WAVX"), {"t.wav"}, notwave},
        {"ends after the RIFF size", bytes(std::string("RIFF\4\0\0\0", 8)), {"t.wav"}, notwave},
        {"ends inside WAVE", bytes(std::string("RIFF\4\0\0\0WAV", 11)), v, opened + notwave},
        {"not WAVE, -lj", patched(8, "wave"), {"-lj", "t.wav"}, notwave},
        {"stereo", stereo, {"t.wav"}, notmono},
        {"stereo, -v: no format line", stereo, v, opened + notmono},
        {"stereo, -lj", stereo, {"-lj", "t.wav"}, notmono_ja},
        {"no channels", riff({fmtchunk(0, 48000, 16), Chunk{"data", {}, -1}}), {"t.wav"}, notmono},
        {"empty fmt chunk", riff({Chunk{"fmt ", {}, -1}, Chunk{"data", {}, -1}}), v, opened + notmono},
        {"2-byte fmt chunk", riff({Chunk{"fmt ", {1, 0}, -1}, Chunk{"data", {}, -1}}), v, opened + notmono},
        {"stereo at 96000 Hz", riff({fmtchunk(2, 96000, 16), Chunk{"data", {}, -1}}), {"t.wav"}, notmono},
        {"96000 Hz", rate96k, {"t.wav"}, badrate},
        {"96000 Hz, -v", rate96k, v,
         opened + at96k + badrate + unchanged},
        {"96000 Hz, -v -f1", rate96k, {"-v", "-f1", "t.wav"},
         "Header mode: X1\nOpen WAV file 't.wav'.\n" + at96k + badrate + unchanged},
        {"96000 Hz, -v -lj", rate96k, {"-v", "-lj", "t.wav"},
         opened + at96k + badrate_ja + unchanged},
        {"96000 Hz, -v -w12 -n3", rate96k, {"-v", "-w12", "-n3", "t.wav"},
         opened + at96k + badrate},
        {"44100 Hz: one step short", monowav(44099, 16, {}), {"t.wav"}, badrate},
        {"rate 0xFFFFFFFF shows as signed, -v", monowav(-1, 8, {}), v,
         opened + "wfmt.wBitsPerSample=8\nwfmt.nSamplesPerSec=-1\n" + badrate + unchanged},
        // A bad rate leaves the values of an earlier fmt chunk in place.
        {"96000 Hz after 48000 Hz, -v",
         riff({fmtchunk(1, 48000, 16), fmtchunk(1, 96000, 8), Chunk{"data", {}, -1}}), v,
         opened + "wfmt.wBitsPerSample=16\nwfmt.nSamplesPerSec=48000\nSet -w18 as default.\nSet -n2 as default.\n" +
             "wfmt.wBitsPerSample=8\nwfmt.nSamplesPerSec=96000\n" + badrate +
             "Set -w18 as default.\nSet -n2 as default.\n"},
    });
}

TEST(WavProgram, FormatLinesAndDefaults)
{
    auto lines = [](int bits, int rate, int w, int n) {
        std::string text = "wfmt.wBitsPerSample=" + std::to_string(bits) + "\n";
        text += "wfmt.nSamplesPerSec=" + std::to_string(rate) + "\n";
        if (w >= 0) text += "Set -w" + std::to_string(w) + " as default.\n";
        if (n >= 0) text += "Set -n" + std::to_string(n) + " as default.\n";
        return text;
    };
    const std::string mz = "Header mode: MZ\nOpen WAV file 't.wav'.\n";
    const std::string x1 = "Header mode: X1\nOpen WAV file 't.wav'.\n";
    const std::string mzempty = emptytail(true, false, 44);
    const Chunk data{"data", {}, -1};
    const Chunk list{"LIST", {'I', 'N', 'F', 'O'}, -1};
    const Chunk fact{"fact", {0, 0, 0, 0}, -1};
    expectruns({
        {"22050 Hz", monowav(22050, 16, {}), {"-v", "t.wav"}, mz + lines(16, 22050, 7, 1) + mzempty},
        {"44100 Hz", monowav(44100, 16, {}), {"-v", "t.wav"}, mz + lines(16, 44100, 15, 2) + mzempty},
        {"48000 Hz", monowav(48000, 16, {}), {"-v", "t.wav"}, mz + lines(16, 48000, 18, 2) + mzempty},
        {"X1 22050 Hz", monowav(22050, 16, {}), {"-v", "-f1", "t.wav"},
         x1 + lines(16, 22050, 3, 0) + emptytail(true, true, 44)},
        {"X1 44100 Hz 8-bit", monowav(44100, 8, {}), {"-v", "-f1", "t.wav"},
         x1 + lines(8, 44100, 7, 2) + emptytail(true, true, 44)},
        {"X1 48000 Hz", monowav(48000, 16, {}), {"-v", "-f1", "t.wav"},
         x1 + lines(16, 48000, 9, 2) + emptytail(true, true, 44)},
        {"-w12 -n3", monowav(48000, 16, {}), {"-v", "-w12", "-n3", "t.wav"},
         mz + lines(16, 48000, -1, -1) + mzempty},
        {"-w12 only", monowav(48000, 16, {}), {"-v", "-w12", "t.wav"},
         mz + lines(16, 48000, -1, 2) + mzempty},
        {"-n0 only", monowav(48000, 16, {}), {"-v", "-n0", "t.wav"},
         mz + lines(16, 48000, 18, -1) + mzempty},
        {"24-bit", monowav(48000, 24, {}), {"-v", "t.wav"}, mz + lines(24, 48000, 18, 2) + mzempty},
        {"18-byte fmt", riff({fmtchunk(1, 44100, 16, 18), data}), {"-v", "t.wav"},
         mz + lines(16, 44100, 15, 2) + emptytail(true, false, 46)},
        {"40-byte fmt", riff({fmtchunk(1, 44100, 16, 40), data}), {"-v", "t.wav"},
         mz + lines(16, 44100, 15, 2) + emptytail(true, false, 68)},
        {"list before, fact after", riff({list, fmtchunk(1, 22050, 8), fact, data}), {"-v", "t.wav"},
         mz + lines(8, 22050, 7, 1) + emptytail(true, false, 68)},
        {"short second fmt", riff({fmtchunk(1, 22050, 16), Chunk{"fmt ", {1, 0}, -1}, data}), {"-v", "t.wav"},
         mz + lines(16, 22050, 7, 1) + lines(16, 22050, 7, 1) + emptytail(true, false, 54)},
        {"no -v", monowav(48000, 16, {}), {"t.wav"}, emptytail(false, false, 44)},
    });
}

// Running out of file during the chunk walk is no rejection: the run goes on
// and the first sample meets the end of the file.
TEST(WavProgram, FileEndsDuringTheChunkWalk)
{
    const std::vector<uint8_t> afterwave = bytes(std::string("RIFF\4\0\0\0WAVE", 12));
    expectruns({
        {"ends after WAVE", afterwave, {"t.wav"}, emptytail(false, false, 12)},
        {"ends after WAVE, -v", afterwave, {"-v", "t.wav"},
         "Header mode: MZ\nOpen WAV file 't.wav'.\n" + emptytail(true, false, 12)},
        {"ends after fmt", riff({fmtchunk(1, 48000, 16)}), {"-v", "t.wav"},
         "Header mode: MZ\nOpen WAV file 't.wav'.\nwfmt.wBitsPerSample=16\nwfmt.nSamplesPerSec=48000\n"
         "Set -w18 as default.\nSet -n2 as default.\n" +
             emptytail(true, false, 36)},
    });

    // A skipped chunk that claims 4 GiB takes the walk past the end of the file.
    testsupport::TempDir dir;
    testsupport::writefile(
        dir.file("t.wav"),
        riff({fmtchunk(1, 48000, 16), Chunk{"LIST", {1, 2, 3}, 0xFFFFFFFF}, Chunk{"data", pcm(16, {0x7000}), -1}}));
    testsupport::ProcessResult r = testsupport::cmtgrab({"t.wav"}, dir.path());
    const std::string head = "Now Searching Header...\nReading ";
    const std::string tail = std::string(" \r") + endoffile + emptyreport();
    EXPECT_EQ(r.err.substr(0, head.size()), head) << r.err;
    ASSERT_GE(r.err.size(), tail.size());
    EXPECT_EQ(r.err.substr(r.err.size() - tail.size()), tail) << r.err;
    EXPECT_EQ(r.exitcode, 1);
}

TEST(WavProgram, DataBeforeFmtIsReadAsEightBitWithoutDefaults)
{
    testsupport::TempDir dir;
    const std::vector<uint8_t> file = riff({Chunk{"data", pcm(16, {0x7F00, -0x7F00}), -1}, fmtchunk(1, 48000, 16)});
    testsupport::writefile(dir.file("t.wav"), file);
    testsupport::ProcessResult r = testsupport::cmtgrab({"-v", "t.wav"}, dir.path());
    // Every byte from the data chunk's content to the end is one sample.
    int low = 128, high = 128;
    for (size_t i = 20; i < file.size(); ++i) {
        low = std::min<int>(low, file[i]);
        high = std::max<int>(high, file[i]);
    }
    const std::string head = "Header mode: MZ\nOpen WAV file 't.wav'.\n" + separator +
                             "Now Searching Header...\nload 0080 bytes, header=1\nStart gapck\nReading 16404 \r" +
                             endoffile + separator + format("low=0x%02X high=0x%02X\n", low, high);
    const std::string tail = format("Recommend Option: -d(%d-%d)\n", (high - low) / 4, (high - low) / 8);
    EXPECT_EQ(r.err.substr(0, head.size()), head) << r.err;
    ASSERT_GE(r.err.size(), tail.size());
    EXPECT_EQ(r.err.substr(r.err.size() - tail.size()), tail) << r.err;
    EXPECT_EQ(r.exitcode, 1);
}
