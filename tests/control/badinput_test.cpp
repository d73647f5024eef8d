// Bad input and faults through the real program: broken WAV files, signals
// without a tape, files that cannot be read or written, odd image names. Each
// run must end with its own message and exit code, never crash or hang, and
// keep what it had written.
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <numbers>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "control/console.h"
#include "encoder.h"
#include "image.h"
#include "support/cmtgrab.h"
#include "support/process.h"
#include "support/wavfixture.h"

using testsupport::Chunk;
using testsupport::ProcessResult;
using testsupport::TempDir;

namespace {

using bytes = std::vector<uint8_t>;

constexpr const char* searching = "Now Searching Header...\n";
constexpr const char* endoffile = "\nReached to end of file....\n";
constexpr const char* notriff = "This file is not RIFF format.\n";
constexpr const char* notwave = "This file is not WAVE format.\n";
constexpr const char* notmono = "It is not able to use it except for monaural data.\n";
constexpr const char* badrate = "warning:Frequency of WAV file is not 48/44.1/22.05KHz.\n";
constexpr int rate_hz = 22050;

// One small MZ tape file recorded at 8 bits, 22050 Hz, and its parts.
struct Tape {
    cmtgen::TapeFile file;
    bytes wav;      // canonical: 44-byte header, then the samples
    bytes samples;  // the data chunk's content
};

Tape maketape(size_t bodybytes = 48)
{
    bytes body(bodybytes);
    for (size_t i = 0; i < body.size(); ++i) body[i] = static_cast<uint8_t>(i * 37 + 11);
    Tape tape;
    tape.file = cmtgen::makefile(1, 0x1200, 0x1200, "BAD", body);
    cmtgen::Options options;
    options.rate = rate_hz;
    options.bits = 8;
    options.headergap = 300;
    options.bodygap = 300;
    options.silence_s = 0.05;
    tape.wav = cmtgen::encode({tape.file}, options);
    tape.samples.assign(tape.wav.begin() + 44, tape.wav.end());
    return tape;
}

const Tape& smalltape()
{
    static const Tape tape = maketape();
    return tape;
}

// "Reading %d \r" lines of a file whose samples of `width` bytes run from
// `first` to `end`: each time the position of the next sample (or the end, at
// the last call) passes the value last shown, the next one is 16384 further.
std::string progress(int64_t first, int64_t end, int width)
{
    std::string lines;
    int64_t next = -1;
    for (int64_t pos = first;;) {
        const int64_t at = std::min(pos, end);
        if (at > next) {
            next = at + 16384;
            lines += cmtgrab::format("Reading %lld \r", static_cast<long long>(next));
        }
        if (pos >= end) break;
        // On to the first sample beyond the value shown; none before it prints.
        pos = std::max(pos + width, first + (next + 1 - first + width - 1) / width * width);
    }
    return lines;
}

// The whole error stream of a run that searched a file with data from
// `first` to `end` without finding anything and read no sample (or only
// samples at the zero line).
std::string silentend(int64_t first, int64_t end)
{
    return searching + progress(first, end, 1) + endoffile + testsupport::emptyreport();
}

// Steps over digits that must be followed by `end`.
bool digitsthen(const std::string& text, size_t& at, char end)
{
    const size_t from = at;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9') ++at;
    if (at == from || at >= text.size() || text[at] != end) return false;
    ++at;
    return true;
}

// True when `text` is histogram lines ("bitlength: N=M"), then `last`.
bool histogramthen(const std::string& text, const std::string& last)
{
    size_t at = 0;
    for (const std::string line = "bitlength: "; text.compare(at, line.size(), line) == 0;) {
        at += line.size();
        if (!digitsthen(text, at, '=') || !digitsthen(text, at, '\n')) return false;
    }
    return text.substr(at) == last;
}

// True when `err` ends with the recommendation line of a level report.
bool endswithrecommendation(const std::string& err)
{
    const std::string line = "Recommend Option: -d(";
    size_t at = err.rfind(line);
    if (at == std::string::npos) return false;
    at += line.size();
    return digitsthen(err, at, '-') && digitsthen(err, at, ')') && err.substr(at) == "\n";
}

// Checks the end of a run over 8-bit `samples` (data from `first`) that found
// no tape: the progress lines, the end-of-file message and a level report
// whose range is the samples' own.
void expectendoffile(const ProcessResult& r, int64_t first, const bytes& samples)
{
    EXPECT_EQ(r.exitcode, 1);
    const std::string head = searching + progress(first, first + static_cast<int64_t>(samples.size()), 1) + endoffile;
    ASSERT_EQ(r.err.substr(0, head.size()), head);
    const int low = *std::min_element(samples.begin(), samples.end());
    const int high = *std::max_element(samples.begin(), samples.end());
    const std::string report = r.err.substr(head.size());
    const std::string range = cmtgrab::format("================================\nlow=0x%02X high=0x%02X\n", low, high);
    ASSERT_EQ(report.substr(0, range.size()), range);
    const int quarter = (high - low) / 4;
    const std::string recommend = cmtgrab::format("Recommend Option: -d(%d-%d)\n", quarter, quarter / 2);
    EXPECT_TRUE(histogramthen(report.substr(range.size()), recommend)) << report;
}

std::set<std::string> names(const std::string& dir)
{
    const std::vector<std::string> list = testsupport::listdir(dir);
    return std::set<std::string>(list.begin(), list.end());
}

void expectloaded(const ProcessResult& r, const std::string& dir, const Tape& tape)
{
    EXPECT_EQ(r.exitcode, 0) << r.err;
    EXPECT_EQ(testsupport::readbytes(dir + "/header.dat"), tape.file.header);
    EXPECT_EQ(testsupport::readbytes(dir + "/out.dat"), tape.file.body);
}

void setle32(bytes& file, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i) file[at + static_cast<size_t>(i)] = static_cast<uint8_t>(value >> (8 * i));
}

