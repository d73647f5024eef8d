// End-to-end loads: tapes made by the cmtgen encoder (and the real recordings
// of the corpus) run through the built program; files, messages and exit codes
// are compared byte for byte.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <bit>
#include <cstdarg>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <cctype>
#include <cstdio>
#include <string>
#include <vector>

#include "encoder.h"
#include "image.h"
#include "support/cmtgrab.h"
#include "support/process.h"
#include "support/sjis.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;
using cmtgen::Format;
using cmtgen::Options;
using cmtgen::SignalWriter;
using cmtgen::TapeFile;
using testsupport::ProcessResult;
using testsupport::TempDir;

constexpr long headergap_pulses = 400;
constexpr long bodygap_pulses = 300;
constexpr long headermark_pulses = 40;
constexpr long bodymark_pulses = 20;
constexpr long copygap_pulses = 256;  // short pulses between the two copies, as the encoder sends them
constexpr int64_t progress_step_bytes = 16384;

const std::string ok = "Checksum OK        \n";
const std::string retry = "Retry              \n";
const std::string checksumerror = "Checksum error!    \n";
const std::string separator = "================================\n";
const std::string searchheader = "Now Searching Header...\n";
const std::string searchbody = "Now Searching Body...\n";
const std::string endoffile = "\nReached to end of file....\n";
const std::string cannotopen = "Couldn't open output file.\n";

std::string printf_string(const char* fmt, ...)
{
    char text[512];
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(text, sizeof text, fmt, args);
    va_end(args);
    return text;
}

// Short leaders keep the recordings small; the decoder needs only 100 gap pulses.
Options smallgaps()
{
    Options opt;
    opt.headergap = headergap_pulses;
    opt.bodygap = bodygap_pulses;
    opt.silence_s = 0.05;
    opt.filegap_s = 0.2;
    return opt;
}

Bytes pattern(size_t size, unsigned seed)
{
    Bytes bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i * 37 + seed * 101 + (i >> 3));
    return bytes;
}

unsigned onebits(const Bytes& bytes, size_t size)
{
    unsigned count = 0;
    for (size_t i = 0; i < size; ++i) count += static_cast<unsigned>(std::popcount(bytes[i]));
    return count & 0xFFFF;
}

Bytes join(const Bytes& a, const Bytes& b)
{
    Bytes all = a;
    all.insert(all.end(), b.begin(), b.end());
    return all;
}

uint16_t word(const Bytes& record, size_t at) { return static_cast<uint16_t>(record[at] | record[at + 1] << 8); }

std::string modeline(const Bytes& record)
{
    return printf_string("mode:%02X start:%04X len:%04X exec:%04X\n", record[0], word(record, 20), word(record, 18),
                         word(record, 22));
}

// What a good load of one tape file prints without -v, name shown as `shown`.
std::string headertext(const Bytes& record, const std::string& shown)
{
    return searchheader + ok + "FOUND " + shown + "\n" + modeline(record);
}
std::string bodytext() { return searchbody + ok; }
std::string filetext(const TapeFile& file, const std::string& shown) { return headertext(file.header, shown) + bodytext(); }

// The progress lines "Reading <n> \r" taken out of an error stream.
struct Progress {
    std::string rest;               // the stream without them
    std::vector<int64_t> values;    // the numbers they showed, in order
};

Progress splitprogress(const std::string& err)
{
    static const std::string lead = "Reading ";
    Progress p;
    size_t at = 0;
    for (;;) {
        size_t found = err.find(lead, at);
        size_t digits = found + lead.size();
        size_t end = digits;
        if (found != std::string::npos && end < err.size() && err[end] == '-') ++end;
        while (found != std::string::npos && end < err.size() && std::isdigit(static_cast<unsigned char>(err[end]))) ++end;
        if (found == std::string::npos || end == digits || err.compare(end, 2, " \r") != 0) {
            if (found == std::string::npos) break;
            p.rest.append(err, at, digits - at);
            at = digits;
            continue;
        }
        p.rest.append(err, at, found - at);
        p.values.push_back(std::stoll(err.substr(digits, end - digits)));
        at = end + 2;
    }
    p.rest.append(err, at, std::string::npos);
    return p;
}
std::string stripprogress(const std::string& err) { return splitprogress(err).rest; }

// Every progress line of a run that reads a WAV file from its first sample
// (at `datastart`) to its end: one check per sample position and one more at
// the end of the file, where the read fails.
std::vector<int64_t> progressthroughout(int64_t datastart, int64_t filebytes, int width_bytes)
{
    std::vector<int64_t> values;
    int64_t next = -1;
    for (int64_t pos = datastart;; pos += width_bytes) {
        if (pos > next) {
            next = pos + progress_step_bytes;
            values.push_back(next);
        }
        if (pos >= filebytes) break;
    }
    return values;
}

