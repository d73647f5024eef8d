// Tests of the line-in capture source against a scripted wave-input device and host.
#include "input/capture.h"

#include "control/runend.h"
#include "support/sjis.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace cmtgrab {
namespace {

constexpr uint8_t poison = 0xEE;  // bytes the "driver" has not vouched for yet

// A device whose recorded count follows a script. At each poll it writes the
// recording only up to the frame that starts 4096 bytes below the count it
// reports (all a caller may rely on) and leaves the rest poisoned, so reading
// too close shows up as wrong samples.
class ScriptedWaveIn : public WaveIn {
public:
    unsigned devices = 1;
    int openresult = 0;
    int prepareresult = 0;
    int addbufferresult = 0;
    int startresult = 0;
    std::vector<uint32_t> counts{0};  // reported per poll; the last one repeats
    std::vector<uint8_t> recording;   // what the device "hears", byte for byte

    std::vector<std::string> calls;  // every call but position()
    int polls = 0;
    WaveFormat format;
    uint8_t* buffer = nullptr;
    uint32_t buffer_bytes = 0;
    uint32_t written_bytes = 0;  // recording copied into the buffer so far

    unsigned numdevs() override
    {
        calls.push_back("numdevs");
        return devices;
    }
    int open(const WaveFormat& f) override
    {
        calls.push_back("open");
        format = f;
        return openresult;
    }
    int prepare(uint8_t* b, uint32_t size_bytes) override
    {
        calls.push_back("prepare");
        buffer = b;
        buffer_bytes = size_bytes;
        std::fill(b, b + size_bytes, poison);
        written_bytes = 0;
        return prepareresult;
    }
    int addbuffer() override
    {
        calls.push_back("addbuffer");
        return addbufferresult;
    }
    int start() override
    {
        calls.push_back("start");
        return startresult;
    }
    int position(uint32_t& bytes) override
    {
        // A reader that never stops polling would hang the test instead.
        if (++polls > 100000) throw std::runtime_error("polled a stalled device forever");
        bytes = counts[std::min(static_cast<size_t>(polls - 1), counts.size() - 1)];
        // Whole 16-bit frames: the one that starts 4096 below the count is in.
        uint32_t safe_bytes = bytes >= 4096 ? bytes - 4096 + 2 : 0;
        safe_bytes = std::min<uint32_t>(safe_bytes, static_cast<uint32_t>(recording.size()));
        if (safe_bytes > written_bytes) {
            std::copy(recording.begin() + written_bytes, recording.begin() + safe_bytes, buffer + written_bytes);
            written_bytes = safe_bytes;
        }
        return 0;
    }
    int stop() override
    {
        calls.push_back("stop");
        return 0;
    }
    int unprepare() override
    {
        calls.push_back("unprepare");
        return 0;
    }
    int close() override
    {
        calls.push_back("close");
        return 0;
    }
    std::string errortext(int code) override { return "device error " + std::to_string(code); }
};

// A host whose key test turns true from a given check on; it has no way to
// read a key, so the capture can only look.
class ScriptedHost : public Host {
public:
    int keyfromcheck = -1;  // index of the first check that finds a key; -1: never
    int keychecks = 0;
    int yields = 0;

    int32_t oemcodepage() override { return codepage_english; }
    void yieldcpu() override { ++yields; }
    bool keypending() override
    {
        bool pending = keyfromcheck >= 0 && keychecks >= keyfromcheck;
        ++keychecks;
        return pending;
    }
    std::unique_ptr<WaveIn> wavein() override { return nullptr; }
};

// The high byte of the 16-bit sample at a byte offset, before conversion.
uint8_t highbyte(int64_t offset_bytes)
{
    return static_cast<uint8_t>((offset_bytes / 2) * 37 + 11);
}
int expected(int64_t offset_bytes)
{
    return highbyte(offset_bytes) ^ 0x80;
}

class CaptureTest : public ::testing::Test {
protected:
    static constexpr int32_t buffer_bytes = 65536;

    CaptureTest()
    {
        settings.bufsize = buffer_bytes;
        device.recording.resize(buffer_bytes);
        for (int64_t o = 0; o < buffer_bytes; o += 2) {
            device.recording[static_cast<size_t>(o)] = static_cast<uint8_t>(o * 13);
            device.recording[static_cast<size_t>(o + 1)] = highbyte(o);
        }
    }

    void openandstart()
    {
        ASSERT_EQ(stream.openwavein(), 0);
        ASSERT_EQ(stream.start(), 0);
        err.str("");
    }

    RunEnd runend(int samples_more)
    {
        try {
            for (int i = 0; i < samples_more; ++i) stream.getsample();
        } catch (const RunEnd& end) {
            return end;
        }
        ADD_FAILURE() << "the run did not end";
        return {};
    }