// ---------------------------------------------------------------------------
// Broken WAV files

TEST(BadInput, HeaderCutAtEveryByte)
{
    // A canonical header of a 16-bit 44100 Hz file, cut after `cut` bytes.
    const bytes canonical = testsupport::monowav(44100, 16, {});
    ASSERT_EQ(canonical.size(), 44u);
    for (size_t cut = 0; cut <= canonical.size(); ++cut) {
        std::string expected;
        if (cut < 8)
            expected = notriff;
        else if (cut < 12)
            expected = notwave;
        else if (cut >= 20 && cut < 23)
            expected = notmono;  // nChannels not (fully) there: 0
        else if (cut >= 23 && cut < 26)
            expected = badrate;  // one channel, but the rate is cut: 0 or 0x44
        else
            // The chunk walk runs out of file; the first read finds the end.
            expected = silentend(static_cast<int64_t>(cut), static_cast<int64_t>(cut));
        TempDir dir;
        testsupport::writefile(dir.file("in.wav"), bytes(canonical.begin(), canonical.begin() + static_cast<long>(cut)));
        const ProcessResult r = testsupport::cmtgrab({"in.wav"}, dir.path());
        EXPECT_EQ(r.exitcode, 1) << "cut at " << cut;
        EXPECT_EQ(r.err, expected) << "cut at " << cut;
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(names(dir.path()), std::set<std::string>{"in.wav"}) << "cut at " << cut;
    }
}