// Extremes of the 8-bit samples the program makes from an encoder WAV
// (canonical 44-byte header), for the level report.
std::pair<int, int> levels(const Bytes& wav, int bits)
{
    const size_t width = static_cast<size_t>(bits / 8);
    int low = 128, high = 128;
    for (size_t at = 44; at + width <= wav.size(); at += width) {
        int sample = width == 1 ? wav[at] : (wav[at + width - 1] ^ 0x80);
        low = std::min(low, sample);
        high = std::max(high, sample);
    }
    return {low, high};
}

// A level report for the range low..high: the histogram is whatever the signal
// gave, but its lines must be in ascending order of run length.
void expectreport(const std::string& text, std::pair<int, int> range)
{
    const std::string head = separator + printf_string("low=0x%02X high=0x%02X\n", range.first, range.second);
    ASSERT_EQ(text.substr(0, head.size()), head) << text;
    const int quarter = (range.second - range.first) / 4;
    const std::string tail = printf_string("Recommend Option: -d(%d-%d)\n", quarter, quarter / 2);
    ASSERT_GE(text.size(), head.size() + tail.size());
    EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
    const std::string histogram = text.substr(head.size(), text.size() - head.size() - tail.size());
    // Every line must read "bitlength: <n>=<count>\n" with a non-zero count.
    int previous = -1;
    size_t covered = 0;
    while (covered < histogram.size()) {
        const size_t eol = histogram.find('\n', covered);
        ASSERT_NE(eol, std::string::npos) << histogram;
        int length = -1;
        long long count = 0;
        char extra = 0;
        const std::string line = histogram.substr(covered, eol - covered);
        ASSERT_EQ(std::sscanf(line.c_str(), "bitlength: %d=%lld%c", &length, &count, &extra), 2) << line;
        EXPECT_GT(count, 0) << line;
        EXPECT_GT(length, previous);
        previous = length;
        covered = eol + 1;
    }
    EXPECT_EQ(covered, histogram.size()) << histogram;
    EXPECT_GT(previous, 0) << "a signal was read, so the histogram cannot be empty";
}

// The failing end of a run: `before` (progress lines removed), then a level report.
void expectfailure(const ProcessResult& r, const std::string& before, std::pair<int, int> range)
{
    EXPECT_EQ(r.exitcode, 1);
    EXPECT_EQ(r.out, "");
    const std::string err = stripprogress(r.err);
    ASSERT_EQ(err.substr(0, before.size()), before);
    expectreport(err.substr(before.size()), range);
}

// Both copies of a block, with its leader, as the encoder lays them out.
void recordblock(SignalWriter& w, long gap, long mark, const Bytes& bytes, bool corruptfirst = false)
{
    w.leader(gap, mark);
    w.block(bytes, corruptfirst);
    w.pulses(copygap_pulses, false);
    w.block(bytes);
}

void recordfile(SignalWriter& w, const TapeFile& file)
{
    recordblock(w, headergap_pulses, headermark_pulses, Bytes(file.header.begin(), file.header.begin() + 128));
    recordblock(w, bodygap_pulses, bodymark_pulses, file.body);
}

TapeFile sample(unsigned seed, const std::string& name, size_t body_bytes)
{
    return cmtgen::makefile(static_cast<uint8_t>(seed), static_cast<uint16_t>(0x1200 + seed),
                            static_cast<uint16_t>(0x1234 + seed), name, pattern(body_bytes, seed));
}

bool writable(const std::string& path)
{
    std::FILE* f = std::fopen(path.c_str(), "ab");
    if (!f) return false;
    std::fclose(f);
    return true;
}

class Loader : public ::testing::Test {
protected:
    void tape(const Bytes& wav) { testsupport::writefile(dir.file("tape.wav"), wav); }
    ProcessResult run(const std::vector<std::string>& args) { return testsupport::cmtgrab(args, dir.path()); }
    Bytes bytes(const std::string& name) const { return testsupport::readbytes(dir.file(name)); }
    std::vector<std::string> files() const { return testsupport::listdir(dir.path()); }

    TempDir dir;
};

using Names = std::vector<std::string>;

// ---- the corpus ------------------------------------------------------------