    Settings settings;
    std::ostringstream out;
    std::ostringstream err;
    Console console{out, err};
    ScriptedHost host;
    ScriptedWaveIn device;
    CaptureStream stream{settings, console, host, device};
};

TEST_F(CaptureTest, SampleIsDeliveredOnlyOnce4096BytesBeyondItAreRecorded)
{
    device.counts = {0, 4095, 4096, 4097, 4100, 4101, 4102};
    openandstart();
    EXPECT_EQ(device.polls, 0);  // nothing is polled before the first request
    EXPECT_EQ(stream.position(), 0);

    EXPECT_EQ(stream.getsample(), expected(0));
    EXPECT_EQ(device.polls, 3);  // 0 and 4095 are too few for the sample at 0
    EXPECT_EQ(host.yields, 3);
    EXPECT_EQ(host.keychecks, 3);
    EXPECT_EQ(stream.position(), 2);

    EXPECT_EQ(stream.getsample(), expected(2));  // needs 4098: polls 4097, then 4100
    EXPECT_EQ(device.polls, 5);
    EXPECT_EQ(stream.getsample(), expected(4));  // 4100 covered it already
    EXPECT_EQ(device.polls, 5);
    EXPECT_EQ(stream.position(), 6);
    EXPECT_EQ(stream.getsample(), expected(6));
    EXPECT_EQ(device.polls, 7);
    EXPECT_EQ(stream.position(), 8);
}

TEST_F(CaptureTest, ConvertsTheHighByteWithItsSignBitInverted)
{
    const std::vector<std::pair<uint16_t, int>> cases = {
        {0x0000, 128}, {0x7FFF, 255}, {0x8000, 0}, {0xFFFF, 127}, {0x00FF, 128}, {0x0100, 129},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        device.recording[2 * i] = static_cast<uint8_t>(cases[i].first & 0xFF);
        device.recording[2 * i + 1] = static_cast<uint8_t>(cases[i].first >> 8);
    }
    device.counts = {buffer_bytes - 1};
    openandstart();
    for (const auto& [value, sample] : cases) EXPECT_EQ(stream.getsample(), sample) << std::hex << value;
    // low/high track the samples handed out.
    EXPECT_EQ(stream.low(), 0);
    EXPECT_EQ(stream.high(), 255);
}

// Counts that grow in uneven steps; every sample comes out right (none read
// where the device has not vouched for it), in windows of any size.
TEST_F(CaptureTest, DeliversEveryRecordedSampleInOrderUntilTheBufferIsFull)
{
    device.counts = {1000, 4097, 5003, 9999, 20000, 20001, 33333, 60000, buffer_bytes - 2, buffer_bytes};
    openandstart();
    const int64_t last_before_full = buffer_bytes - 4096;
    for (int64_t o = 0; o <= last_before_full; o += 2) {
        ASSERT_EQ(stream.getsample(), expected(o)) << "offset " << o;
    }
    EXPECT_EQ(stream.position(), last_before_full + 2);

    // The next sample needs a count beyond what the buffer can hold.
    RunEnd end = runend(1);
    EXPECT_EQ(end.message, "\nWAV Buffer Full!\n");
    EXPECT_EQ(end.exitcode, 1);
    EXPECT_TRUE(end.report);
    EXPECT_TRUE(end.closeinput);
    EXPECT_EQ(stream.position(), last_before_full + 2);
    EXPECT_EQ(err.str(), "");
}

TEST_F(CaptureTest, BufferFoundFullIsStillReadToItsEnd)
{
    device.counts = {buffer_bytes};
    openandstart();
    for (int64_t o = 0; o + 4096 <= buffer_bytes; o += 2) ASSERT_EQ(stream.getsample(), expected(o)) << "offset " << o;
    host.keyfromcheck = host.keychecks;  // a key is waiting too, but the full buffer is seen first
    EXPECT_EQ(runend(1).message, "\nWAV Buffer Full!\n");
    EXPECT_EQ(device.polls, 2);
    EXPECT_EQ(host.keychecks, 1);
}

TEST_F(CaptureTest, KeyPressIsNoticedAtTheNextWait)
{
    device.counts = {8192};
    host.keyfromcheck = 1;  // the first wait finds no key, the second does
    openandstart();
    // Everything 4096 bytes below 8192 comes without another key test.
    for (int64_t o = 0; o <= 8192 - 4096; o += 2) ASSERT_EQ(stream.getsample(), expected(o));
    EXPECT_EQ(host.keychecks, 1);

    RunEnd end = runend(1);
    EXPECT_EQ(end.message, "\nAbort...\n");
    EXPECT_EQ(end.exitcode, 1);
    EXPECT_TRUE(end.report);
    EXPECT_EQ(host.keychecks, 2);
    EXPECT_EQ(device.polls, 2);
}

TEST_F(CaptureTest, KeyIsTestedAfterEachPollWhileWaiting)
{
    device.counts = {0};
    host.keyfromcheck = 3;
    openandstart();
    EXPECT_EQ(runend(1).message, "\nAbort...\n");
    EXPECT_EQ(device.polls, 4);
    EXPECT_EQ(host.yields, 3);  // no yield after the check that ends the run
}

// "Reading %02X\r" comes with the sample that brings the read offset to a
// multiple of 16384, before the next sample is handed out.
TEST_F(CaptureTest, VerboseShowsTheLevelEvery16384Bytes)
{
    settings.verbose = true;
    device.counts = {buffer_bytes - 1};
    openandstart();
    std::vector<int64_t> lineafter;  // sample offsets after which a line appeared
    size_t shown = 0;
    for (int64_t o = 0; o + 4096 <= buffer_bytes - 1; o += 2) {
        ASSERT_EQ(stream.getsample(), expected(o));
        if (err.str().size() != shown) {
            std::string added = err.str().substr(shown);
            shown = err.str().size();
            char want[16];
            std::snprintf(want, sizeof want, "Reading %02X\r", expected(o));
            EXPECT_EQ(added, want);
            lineafter.push_back(o);
        }
    }
    EXPECT_EQ(lineafter, (std::vector<int64_t>{16382, 32766, 49150}));
}

TEST_F(CaptureTest, QuietRunPrintsNoProgress)
{
    device.counts = {buffer_bytes - 1};
    openandstart();
    for (int64_t o = 0; o + 4096 <= buffer_bytes - 1; o += 2) ASSERT_EQ(stream.getsample(), expected(o));
    EXPECT_EQ(err.str(), "");
}

// A decoder that walks whole windows sees the same samples and the same lines
// as one that takes a sample at a time.
TEST_F(CaptureTest, WindowWalkGivesTheSameSamplesAndLines)
{
    settings.verbose = true;
    device.counts = {3000, 7000, 16000, 17000, 40000, buffer_bytes - 1};
    openandstart();
    std::string seen;
    std::string expectedtext;
    const int64_t samples = (buffer_bytes - 1 - 4096) / 2 + 1;
    int64_t taken = 0;
    while (taken < samples) {
        stream.refill();
        for (const uint8_t* p = stream.cursor(); p != stream.limit() && taken < samples; ++p, ++taken) {
            int64_t o = taken * 2;
            ASSERT_EQ(*p, expected(o));
            if ((o + 2) % 16384 == 0) {
                char line[16];
                std::snprintf(line, sizeof line, "Reading %02X\r", expected(o));
                expectedtext += line;
                // The line is out as soon as its sample is in the window.
                EXPECT_EQ(err.str(), expectedtext);
            }
            stream.advance(p + 1);
        }
    }
    EXPECT_EQ(err.str(), expectedtext);
    EXPECT_EQ(stream.position(), samples * 2);
}

struct OpenCase {
    const char* name;
    int32_t tapefmt;
    int32_t unittime_arg;
    int32_t noise_arg;
    bool verbose;
    int32_t unittime;
    int32_t noise;
    const char* messages;
};

// Test listings show the case name, not the record's bytes.
void PrintTo(const OpenCase& c, std::ostream* os)
{
    *os << c.name;
}

class CaptureOpenTest : public CaptureTest, public ::testing::WithParamInterface<OpenCase> {};

TEST_P(CaptureOpenTest, SetsDefaultsAndQueuesTheBuffer)
{
    const OpenCase& c = GetParam();
    settings.tapefmt = c.tapefmt;
    settings.unittime_arg = c.unittime_arg;
    settings.noise_arg = c.noise_arg;
    settings.verbose = c.verbose;
    ASSERT_EQ(stream.openwavein(), 0);
    EXPECT_EQ(settings.unittime, c.unittime);
    EXPECT_EQ(settings.noise, c.noise);
    EXPECT_EQ(err.str(), c.messages);

    EXPECT_EQ(device.calls, (std::vector<std::string>{"numdevs", "open", "prepare", "addbuffer"}));
    EXPECT_EQ(device.format.wFormatTag, 1);
    EXPECT_EQ(device.format.nChannels, 1);
    EXPECT_EQ(device.format.nSamplesPerSec, 48000u);
    EXPECT_EQ(device.format.nAvgBytesPerSec, 96000u);
    EXPECT_EQ(device.format.nBlockAlign, 2);
    EXPECT_EQ(device.format.wBitsPerSample, 16);
    EXPECT_EQ(device.format.cbSize, 0);
    EXPECT_NE(device.buffer, nullptr);
    EXPECT_EQ(device.buffer_bytes, static_cast<uint32_t>(buffer_bytes));
    EXPECT_EQ(device.polls, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Defaults, CaptureOpenTest,
    ::testing::Values(
        OpenCase{"Mz", tapefmt_mz, 0, -1, true, 18, 2, "Set -w18 as default.\nSet -n2 as default.\n"},
        OpenCase{"X1", tapefmt_x1, 0, -1, true, 9, 2, "Set -w9 as default.\nSet -n2 as default.\n"},
        OpenCase{"CarrySoft", tapefmt_carrysoft, 0, -1, true, 18, 2, "Set -w18 as default.\nSet -n2 as default.\n"},
        OpenCase{"Quiet", tapefmt_x1, 0, -1, false, 9, 2, ""},
        OpenCase{"UnittimeGiven", tapefmt_mz, 25, -1, true, 25, 2, "Set -n2 as default.\n"},
        OpenCase{"NoiseZeroGiven", tapefmt_mz, 0, 0, true, 18, 0, "Set -w18 as default.\n"},
        OpenCase{"BothGiven", tapefmt_x1, 30, 15, true, 30, 15, ""}),
    [](const ::testing::TestParamInfo<OpenCase>& info) { return std::string(info.param.name); });

struct FailCase {
    const char* name;
    unsigned devices;
    int openresult;
    int prepareresult;
    int addbufferresult;
    int32_t codepage;
    std::vector<std::string> calls;
};

void PrintTo(const FailCase& c, std::ostream* os)
{
    *os << c.name;
}

class CaptureOpenFailTest : public CaptureTest, public ::testing::WithParamInterface<FailCase> {};

TEST_P(CaptureOpenFailTest, PrintsWhyAndStops)
{
    const FailCase& c = GetParam();
    device.devices = c.devices;
    device.openresult = c.openresult;
    device.prepareresult = c.prepareresult;
    device.addbufferresult = c.addbufferresult;
    settings.codepage = c.codepage;
    settings.verbose = true;

    EXPECT_EQ(stream.openwavein(), 1);
    EXPECT_EQ(device.calls, c.calls);
    std::string want;
    if (c.devices == 0) {
        want = c.codepage == codepage_japanese ? testsupport::sjis("wave入力デバイスがありません。\n")
                                               : "Can't find wave input device.\n";
    } else {
        int code = c.openresult != 0 ? c.openresult : c.prepareresult != 0 ? c.prepareresult : c.addbufferresult;
        want = "device error " + std::to_string(code);  // as the device words it, nothing added
    }
    EXPECT_EQ(err.str(), want);
    EXPECT_EQ(settings.unittime, 0);  // no defaults after a failure
}

INSTANTIATE_TEST_SUITE_P(
    Failures, CaptureOpenFailTest,
    ::testing::Values(FailCase{"NoDevice", 0, 0, 0, 0, codepage_english, {"numdevs"}},
                      FailCase{"NoDeviceJapanese", 0, 0, 0, 0, codepage_japanese, {"numdevs"}},
                      FailCase{"OpenFails", 1, 4, 0, 0, codepage_english, {"numdevs", "open"}},
                      FailCase{"OpenFailsJapanese", 1, 4, 0, 0, codepage_japanese, {"numdevs", "open"}},
                      FailCase{"PrepareFails", 1, 0, 11, 0, codepage_english, {"numdevs", "open", "prepare"}},
                      FailCase{"AddBufferFails", 1, 0, 0, 5, codepage_english,
                               {"numdevs", "open", "prepare", "addbuffer"}}),
    [](const ::testing::TestParamInfo<FailCase>& info) { return std::string(info.param.name); });

TEST_F(CaptureTest, FailedStartPrintsTheDeviceText)
{
    device.startresult = 32;
    ASSERT_EQ(stream.openwavein(), 0);
    err.str("");
    EXPECT_NE(stream.start(), 0);
    EXPECT_EQ(err.str(), "device error 32");
    stream.close();
    EXPECT_EQ(device.calls, (std::vector<std::string>{"numdevs", "open", "prepare", "addbuffer", "start", "stop",
                                                      "unprepare", "close"}));
}

TEST_F(CaptureTest, CloseStopsUnpreparesAndClosesOnce)
{
    device.counts = {8192};
    openandstart();
    stream.getsample();
    device.calls.clear();
    stream.close();
    EXPECT_EQ(device.calls, (std::vector<std::string>{"stop", "unprepare", "close"}));
    stream.close();
    EXPECT_EQ(device.calls.size(), 3u);
    EXPECT_EQ(err.str(), "");
}

TEST_F(CaptureTest, CloseAfterTheRunEndedStillClosesTheDevice)
{
    device.counts = {0};
    host.keyfromcheck = 0;
    openandstart();
    runend(1);
    device.calls.clear();
    stream.close();
    EXPECT_EQ(device.calls, (std::vector<std::string>{"stop", "unprepare", "close"}));
}

}  // namespace
}  // namespace cmtgrab
