// End-to-end capture through ALSA: cmtgrab with no file name records a tape played into ALSA's "file" plugin.
#include <gtest/gtest.h>

#ifdef CMTGRAB_HAVE_ALSA

#include "encoder.h"
#include "image.h"
#include "support/cmtgrab.h"
#include "support/process.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

using testsupport::ProcessResult;
using testsupport::TempDir;

constexpr size_t wav_header_bytes = 44;
// The backend reads 1024 frames (2048 bytes) at a time; the feeder writes
// chunks of that size, which a pipe passes whole (below PIPE_BUF), so every
// read of the file plugin gets a full chunk and no frame is left unfilled.
constexpr size_t chunk_bytes = 2048;

// A home directory whose ~/.asoundrc makes "default" a capture that plays
// back `infile`: raw S16_LE, 48 kHz, mono.
void writeasoundrc(const std::string& home, const std::string& infile)
{
    testsupport::writefile(home + "/.asoundrc",
                           "pcm.!default {\n"
                           "  type file\n"
                           "  slave.pcm \"null\"\n"
                           "  file \"/dev/null\"\n"
                           "  infile \"" + infile + "\"\n"
                           "  format \"raw\"\n"
                           "}\n");
}

// The plugin reads its input as fast as it is asked, while the loader stops
// at the first poll that finds the buffer full. So the tape goes in through a
// pipe: all of it at once (the pipe's own capacity holds the feeder back),
// then silence at about 1 MB/s, well below the decoder's pace and far from
// filling 32 MiB before the load ends.
class PipeFeeder {
public:
    PipeFeeder(const std::string& path, std::vector<uint8_t> audio) : audio_(std::move(audio))
    {
        if (mkfifo(path.c_str(), 0600) != 0) throw std::runtime_error("mkfifo failed");
        // Read-write: opening never waits for the other end, and the pipe
        // never breaks while cmtgrab probes and reopens the device.
        fd_ = open(path.c_str(), O_RDWR | O_NONBLOCK);
        if (fd_ < 0) throw std::runtime_error("cannot open the pipe");
        audio_.resize((audio_.size() + chunk_bytes - 1) / chunk_bytes * chunk_bytes, 0);
        feeder_ = std::thread([this] { feed(); });
    }
    ~PipeFeeder()
    {
        done_ = true;
        feeder_.join();
        close(fd_);
    }
    PipeFeeder(const PipeFeeder&) = delete;
    PipeFeeder& operator=(const PipeFeeder&) = delete;

private:
    // Writes one chunk whole, waiting for room; false once told to stop.
    bool writechunk(const uint8_t* chunk)
    {
        while (!done_) {
            ssize_t n = write(fd_, chunk, chunk_bytes);
            if (n == static_cast<ssize_t>(chunk_bytes)) return true;
            pollfd room{fd_, POLLOUT, 0};
            poll(&room, 1, 10);
        }
        return false;
    }

    void feed()
    {
        for (size_t at = 0; at < audio_.size(); at += chunk_bytes) {
            if (!writechunk(audio_.data() + at)) return;
        }
        const std::vector<uint8_t> silence(chunk_bytes, 0);
        while (writechunk(silence.data())) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }

    std::vector<uint8_t> audio_;
    int fd_ = -1;
    std::atomic<bool> done_{false};
    std::thread feeder_;
};

// cmtgrab with a time limit, so that a capture that never ends fails the test
// instead of hanging it.
ProcessResult runcmtgrab(const std::vector<std::string>& args, const std::string& directory, const std::string& home)
{
    std::vector<std::string> all = {"60", CMTGRAB_BIN};
    all.insert(all.end(), args.begin(), args.end());
    return testsupport::runprocess("/usr/bin/timeout", all, directory, {"HOME=" + home});
}

std::vector<uint8_t> rawsamples(const std::vector<uint8_t>& wav)
{
    // A canonical WAV: the samples follow a 44-byte header.
    EXPECT_EQ(std::string(wav.begin() + 36, wav.begin() + 40), "data");
    return std::vector<uint8_t>(wav.begin() + wav_header_bytes, wav.end());
}