TEST(BadInput, ChunkSizesZeroAndAllOnes)
{
    const Tape& tape = smalltape();
    // Offset of the first chunk's content: a skip of 0xFFFFFFFF (+1 pad byte)
    // from there lands beyond the end, where the walk runs out of file.
    const int64_t beyond = 20 + 0x100000000LL;
    struct Case {
        const char* what;
        bytes file;
        bool loads;
        std::string err;  // when it does not load
    };
    auto withriffsize = [&](uint32_t size) {
        bytes file = tape.wav;
        setle32(file, 4, size);
        return file;
    };
    auto withdatasize = [&](uint32_t size) {
        return testsupport::riff({testsupport::fmtchunk(1, rate_hz, 8), Chunk{"data", tape.samples, size}});
    };
    auto withlist = [&](uint32_t size) {
        return testsupport::riff(
            {Chunk{"LIST", {}, size}, testsupport::fmtchunk(1, rate_hz, 8), Chunk{"data", tape.samples, -1}});
    };
    Chunk hugefmt = testsupport::fmtchunk(1, rate_hz, 8);
    hugefmt.statedsize = 0xFFFFFFFF;
    const Case cases[] = {
        {"RIFF size 0", withriffsize(0), true, ""},
        {"RIFF size 0xFFFFFFFF", withriffsize(0xFFFFFFFF), true, ""},
        {"data size 0", withdatasize(0), true, ""},
        {"data size 0xFFFFFFFF", withdatasize(0xFFFFFFFF), true, ""},
        {"LIST size 0", withlist(0), true, ""},
        {"LIST size 0xFFFFFFFF", withlist(0xFFFFFFFF), false, silentend(beyond, beyond)},
        {"fmt size 0", testsupport::riff({Chunk{"fmt ", {}, -1}, Chunk{"data", tape.samples, -1}}), false, notmono},
        {"fmt size 0xFFFFFFFF", testsupport::riff({hugefmt, Chunk{"data", tape.samples, -1}}), false,
         silentend(beyond, beyond)},
    };
    for (const Case& c : cases) {
        TempDir dir;
        testsupport::writefile(dir.file("in.wav"), c.file);
        const ProcessResult r = testsupport::cmtgrab({"in.wav"}, dir.path());
        if (c.loads) {
            expectloaded(r, dir.path(), tape);
        } else {
            EXPECT_EQ(r.exitcode, 1) << c.what;
            EXPECT_EQ(r.err, c.err) << c.what;
            EXPECT_EQ(names(dir.path()), std::set<std::string>{"in.wav"}) << c.what;
        }
    }
}

TEST(BadInput, FormatChunkSizesAndFields)
{
    const Tape& tape = smalltape();
    struct Case {
        const char* what;
        Chunk fmt;
        const char* err;  // nullptr: the tape loads
    };
    const Case cases[] = {
        {"fmt of 0 bytes", testsupport::fmtchunk(1, rate_hz, 8, 0), notmono},
        {"fmt of 2 bytes", testsupport::fmtchunk(1, rate_hz, 8, 2), notmono},
        {"fmt of 16 bytes", testsupport::fmtchunk(1, rate_hz, 8, 16), nullptr},
        {"fmt of 18 bytes", testsupport::fmtchunk(1, rate_hz, 8, 18), nullptr},
        {"fmt of 40 bytes", testsupport::fmtchunk(1, rate_hz, 8, 40), nullptr},
        {"zero channels", testsupport::fmtchunk(0, rate_hz, 8), notmono},
        {"two channels", testsupport::fmtchunk(2, rate_hz, 8), notmono},
        {"rate 0", testsupport::fmtchunk(1, 0, 8), badrate},
        // Widths other than 16 and 24 are read byte by byte, as 8-bit samples.
        {"0 bits per sample", testsupport::fmtchunk(1, rate_hz, 0), nullptr},
        {"1 bit per sample", testsupport::fmtchunk(1, rate_hz, 1), nullptr},
        {"32 bits per sample", testsupport::fmtchunk(1, rate_hz, 32), nullptr},
    };
    for (const Case& c : cases) {
        TempDir dir;
        testsupport::writefile(dir.file("in.wav"), testsupport::riff({c.fmt, Chunk{"data", tape.samples, -1}}));
        const ProcessResult r = testsupport::cmtgrab({"in.wav"}, dir.path());
        if (c.err) {
            EXPECT_EQ(r.exitcode, 1) << c.what;
            EXPECT_EQ(r.err, c.err) << c.what;
            EXPECT_EQ(names(dir.path()), std::set<std::string>{"in.wav"}) << c.what;
        } else {
            SCOPED_TRACE(c.what);
            expectloaded(r, dir.path(), tape);
        }
    }
}