TEST(LoaderCorpus, EveryRecordingLoadsToItsImage)
{
    const fs::path corpus = CMTGRAB_CORPUS_DIR;
    if (!fs::is_directory(corpus)) GTEST_SKIP() << "no corpus at " << corpus;
    int real = 0, synthetic = 0;
    for (const auto& entry : fs::directory_iterator(corpus)) {
        const std::string name = entry.path().filename().string();
        if (entry.path().extension() != ".wav") continue;
        const bool isreal = name.rfind("real_", 0) == 0;
        if (!isreal && name.rfind("synth_", 0) != 0) continue;
        const std::string base = name.substr(isreal ? 5 : 6, name.size() - (isreal ? 5 : 6) - 4);
        const fs::path image = corpus / (base + (isreal ? ".mzf" : ".mzt"));
        SCOPED_TRACE(name);
        ASSERT_TRUE(fs::exists(image));
        (isreal ? real : synthetic)++;

        TempDir dir;
        fs::create_symlink(fs::absolute(entry.path()), fs::path(dir.path()) / name);
        std::vector<std::string> args = {"-o", name};
        // The real deck recorded with inverted polarity and a weaker swing.
        if (isreal) args = {"-d30", "-r", "-o", name};
        const ProcessResult r = testsupport::cmtgrab(args, dir.path());
        const Bytes expected = testsupport::readbytes(image.string());
        EXPECT_EQ(r.exitcode, 0) << r.err;
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(testsupport::readbytes(dir.file("output.mzt")), expected);
        Names left = {name, "output.mzt"};
        std::sort(left.begin(), left.end());
        EXPECT_EQ(testsupport::listdir(dir.path()), left);
        const std::string err = stripprogress(r.err);
        const std::string head = searchheader + ok + "FOUND ";
        const std::string tail = modeline(expected) + bodytext() + "copy /b header.dat+out.dat output.mzt\n";
        EXPECT_EQ(err.substr(0, head.size()), head) << err;
        EXPECT_EQ(err.substr(err.size() - std::min(err.size(), tail.size())), tail) << err;
    }
    EXPECT_GT(real, 0);
    EXPECT_GT(synthetic, 0);
}

TEST_F(Loader, MultiFileImageLoadsAsThreeTapeFiles)
{
    const fs::path image = fs::path(CMTGRAB_CORPUS_DIR) / "Baryon_multi.mzt";
    if (!fs::exists(image)) GTEST_SKIP() << "no corpus";
    const std::vector<TapeFile> parts = cmtgen::splitimage(testsupport::readbytes(image.string()));
    ASSERT_EQ(parts.size(), 3u);
    Options opt = smallgaps();
    opt.rate = 22050;  // 32 KiB of tape data: the smallest format keeps the file short
    opt.bits = 8;
    tape(cmtgen::encode(parts, opt));

    const ProcessResult r = run({"-a0,0", "tape.wav"});
    EXPECT_EQ(r.exitcode, 0) << r.err;
    EXPECT_EQ(files(), (Names{"header.dat", "header1.dat", "header2.dat", "out.dat", "out1.dat", "out2.dat", "tape.wav"}));
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(bytes(i == 0 ? "header.dat" : "header" + std::to_string(i) + ".dat"), parts[i].header);
        EXPECT_EQ(bytes(i == 0 ? "out.dat" : "out" + std::to_string(i) + ".dat"), parts[i].body);
    }
}

// ---- one tape file ---------------------------------------------------------

TEST_F(Loader, OneTapeFileQuietAndVerbose)
{
    const TapeFile file = cmtgen::makefile(0x01, 0x1200, 0x1234, "HELLO", pattern(300, 1));
    const Bytes wav = cmtgen::encode({file}, smallgaps());
    tape(wav);

    const ProcessResult quiet = run({"tape.wav"});
    EXPECT_EQ(quiet.exitcode, 0);
    EXPECT_EQ(quiet.out, "");
    EXPECT_EQ(stripprogress(quiet.err), searchheader + ok + "FOUND HELLO\n" +
                                            "mode:01 start:1200 len:012C exec:1234\n" + searchbody + ok);
    EXPECT_EQ(files(), (Names{"header.dat", "out.dat", "tape.wav"}));
    EXPECT_EQ(bytes("header.dat"), file.header);
    EXPECT_EQ(bytes("out.dat"), file.body);

    // Progress: the first line comes with the first sample, after the search
    // line; the rest follow the reading position through the file.
    EXPECT_EQ(quiet.err.substr(0, searchheader.size() + 15), searchheader + "Reading 16428 \r");
    const std::vector<int64_t> shown = splitprogress(quiet.err).values;
    const std::vector<int64_t> all = progressthroughout(44, static_cast<int64_t>(wav.size()), 2);
    ASSERT_GE(shown.size(), 2u);
    ASSERT_LT(shown.size(), all.size()) << "the load ends before the silence at the end of the file";
    EXPECT_TRUE(std::equal(shown.begin(), shown.end(), all.begin()));

    const ProcessResult verbose = run({"-v", "tape.wav"});
    const std::string expected =
        "Header mode: MZ\n"
        "Open WAV file 'tape.wav'.\n"
        "wfmt.wBitsPerSample=16\n"
        "wfmt.nSamplesPerSec=48000\n"
        "Set -w18 as default.\n"
        "Set -n2 as default.\n" +
        separator + searchheader + "load 0080 bytes, header=1\n" +
        "Start gapck\nDone gapck\nStart tmark\nDone tmark\n" +
        printf_string("Checksum counted %04X, required %04X\n", onebits(file.header, 128), onebits(file.header, 128)) +
        ok + "FOUND HELLO\n" + "mode:01 start:1200 len:012C exec:1234\n" + "'header.dat' Created.\n" + separator +
        searchbody + "load 012C bytes, header=0\n" + "Start gapck\nDone gapck\nStart tmark\nDone tmark\n" +
        printf_string("Checksum counted %04X, required %04X\n", onebits(file.body, 300), onebits(file.body, 300)) +
        ok + separator + "'out.dat' Created.\n";
    EXPECT_EQ(verbose.exitcode, 0);
    EXPECT_EQ(verbose.out, "");
    EXPECT_EQ(stripprogress(verbose.err), expected);
    EXPECT_EQ(bytes("header.dat"), file.header);
    EXPECT_EQ(bytes("out.dat"), file.body);
}