TEST(AlsaCaptureTest, TapeLoadsFromTheLineInAsFromItsWavFile)
{
    std::vector<uint8_t> body(700);
    for (size_t i = 0; i < body.size(); ++i) body[i] = static_cast<uint8_t>(i * 7 + (i >> 8));
    cmtgen::Options options;  // 48000 Hz, 16 bits: the capture format
    std::vector<uint8_t> wav = cmtgen::encode({cmtgen::makefile(0x01, 0x1200, 0x1234, "LINE IN", body)}, options);

    TempDir fromfile;
    testsupport::writefile(fromfile.file("tape.wav"), wav);
    ProcessResult filerun = testsupport::cmtgrab({"tape.wav"}, fromfile.path());
    ASSERT_EQ(filerun.exitcode, 0) << filerun.err;

    TempDir home;
    TempDir fromlinein;
    writeasoundrc(home.path(), home.file("line-in.pipe"));
    ProcessResult capturerun;
    {
        PipeFeeder feeder(home.file("line-in.pipe"), rawsamples(wav));
        capturerun = runcmtgrab({}, fromlinein.path(), home.path());
    }
    ASSERT_EQ(capturerun.exitcode, 0) << capturerun.err;
    EXPECT_EQ(testsupport::readbytes(fromlinein.file("header.dat")), testsupport::readbytes(fromfile.file("header.dat")));
    EXPECT_EQ(testsupport::readbytes(fromlinein.file("out.dat")), body);
    EXPECT_EQ(testsupport::readbytes(fromlinein.file("out.dat")), testsupport::readbytes(fromfile.file("out.dat")));
    EXPECT_EQ(testsupport::listdir(fromlinein.path()), (std::vector<std::string>{"header.dat", "out.dat"}));
}

// The run ends with the message and a well-formed level report: the levels
// of what was decoded, the histogram and the recommendation that follows
// from them.
bool endswithfullbuffer(const std::string& err)
{
    const std::string head = "\nWAV Buffer Full!\n================================\n";
    size_t at = err.rfind(head);
    if (at == std::string::npos || err.back() != '\n') return false;
    std::istringstream lines(err.substr(at + head.size()));
    std::string line;
    unsigned low = 0;
    unsigned high = 0;
    if (!std::getline(lines, line) || std::sscanf(line.c_str(), "low=0x%2X high=0x%2X", &low, &high) != 2) return false;
    while (std::getline(lines, line) && line.rfind("bitlength: ", 0) == 0) {
    }
    unsigned wide = 0;
    unsigned narrow = 0;
    char close = 0;
    if (std::sscanf(line.c_str(), "Recommend Option: -d(%u-%u%c", &wide, &narrow, &close) != 3 || close != ')') {
        return false;
    }
    return wide == (high - low) / 4 && narrow == wide / 2 && lines.peek() == std::char_traits<char>::eof();
}

TEST(AlsaCaptureTest, OneMebibyteBufferRunsFull)
{
    // 2 MiB of a 1 kHz square wave: no tape in it, more than -m1 holds.
    std::vector<uint8_t> raw(2 * 1048576);
    for (size_t i = 0; i < raw.size() / 2; ++i) {
        int16_t value = (i / 24) % 2 == 0 ? 12000 : -12000;
        raw[2 * i] = static_cast<uint8_t>(value & 0xFF);
        raw[2 * i + 1] = static_cast<uint8_t>((value >> 8) & 0xFF);
    }
    TempDir home;
    TempDir run;
    testsupport::writefile(home.file("line-in.raw"), raw);
    writeasoundrc(home.path(), home.file("line-in.raw"));

    ProcessResult result = runcmtgrab({"-m1"}, run.path(), home.path());
    EXPECT_EQ(result.exitcode, 1);
    EXPECT_TRUE(endswithfullbuffer(result.err)) << result.err;
    EXPECT_TRUE(testsupport::listdir(run.path()).empty());
}

TEST(AlsaCaptureTest, NoCaptureDeviceIsReported)
{
    TempDir home;
    TempDir run;
    testsupport::writefile(home.file(".asoundrc"), "pcm.!default {\n  type hw\n  card 99\n}\n");
    ProcessResult result = runcmtgrab({}, run.path(), home.path());
    EXPECT_EQ(result.exitcode, 1);
    EXPECT_EQ(result.err, "Can't find wave input device.\n");
}

}  // namespace

#else

TEST(AlsaCaptureTest, NeedsAlsa)
{
    GTEST_SKIP() << "built without ALSA";
}

#endif