TEST(BadInput, DataBeforeFormatKeepsNoThresholdAndFindsNothing)
{
    // The walk stops at "data": no rate, so no bit threshold, and even -w/-n
    // cannot set one. Every pulse counts as long and no gap is ever found.
    const Tape& tape = smalltape();
    TempDir dir;
    testsupport::writefile(dir.file("in.wav"),
                           testsupport::riff({Chunk{"data", tape.samples, -1}, testsupport::fmtchunk(1, rate_hz, 8)}));
    const ProcessResult r = testsupport::cmtgrab({"-w7", "-n1", "in.wav"}, dir.path());
    // The fmt chunk behind the samples is read as samples too.
    bytes samples = tape.samples;
    const bytes fmt = testsupport::riff({testsupport::fmtchunk(1, rate_hz, 8)});
    samples.insert(samples.end(), fmt.begin() + 12, fmt.end());
    expectendoffile(r, 20, samples);
    EXPECT_EQ(names(dir.path()), std::set<std::string>{"in.wav"});
}

// ---------------------------------------------------------------------------
// Signals without a tape

bytes testsignal(const std::string& kind, size_t count)
{
    bytes s(count, 0x80);
    std::mt19937 random(7);
    for (size_t i = 0; i < count; ++i) {
        const double t = static_cast<double>(i) / rate_hz;
        if (kind == "noise")
            s[i] = static_cast<uint8_t>(random() & 0xFF);
        else if (kind == "tone 1 kHz")
            s[i] = static_cast<uint8_t>(128 + std::lround(100 * std::sin(2 * std::numbers::pi * 1000 * t)));
        else if (kind == "tone 2 Hz")
            s[i] = static_cast<uint8_t>(128 + std::lround(100 * std::sin(2 * std::numbers::pi * 2 * t)));
    }
    return s;
}