// ---- several tape files and bodies -----------------------------------------

TEST_F(Loader, ZeroEntryLoadsASecondTapeFile)
{
    const TapeFile first = sample(1, "FIRST", 200), second = sample(2, "SECOND", 150);
    tape(cmtgen::encode({first, second}, smallgaps()));
    const ProcessResult r = run({"-a0", "tape.wav"});
    EXPECT_EQ(r.exitcode, 0);
    EXPECT_EQ(stripprogress(r.err), filetext(first, "FIRST") + filetext(second, "SECOND"));
    EXPECT_EQ(files(), (Names{"header.dat", "header1.dat", "out.dat", "out1.dat", "tape.wav"}));
    EXPECT_EQ(bytes("header.dat"), first.header);
    EXPECT_EQ(bytes("out.dat"), first.body);
    EXPECT_EQ(bytes("header1.dat"), second.header);
    EXPECT_EQ(bytes("out1.dat"), second.body);
}

TEST_F(Loader, FurtherBodyUnderTheSameHeaderThenNextTapeFile)
{
    const TapeFile first = sample(1, "FIRST", 200), second = sample(2, "SECOND", 150);
    const Bytes extra = pattern(0x100, 7);
    SignalWriter w(smallgaps());
    w.silence(0.05);
    recordfile(w, first);
    recordblock(w, bodygap_pulses, bodymark_pulses, extra);
    w.silence(0.2);
    recordfile(w, second);
    w.silence(0.05);
    tape(w.wav());

    const ProcessResult r = run({"-a100,0", "tape.wav"});
    EXPECT_EQ(r.exitcode, 0);
    EXPECT_EQ(stripprogress(r.err), filetext(first, "FIRST") + bodytext() + filetext(second, "SECOND"));
    EXPECT_EQ(files(), (Names{"header.dat", "header1.dat", "out.dat", "out1.dat", "out2.dat", "tape.wav"}));
    EXPECT_EQ(bytes("header.dat"), first.header);
    EXPECT_EQ(bytes("out.dat"), first.body);
    EXPECT_EQ(bytes("out1.dat"), extra);
    EXPECT_EQ(bytes("header1.dat"), second.header);
    EXPECT_EQ(bytes("out2.dat"), second.body);
}

TEST_F(Loader, InputEndingBeforeTheListIsUsedUpFailsAndKeepsTheFiles)
{
    const TapeFile file = sample(3, "ONLY", 120);
    const Bytes wav = cmtgen::encode({file}, smallgaps());
    tape(wav);
    const ProcessResult r = run({"-a0", "tape.wav"});
    expectfailure(r, filetext(file, "ONLY") + searchheader + endoffile, levels(wav, 16));
    EXPECT_EQ(files(), (Names{"header.dat", "out.dat", "tape.wav"}));
    EXPECT_EQ(bytes("header.dat"), file.header);
    EXPECT_EQ(bytes("out.dat"), file.body);
    // The search read every sample: every progress line of the file was shown.
    EXPECT_EQ(splitprogress(r.err).values, progressthroughout(44, static_cast<int64_t>(wav.size()), 2));
}

// ---- headers made from -q ---------------------------------------------------

// The header record that -q makes over what the block buffer held before.
Bytes qrecord(Bytes buffer, uint32_t mode, uint32_t start, uint32_t len, uint32_t exec, const std::string& name)
{
    buffer.resize(128);
    for (size_t i = 0; i < 16; ++i) buffer[1 + i] = i < name.size() ? static_cast<uint8_t>(name[i]) : 0;
    if (name.size() < 16) {
        buffer[1 + name.size()] = 0x0D;
        buffer[2 + name.size()] = 0;
    } else {
        buffer[17] = 0x0D;
    }
    buffer[0] = static_cast<uint8_t>(mode);
    const uint32_t words[3] = {len, start, exec};
    for (size_t i = 0; i < 3; ++i) {
        buffer[18 + 2 * i] = static_cast<uint8_t>(words[i]);
        buffer[19 + 2 * i] = static_cast<uint8_t>(words[i] >> 8);
    }
    return buffer;
}