TEST(BadInput, SignalsWithoutGapEndAtTheEndOfTheFile)
{
    struct Case {
        const char* kind;
        std::vector<std::string> options;
    } cases[] = {
        {"silence", {}},           {"noise", {}},          {"noise", {"-n0", "-d1"}},
        {"tone 1 kHz", {}},        {"tone 1 kHz", {"-f1"}}, {"tone 1 kHz", {"-r", "-b"}},
        {"tone 2 Hz", {}},         {"tone 2 Hz", {"-f1"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind + std::string(" ") + std::to_string(c.options.size()) + " options");
        const bytes samples = testsignal(c.kind, 2 * rate_hz);
        TempDir dir;
        testsupport::writefile(dir.file("in.wav"), testsupport::monowav(rate_hz, 8, samples));
        std::vector<std::string> args = c.options;
        args.push_back("in.wav");
        const auto started = std::chrono::steady_clock::now();
        const ProcessResult r = testsupport::cmtgrab(args, dir.path());
        const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        EXPECT_LT(seconds, 60.0);
        expectendoffile(r, 44, samples);
        EXPECT_EQ(names(dir.path()), std::set<std::string>{"in.wav"});
    }
}

// ---------------------------------------------------------------------------
// Large and unopenable inputs

// Creates `path` with `head`, a hole up to `holebytes` and then `tail`.
// False when the filesystem stored the hole as real blocks.
bool makesparse(const std::string& path, const bytes& head, int64_t holebytes, const bytes& tail)
{
    testsupport::writefile(path, head);
    const int fd = ::open(path.c_str(), O_WRONLY);
    if (fd < 0) return false;
    bool good = ::ftruncate(fd, static_cast<off_t>(holebytes)) == 0 &&
                ::pwrite(fd, tail.data(), tail.size(), static_cast<off_t>(holebytes)) ==
                    static_cast<ssize_t>(tail.size());
    struct stat info {};
    good = good && ::fstat(fd, &info) == 0 && info.st_blocks * 512 < holebytes / 2;
    ::close(fd);
    if (!good) std::filesystem::remove(path);
    return good;
}

TEST(BadInput, FileBeyondFourGibibytes)
{
    // A 4 GiB chunk in front of the samples, stored as a hole: the walk seeks
    // over it, so positions beyond 32 bits are read and shown, in little time.
    TempDir dir;
    bytes head = testsupport::riff({testsupport::fmtchunk(1, rate_hz, 8)});
    const int64_t skipped = 0xFFFFFFF0LL;
    const int64_t first = static_cast<int64_t>(head.size()) + 8 + skipped + 8;
    head.insert(head.end(), {'j', 'u', 'n', 'k'});
    head.resize(head.size() + 4);
    setle32(head, head.size() - 4, static_cast<uint32_t>(skipped));
    bytes tail = {'d', 'a', 't', 'a', 0xFF, 0xFF, 0xFF, 0xFF};
    tail.resize(tail.size() + 40000, 0x80);
    if (!makesparse(dir.file("in.wav"), head, first - 8, tail)) GTEST_SKIP() << "no sparse files here";
    const auto started = std::chrono::steady_clock::now();
    const ProcessResult r = testsupport::cmtgrab({"in.wav"}, dir.path());
    const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    EXPECT_EQ(r.exitcode, 1);
    EXPECT_EQ(r.err, silentend(first, first + 40000));
    EXPECT_LT(seconds, 30.0);
}

TEST(BadInput, FourGibibytesOfSamplesAreReadToTheEnd)
{
    // Reads all of it: about a minute on a quiet machine, more under the
    // sanitizers, so only on request.
    if (!std::getenv("CMTGRAB_LONG_TESTS")) GTEST_SKIP() << "set CMTGRAB_LONG_TESTS=1 to read 4 GiB";
    TempDir dir;
    bytes head = testsupport::riff({testsupport::fmtchunk(1, rate_hz, 8), Chunk{"data", {}, 0xFFFFFFFF}});
    const int64_t size = 0x100000000LL + 1000;
    if (!makesparse(dir.file("in.wav"), head, size - 1, {0x80})) GTEST_SKIP() << "no sparse files here";
    const ProcessResult r = testsupport::cmtgrab({"in.wav"}, dir.path());
    EXPECT_EQ(r.exitcode, 1);
    // The hole reads as 0x00, the lowest level; nothing switches the comparator.
    EXPECT_EQ(r.err, searching + progress(static_cast<int64_t>(head.size()), size, 1) + endoffile +
                         "================================\nlow=0x00 high=0x80\nRecommend Option: -d(32-16)\n");
}

TEST(BadInput, DirectoryAsWavFile)
{
    TempDir dir;
    std::filesystem::create_directory(dir.file("x.wav"));
    for (const char* name : {"x.wav", "x"}) {
        const ProcessResult r = testsupport::cmtgrab({name}, dir.path());
        EXPECT_EQ(r.exitcode, 1);
        EXPECT_EQ(r.err, "Can't open file 'x.wav'.\n");
        EXPECT_EQ(names(dir.path()), std::set<std::string>{"x.wav"});
    }
}

// ---------------------------------------------------------------------------
// Permissions. Root passes every permission check, so as root the program is
// run as the user "nobody" (through setpriv); when that is not possible, or a
// probe shows the restriction does not hold, the test is skipped.

constexpr uid_t nobody_id = 65534;

std::vector<std::string> restricted(const std::string& program, const std::vector<std::string>& args)
{
    std::vector<std::string> argv;
    if (::geteuid() == 0)
        argv = {"--reuid=" + std::to_string(nobody_id), "--regid=" + std::to_string(nobody_id), "--clear-groups",
                program};
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
}

ProcessResult runrestricted(const std::string& program, const std::vector<std::string>& args, const std::string& dir)
{
    if (::geteuid() != 0) return testsupport::runprocess(program, args, dir);
    return testsupport::runprocess("/usr/bin/setpriv", restricted(program, args), dir);
}

// Whether the restricted user can run the program at all (it must reach the
// build tree); the directory must be open to it.
bool canrestrict(const std::string& dir)
{
    if (::geteuid() != 0) return true;
    if (::access("/usr/bin/setpriv", X_OK) != 0) return false;
    return runrestricted(CMTGRAB_BIN, {"-?"}, dir).exitcode == 0;
}

// True when the restricted user can still do what `shellcommand` tries.
bool stillallowed(const std::string& shellcommand, const std::string& dir)
{
    return runrestricted("/bin/sh", {"-c", shellcommand}, dir).exitcode == 0;
}

void openup(const std::string& path, std::filesystem::perms perms)
{
    std::filesystem::permissions(path, perms);
}

using std::filesystem::perms;

TEST(BadInput, UnreadableFile)
{
    TempDir dir;
    openup(dir.path(), perms::owner_all | perms::group_read | perms::group_exec | perms::others_read |
                           perms::others_exec);
    if (!canrestrict(dir.path())) GTEST_SKIP() << "cannot run as an unprivileged user";
    testsupport::writefile(dir.file("in.wav"), smalltape().wav);
    openup(dir.file("in.wav"), perms::none);
    if (stillallowed("exec 3<in.wav", dir.path())) GTEST_SKIP() << "permissions do not stop reading here";
    const ProcessResult r = runrestricted(CMTGRAB_BIN, {"in.wav"}, dir.path());
    EXPECT_EQ(r.exitcode, 1);
    EXPECT_EQ(r.err, "Can't open file 'in.wav'.\n");
    EXPECT_EQ(names(dir.path()), std::set<std::string>{"in.wav"});
}

// The messages of a run that found the header of smalltape() and then failed
// with `message`, with a level report after it.
void expectheaderthen(const ProcessResult& r, const std::string& message)
{
    EXPECT_EQ(r.exitcode, 1);
    const std::string found = "Checksum OK        \nFOUND BAD\nmode:01 start:1200 len:0030 exec:1200\n" + message +
                              "================================\nlow=0x";
    EXPECT_NE(r.err.find(found), std::string::npos) << r.err;
    EXPECT_TRUE(endswithrecommendation(r.err)) << r.err;
}

TEST(BadInput, OutputDirectoryNotWritable)
{
    TempDir dir;
    openup(dir.path(), perms::owner_all | perms::group_read | perms::group_exec | perms::others_read |
                           perms::others_exec);
    if (!canrestrict(dir.path())) GTEST_SKIP() << "cannot run as an unprivileged user";
    testsupport::writefile(dir.file("in.wav"), smalltape().wav);
    openup(dir.path(), perms::owner_read | perms::owner_exec | perms::group_read | perms::group_exec |
                           perms::others_read | perms::others_exec);
    if (stillallowed(": >probe", dir.path())) GTEST_SKIP() << "permissions do not stop writing here";
    const ProcessResult r = runrestricted(CMTGRAB_BIN, {"in.wav"}, dir.path());
    expectheaderthen(r, "Couldn't open output file.\n");
    EXPECT_EQ(names(dir.path()), std::set<std::string>{"in.wav"});
}

TEST(BadInput, ExistingReadOnlyHeaderFileIsKept)
{
    TempDir dir;
    openup(dir.path(), perms::all);
    if (!canrestrict(dir.path())) GTEST_SKIP() << "cannot run as an unprivileged user";
    testsupport::writefile(dir.file("in.wav"), smalltape().wav);
    testsupport::writefile(dir.file("header.dat"), std::string("an older header"));
    openup(dir.file("header.dat"), perms::owner_read | perms::group_read | perms::others_read);
    if (stillallowed("exec 3>>header.dat", dir.path())) GTEST_SKIP() << "permissions do not stop writing here";
    const ProcessResult r = runrestricted(CMTGRAB_BIN, {"in.wav"}, dir.path());
    expectheaderthen(r, "Couldn't open output file.\n");
    EXPECT_EQ(testsupport::readfile(dir.file("header.dat")), "an older header");
    EXPECT_EQ(names(dir.path()), (std::set<std::string>{"header.dat", "in.wav"}));
}

// ---------------------------------------------------------------------------
// A full disk, made with a file size limit: writes beyond it fail with EFBIG
// (SIGXFSZ is ignored). The output streams are pipes, which the limit spares.

ProcessResult runwithsizelimit(const std::vector<std::string>& args, const std::string& dir, rlim_t limit_bytes)
{
    std::vector<std::string> argv = {CMTGRAB_BIN};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> cargs;
    for (std::string& a : argv) cargs.push_back(a.data());
    cargs.push_back(nullptr);
    int outpipe[2], errpipe[2];
    if (::pipe(outpipe) != 0 || ::pipe(errpipe) != 0) return {};
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_RDONLY);
        ::dup2(null, 0);
        ::dup2(outpipe[1], 1);
        ::dup2(errpipe[1], 2);
        ::close(outpipe[0]);
        ::close(errpipe[0]);
        const struct rlimit limit = {limit_bytes, limit_bytes};
        if (::chdir(dir.c_str()) != 0 || ::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(126);
        ::signal(SIGXFSZ, SIG_IGN);
        ::execv(cargs[0], cargs.data());
        ::_exit(127);
    }
    ::close(outpipe[1]);
    ::close(errpipe[1]);
    ProcessResult result;
    pollfd fds[2] = {{outpipe[0], POLLIN, 0}, {errpipe[0], POLLIN, 0}};
    std::string* into[2] = {&result.out, &result.err};
    int open = 2;
    while (open > 0 && ::poll(fds, 2, -1) > 0) {
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) continue;
            char buffer[65536];
            const ssize_t got = ::read(fds[i].fd, buffer, sizeof buffer);
            if (got > 0) {
                into[i]->append(buffer, static_cast<size_t>(got));
            } else {
                ::close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    result.exitcode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

TEST(BadInput, DiskFullWhileWritingTheBody)
{
    const Tape tape = maketape(0x1000);
    TempDir dir;
    testsupport::writefile(dir.file("in.wav"), tape.wav);
    const rlim_t limit = 1000;  // header.dat fits, out.dat does not
    const ProcessResult r = runwithsizelimit({"in.wav"}, dir.path(), limit);
    EXPECT_EQ(r.exitcode, 1);
    const std::string message =
        "Checksum OK        \nCouldn't write output file 'out.dat'.\n================================\nlow=0x";
    EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
    EXPECT_TRUE(endswithrecommendation(r.err)) << r.err;
    EXPECT_EQ(testsupport::readbytes(dir.file("header.dat")), tape.file.header);
    // What did reach the disk is the body's beginning, cut at the limit.
    const bytes partial = testsupport::readbytes(dir.file("out.dat"));
    EXPECT_LE(partial.size(), limit);
    EXPECT_TRUE(std::equal(partial.begin(), partial.end(), tape.file.body.begin()));
}

TEST(BadInput, DiskFullWhileWritingTheImageKeepsBothFiles)
{
    const Tape tape = maketape(0x300);
    TempDir dir;
    testsupport::writefile(dir.file("in.wav"), tape.wav);
    testsupport::writefile(dir.file("output.mzt"), std::string("an older image"));
    // header.dat (128) and out.dat (768) fit, the image (896) does not.
    const ProcessResult r = runwithsizelimit({"-o", "in.wav"}, dir.path(), 800);
    EXPECT_EQ(r.exitcode, 1);
    const std::string message = "copy /b header.dat+out.dat output.mzt\n"
                                "Couldn't write tape image 'output.mzt'; header.dat and out.dat are kept.\n"
                                "================================\nlow=0x";
    EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
    EXPECT_EQ(testsupport::readbytes(dir.file("header.dat")), tape.file.header);
    EXPECT_EQ(testsupport::readbytes(dir.file("out.dat")), tape.file.body);
    EXPECT_EQ(testsupport::readfile(dir.file("output.mzt")), "an older image");
    EXPECT_EQ(names(dir.path()), (std::set<std::string>{"header.dat", "in.wav", "out.dat", "output.mzt"}));
}

// ---------------------------------------------------------------------------
// Image names and lengths

TEST(BadInput, ImageNamesAreNeverInterpreted)
{
    const Tape& tape = smalltape();
    bytes image = tape.file.header;
    image.insert(image.end(), tape.file.body.begin(), tape.file.body.end());
    const char* imagenames[] = {
        "my tape.mzt", "it's.mzt",        "say \"hi\".mzt", "a;touch b.mzt", "a&b.mzt",  "a|cat.mzt",
        "$(touch c).mzt", "`touch d`.mzt", "a..b.mzt",        "..mzt",         "-x.mzt", "*.mzt",
    };
    for (const char* name : imagenames) {
        TempDir dir;
        testsupport::writefile(dir.file("in.wav"), tape.wav);
        const ProcessResult r = testsupport::cmtgrab({"-o" + std::string(name), "in.wav"}, dir.path());
        EXPECT_EQ(r.exitcode, 0) << name << "\n" << r.err;
        EXPECT_NE(r.err.find("copy /b header.dat+out.dat " + std::string(name) + "\n"), std::string::npos) << name;
        EXPECT_EQ(names(dir.path()), (std::set<std::string>{"in.wav", name})) << name;
        EXPECT_EQ(testsupport::readbytes(dir.file(name)), image) << name;
    }
}

TEST(BadInput, ImageNameThatIsADirectoryKeepsBothFiles)
{
    const Tape& tape = smalltape();
    TempDir dir;
    testsupport::writefile(dir.file("in.wav"), tape.wav);
    const ProcessResult r = testsupport::cmtgrab({"-o..", "in.wav"}, dir.path());
    EXPECT_EQ(r.exitcode, 1);
    EXPECT_NE(r.err.find("Couldn't write tape image '..'; header.dat and out.dat are kept.\n"
                         "================================\n"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(names(dir.path()), (std::set<std::string>{"header.dat", "in.wav", "out.dat"}));
    expectloaded({0, "", ""}, dir.path(), tape);
}

TEST(BadInput, ImageNameWithParentDirectoryIsTakenAsAPath)
{
    const Tape& tape = smalltape();
    TempDir dir;
    std::filesystem::create_directory(dir.file("run"));
    testsupport::writefile(dir.file("run/in.wav"), tape.wav);
    const ProcessResult r = testsupport::cmtgrab({"-o../up.mzt", "in.wav"}, dir.file("run"));
    EXPECT_EQ(r.exitcode, 0) << r.err;
    EXPECT_EQ(names(dir.path()), (std::set<std::string>{"run", "up.mzt"}));
    EXPECT_EQ(names(dir.file("run")), std::set<std::string>{"in.wav"});
    EXPECT_EQ(testsupport::readbytes(dir.file("up.mzt")).size(), 128u + tape.file.body.size());
}

TEST(BadInput, LongestBodyLoads)
{
    bytes body(0xFFFF);
    std::mt19937 random(3);
    for (uint8_t& b : body) b = static_cast<uint8_t>(random());
    const cmtgen::TapeFile file = cmtgen::makefile(1, 0x0000, 0x0000, "FULL", body);
    ASSERT_EQ(cmtgen::bodylength(file.header), 0xFFFF);
    cmtgen::Options options;
    options.rate = rate_hz;
    options.bits = 8;
    options.headergap = 300;
    options.bodygap = 300;
    TempDir dir;
    testsupport::writefile(dir.file("in.wav"), cmtgen::encode({file}, options));
    const ProcessResult r = testsupport::cmtgrab({"-o", "in.wav"}, dir.path());
    EXPECT_EQ(r.exitcode, 0) << r.err;
    EXPECT_NE(r.err.find("mode:01 start:0000 len:FFFF exec:0000\n"), std::string::npos);
    bytes image = file.header;
    image.insert(image.end(), body.begin(), body.end());
    EXPECT_EQ(testsupport::readbytes(dir.file("output.mzt")), image);
}

}  // namespace