Bytes bodiesonly(const std::vector<Bytes>& bodies)
{
    SignalWriter w(smallgaps());
    w.silence(0.05);
    for (const Bytes& body : bodies) {
        recordblock(w, bodygap_pulses, bodymark_pulses, body);
        w.silence(0.2);
    }
    return w.wav();
}

TEST_F(Loader, QHeaderReplacesTheHeaderBlock)
{
    struct Case {
        std::string arg;
        uint32_t mode, start, exec;
        std::string name;
        std::string shown;
        std::string line;
    };
    const Case cases[] = {
        {"-q1,1200,30,1234,HELLO", 1, 0x1200, 0x1234, "HELLO", "HELLO", "mode:01 start:1200 len:0030 exec:1234\n"},
        {"-q5,12345,30,0,ABCDEFGHIJKLMNOPQRST", 5, 0x12345, 0, "ABCDEFGHIJKLMNOPQRST", "ABCDEFGHIJKLMNOP",
         "mode:05 start:12345 len:0030 exec:0000\n"},
    };
    const Bytes body = pattern(0x30, 4);
    tape(bodiesonly({body}));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arg);
        const ProcessResult r = run({c.arg, "tape.wav"});
        EXPECT_EQ(r.exitcode, 0);
        EXPECT_EQ(stripprogress(r.err), "FOUND " + c.shown + "\n" + c.line + bodytext());
        const Bytes header = qrecord(Bytes(128, 0), c.mode, c.start, 0x30, c.exec, c.name);
        EXPECT_EQ(bytes("header.dat"), header);
        EXPECT_EQ(bytes("out.dat"), body);
    }
    // The record as it is laid out, independent of the model above.
    const Bytes header = bytes("header.dat");
    EXPECT_EQ(Bytes(header.begin() + 1, header.begin() + 18), Bytes({'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', 'I', 'J', 'K', 'L',
                                                                      'M', 'N', 'O', 'P', 0x0D}));
    EXPECT_EQ(header[20], 0x45);
    EXPECT_EQ(header[21], 0x23);
    ASSERT_EQ(run({"-q1,1200,30,1234,HELLO", "tape.wav"}).exitcode, 0);
    const Bytes hello = bytes("header.dat");
    EXPECT_EQ(Bytes(hello.begin(), hello.begin() + 18),
              Bytes({0x01, 'H', 'E', 'L', 'L', 'O', 0x0D, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST_F(Loader, QHeaderWithZeroEntryIsMadeAgainForTheSecondTapeFile)
{
    const Bytes body1 = pattern(0x40, 5), body2 = pattern(0x40, 6);
    tape(bodiesonly({body1, body2}));
    const ProcessResult r = run({"-q2,3000,40,3003,PAIR", "-a0", "tape.wav"});
    EXPECT_EQ(r.exitcode, 0);
    const std::string once = "FOUND PAIR\nmode:02 start:3000 len:0040 exec:3003\n" + bodytext();
    EXPECT_EQ(stripprogress(r.err), once + once);
    EXPECT_EQ(files(), (Names{"header.dat", "header1.dat", "out.dat", "out1.dat", "tape.wav"}));
    // The second record is written over the first body still in the buffer:
    // its bytes past the fields are that body's.
    EXPECT_EQ(bytes("header.dat"), qrecord(Bytes(128, 0), 2, 0x3000, 0x40, 0x3003, "PAIR"));
    Bytes leftover = body1;
    leftover.resize(128, 0);
    EXPECT_EQ(bytes("header1.dat"), qrecord(leftover, 2, 0x3000, 0x40, 0x3003, "PAIR"));
    EXPECT_EQ(bytes("out.dat"), body1);
    EXPECT_EQ(bytes("out1.dat"), body2);
}

TEST_F(Loader, RefusedValuesEndBeforeAnythingIsRead)
{
    tape(bodiesonly({pattern(4, 1)}));
    for (const char* arg : {"-q1,1200,10000,0,BIG", "-q1,1200,-1,0,NEG", "-a1,2,3,4,5,6,7,8,9,A,B"}) {
        SCOPED_TRACE(arg);
        const ProcessResult r = run({arg, "tape.wav"});
        EXPECT_EQ(r.exitcode, 1);
        EXPECT_EQ(r.err, "Out of range.\n");
        EXPECT_EQ(files(), (Names{"tape.wav"}));
    }
    // Ten entries are the most the list holds, and are accepted.
    const ProcessResult ten = run({"-q1,1200,4,0,TEN", "-a4,4,4,4,4,4,4,4,4,4", "tape.wav"});
    EXPECT_EQ(stripprogress(ten.err).substr(0, 10), "FOUND TEN\n");
}

// ---- the tape image ----------------------------------------------------------

TEST_F(Loader, ImageJoinsHeaderAndBody)
{
    const TapeFile file = sample(1, "GAME", 500);
    tape(cmtgen::encode({file}, smallgaps()));
    const struct {
        const char* arg;
        const char* image;
    } cases[] = {{"-o", "output.mzt"}, {"-ogame.mzt", "game.mzt"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arg);
        const ProcessResult r = run({c.arg, "tape.wav"});
        EXPECT_EQ(r.exitcode, 0);
        EXPECT_EQ(stripprogress(r.err), filetext(file, "GAME") + "copy /b header.dat+out.dat " + c.image + "\n");
        EXPECT_EQ(bytes(c.image), join(file.header, file.body));
        fs::remove(dir.file(c.image));
        EXPECT_EQ(files(), (Names{"tape.wav"}));
    }
}

TEST_F(Loader, ImageWithFurtherBodyKeepsTheFirstImageAndTheNumberedBody)
{
    const TapeFile file = sample(1, "GAME", 200);
    const Bytes extra = pattern(0x100, 9);
    SignalWriter w(smallgaps());
    w.silence(0.05);
    recordfile(w, file);
    recordblock(w, bodygap_pulses, bodymark_pulses, extra);
    w.silence(0.05);
    tape(w.wav());

    const ProcessResult r = run({"-o", "-a100", "tape.wav"});
    EXPECT_EQ(r.exitcode, 0);
    const std::string copy = "copy /b header.dat+out.dat output.mzt\n";
    EXPECT_EQ(stripprogress(r.err), filetext(file, "GAME") + copy + bodytext() + copy);
    EXPECT_EQ(files(), (Names{"out1.dat", "output.mzt", "tape.wav"}));
    EXPECT_EQ(bytes("output.mzt"), join(file.header, file.body));
    EXPECT_EQ(bytes("out1.dat"), extra);
}

TEST_F(Loader, EmptyBody)
{
    const TapeFile file = sample(1, "EMPTY", 0);
    tape(cmtgen::encode({file}, smallgaps()));
    const ProcessResult plain = run({"tape.wav"});
    EXPECT_EQ(plain.exitcode, 0);
    EXPECT_EQ(stripprogress(plain.err), filetext(file, "EMPTY"));
    EXPECT_NE(stripprogress(plain.err).find("len:0000"), std::string::npos);
    EXPECT_EQ(bytes("header.dat"), file.header);
    EXPECT_TRUE(testsupport::exists(dir.file("out.dat")));
    EXPECT_EQ(bytes("out.dat"), Bytes{});

    const ProcessResult image = run({"-o", "tape.wav"});
    EXPECT_EQ(image.exitcode, 0);
    EXPECT_EQ(files(), (Names{"output.mzt", "tape.wav"}));
    EXPECT_EQ(bytes("output.mzt"), file.header);
}

TEST_F(Loader, ShortHeaderFormatsWriteAFullHeaderFile)
{
    const struct {
        Format format;
        const char* arg;
    } cases[] = {{Format::x1, "-f1"}, {Format::carrysoft, "-f100"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arg);
        TapeFile first = sample(2, "SHORT", 200), second = sample(3, "NEXT", 100);
        // Only 32 bytes go on tape; what lies beyond must not reach the header files.
        std::fill(first.header.begin() + 32, first.header.end(), 0xA5);
        std::fill(second.header.begin() + 32, second.header.end(), 0xA5);
        Options opt = smallgaps();
        opt.format = c.format;
        tape(cmtgen::encode({first, second}, opt));
        const ProcessResult r = run({c.arg, "-a0", "tape.wav"});
        EXPECT_EQ(r.exitcode, 0);
        EXPECT_EQ(stripprogress(r.err), filetext(first, "SHORT") + filetext(second, "NEXT"));
        // The first record lies over a clean buffer, the second over the first body.
        Bytes header(first.header.begin(), first.header.begin() + 32);
        header.resize(128, 0);
        EXPECT_EQ(bytes("header.dat"), header);
        header.assign(second.header.begin(), second.header.begin() + 32);
        header.insert(header.end(), first.body.begin() + 32, first.body.begin() + 128);
        EXPECT_EQ(bytes("header1.dat"), header);
        EXPECT_EQ(bytes("out.dat"), first.body);
        EXPECT_EQ(bytes("out1.dat"), second.body);
    }
}

// ---- output failures -----------------------------------------------------------

TEST_F(Loader, OutputFileThatCannotBeWrittenEndsTheRun)
{
    const TapeFile file = sample(1, "FILE", 64);
    const Bytes wav = cmtgen::encode({file}, smallgaps());
    const bool devfull = fs::exists("/dev/full");
    struct Case {
        const char* what;
        std::function<void(const TempDir&)> setup;
        bool atbody;  // fails at the body file, after header.dat was written
        std::string message;
    };
    const Case cases[] = {
        {"header.dat is a directory", [](const TempDir& d) { fs::create_directory(d.file("header.dat")); }, false,
         cannotopen},
        {"out.dat is a directory", [](const TempDir& d) { fs::create_directory(d.file("out.dat")); }, true, cannotopen},
        {"header.dat on a full disk", [](const TempDir& d) { fs::create_symlink("/dev/full", d.file("header.dat")); },
         false, "Couldn't write output file 'header.dat'.\n"},
        {"out.dat on a full disk", [](const TempDir& d) { fs::create_symlink("/dev/full", d.file("out.dat")); }, true,
         "Couldn't write output file 'out.dat'.\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (!devfull && c.message != cannotopen) continue;
        TempDir d;
        testsupport::writefile(d.file("tape.wav"), wav);
        c.setup(d);
        const ProcessResult r = testsupport::cmtgrab({"tape.wav"}, d.path());
        std::string before = headertext(file.header, "FILE");
        if (c.atbody) before += bodytext();
        expectfailure(r, before + c.message, levels(wav, 16));
        if (c.atbody) {
            EXPECT_EQ(testsupport::readbytes(d.file("header.dat")), file.header);
        }
        EXPECT_EQ(testsupport::listdir(d.path()).size(), c.atbody ? 3u : 2u);
    }
}

TEST_F(Loader, ProtectedOutputIsLeftAlone)
{
    const TapeFile file = sample(1, "FILE", 64);
    const Bytes wav = cmtgen::encode({file}, smallgaps());
    const std::string failed = headertext(file.header, "FILE") + cannotopen;

    // A read-only directory and a read-only header.dat stop an ordinary user;
    // root writes through both, so the cases are skipped there.
    TempDir closed;
    testsupport::writefile(closed.file("tape.wav"), wav);
    ASSERT_EQ(::chmod(closed.path().c_str(), 0555), 0);
    TempDir readonly;
    testsupport::writefile(readonly.file("tape.wav"), wav);
    testsupport::writefile(readonly.file("header.dat"), std::string("old"));
    ASSERT_EQ(::chmod(readonly.file("header.dat").c_str(), 0444), 0);
    if (writable(closed.file("probe")) || writable(readonly.file("header.dat"))) {
        GTEST_SKIP() << "permissions do not stop this user from writing";
    }

    const ProcessResult r1 = testsupport::cmtgrab({"-o", "tape.wav"}, closed.path());
    expectfailure(r1, failed, levels(wav, 16));
    EXPECT_EQ(testsupport::listdir(closed.path()), (Names{"tape.wav"}));

    const ProcessResult r2 = testsupport::cmtgrab({"-o", "tape.wav"}, readonly.path());
    expectfailure(r2, failed, levels(wav, 16));
    EXPECT_EQ(testsupport::listdir(readonly.path()), (Names{"header.dat", "tape.wav"}));
    EXPECT_EQ(testsupport::readfile(readonly.file("header.dat")), "old");
}

TEST_F(Loader, ImageThatCannotBeWrittenKeepsHeaderAndBody)
{
    const TapeFile file = sample(1, "FILE", 64);
    const Bytes wav = cmtgen::encode({file}, smallgaps());
    tape(wav);
    fs::create_directory(dir.file("game.mzt"));
    for (const std::string image : {"nodir/game.mzt", "game.mzt"}) {
        SCOPED_TRACE(image);
        const ProcessResult r = run({"-o" + image, "tape.wav"});
        expectfailure(r,
                      filetext(file, "FILE") + "copy /b header.dat+out.dat " + image + "\n" + "Couldn't write tape image '" +
                          image + "'; header.dat and out.dat are kept.\n",
                      levels(wav, 16));
        EXPECT_EQ(files(), (Names{"game.mzt", "header.dat", "out.dat", "tape.wav"}));
        EXPECT_TRUE(fs::is_directory(dir.file("game.mzt")));
        EXPECT_EQ(bytes("header.dat"), file.header);
        EXPECT_EQ(bytes("out.dat"), file.body);
    }
}

// ---- name display ---------------------------------------------------------------

TEST_F(Loader, NameIsShownInTheTapeCharacterSet)
{
    using testsupport::sjis;
    struct Case {
        const char* what;
        Format format;
        const char* lang;
        Bytes name;  // the name field from its first byte; the rest is 0x0D
        std::string shown;
    };
    const Bytes seventeen(17, 'A');
    Bytes sixteencontrols(16, 0x01);
    sixteencontrols.push_back('Q');
    const Case cases[] = {
        {"MZ ASCII", Format::mz, "-le", {'A', 'B', 0x0D, 'C'}, "AB"},
        {"MZ ASCII remapped codes", Format::mz, "-le", {0x5C, 0xA0, 0x80, 0x90, 0x93, 0x94, 0xBE, 0x61, 0x7F}, "\\*}_`~{**"},
        {"MZ control bytes skipped", Format::mz, "-le", {0x01, 'A', 0x1F, 'B', 0x00, 'C'}, "ABC"},
        {"control bytes count to 17", Format::mz, "-le", sixteencontrols, "Q"},
        {"17 control bytes", Format::mz, "-le", Bytes(17, 0x01), ""},
        {"17 bytes without 0x0D", Format::mz, "-le", seventeen, std::string(17, 'A')},
        {"empty name", Format::mz, "-le", {0x0D, 'A'}, ""},
        {"X1 ASCII", Format::x1, "-le", {0x5C, 0xA0, 'a', 0x88, 0x9F, 0x80, 0xA1}, "/ a|\\_*"},
        {"CARRY SOFT uses MZ", Format::carrysoft, "-le", {0x5C, 0xA0, 'a'}, "\\**"},
        {"MZ Shift-JIS", Format::mz, "-lj", {'A', 'B', 0x20, 0x5C, 0x2D, 0x70, 0x7D, 0x7E, 0x81, 0xB0, 0x60},
         sjis("ＡＢ　＼－日￥￡。ミ※")},
        {"MZ Shift-JIS 17 bytes", Format::mz, "-lj", seventeen, sjis("ＡＡＡＡＡＡＡＡＡＡＡＡＡＡＡＡＡ")},
        {"X1 Shift-JIS", Format::x1, "-lj", {'a', 0x5C, 0xA0, 0xE0, 0x80, 0x81, 0x7E, 0x7C, 0x01, 0xB1},
         sjis("ａ／　●＿■～｜ア")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // A body of 0x41 bytes puts 'A' right after the name field: it must never show.
        TapeFile file = cmtgen::makefile(0x01, 0x1200, 0x1234, "", pattern(0x41, 3));
        ASSERT_EQ(file.header[18], 'A');
        std::copy(c.name.begin(), c.name.end(), file.header.begin() + 1);
        Options opt = smallgaps();
        opt.format = c.format;
        tape(cmtgen::encode({file}, opt));
        const char* format = c.format == Format::x1 ? "-f1" : c.format == Format::carrysoft ? "-f100" : "-f0";
        const ProcessResult r = run({format, c.lang, "tape.wav"});
        EXPECT_EQ(r.exitcode, 0);
        EXPECT_EQ(stripprogress(r.err), filetext(file, c.shown));
    }
}

// ---- damaged blocks -------------------------------------------------------------

TEST_F(Loader, DamagedCopies)
{
    const TapeFile file = sample(1, "DAMAGED", 80);
    struct Case {
        const char* what;
        cmtgen::Corruption corruption;
        std::string text;
        bool loads;
    };
    const Case cases[] = {
        {"first header copy", {0, true, false}, searchheader + retry + ok + "FOUND DAMAGED\n" + modeline(file.header) + bodytext(),
         true},
        {"first body copy", {0, false, false}, headertext(file.header, "DAMAGED") + searchbody + retry + ok, true},
        {"both body copies", {0, false, true}, headertext(file.header, "DAMAGED") + searchbody + retry + checksumerror,
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir d;
        Options opt = smallgaps();
        opt.corrupt = {c.corruption};
        const Bytes wav = cmtgen::encode({file}, opt);
        testsupport::writefile(d.file("tape.wav"), wav);
        const ProcessResult r = testsupport::cmtgrab({"tape.wav"}, d.path());
        EXPECT_EQ(testsupport::readbytes(d.file("header.dat")), file.header);
        if (c.loads) {
            EXPECT_EQ(r.exitcode, 0);
            EXPECT_EQ(stripprogress(r.err), c.text);
            EXPECT_EQ(testsupport::readbytes(d.file("out.dat")), file.body);
        } else {
            expectfailure(r, c.text, levels(wav, 16));
            EXPECT_EQ(testsupport::listdir(d.path()), (Names{"header.dat", "tape.wav"}));
        }
    }
}

// ---- input formats ---------------------------------------------------------------

TEST_F(Loader, RatesWidthsAndPolarity)
{
    const TapeFile file = sample(4, "FORMAT", 150);
    const struct {
        int rate, bits;
        bool invert;
    } cases[] = {{22050, 8, false},  {22050, 16, false}, {22050, 24, false}, {44100, 8, false}, {44100, 16, false},
                 {44100, 24, false}, {48000, 8, false},  {48000, 16, false}, {48000, 24, false}, {44100, 16, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(printf_string("%d Hz %d bits%s", c.rate, c.bits, c.invert ? " inverted" : ""));
        Options opt = smallgaps();
        opt.rate = c.rate;
        opt.bits = c.bits;
        opt.invert = c.invert;
        tape(cmtgen::encode({file}, opt));
        std::vector<std::string> args = {"tape.wav"};
        if (c.invert) args.insert(args.begin(), "-r");
        const ProcessResult r = run(args);
        EXPECT_EQ(r.exitcode, 0);
        EXPECT_EQ(stripprogress(r.err), filetext(file, "FORMAT"));
        EXPECT_EQ(bytes("header.dat"), file.header);
        EXPECT_EQ(bytes("out.dat"), file.body);
    }
}

}  // namespace
