// Byte and block reader: bit and start-bit rules, the checksum with its
// quirks, the retry on the second copy, and the exact status and dump lines.
#include "tape/blockreader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "control/runend.h"
#include "encoder.h"
#include "support/vectorstream.h"

using namespace cmtgrab;
using testsupport::VectorStream;

namespace {

constexpr uint8_t untouched = 0xEE;  // buffer bytes no copy has written
constexpr size_t canary_bytes = 16;  // past `size`, must stay untouched

const char* leadertape(bool header) { return header ? "100s 40l 40s l " : "100s 20l 20s l "; }

std::string leaderdump(bool header)
{
    return header ? "[gap=100]\n[tmark0=40]\n[tmark1=40]\n[tone end mark]\n[tone end mark end]\n"
                  : "[gap=100]\n[tmark0=20]\n[tmark1=20]\n[tone end mark]\n[tone end mark end]\n";
}

std::string leaderverbose(int size, bool header)
{
    return format("load %04X bytes, header=%d\n", static_cast<unsigned>(size), header ? 1 : 0) +
           "Start gapck\nDone gapck\nStart tmark\nDone tmark\n";
}

struct ReadResult {
    int result = -99;
    std::optional<RunEnd> end;
    std::string out;
    std::string err;
    std::vector<uint8_t> buffer;  // size bytes, then the canary
    int32_t onebits = 0;
};

ReadResult readblock(const std::vector<uint8_t>& samples, bool header, int size, bool stoperr, bool verbose,
                     bool dumpcode, int unittime = testsupport::tape_unittime, int level = testsupport::tape_level)
{
    VectorStream stream(samples, 4096);
    std::ostringstream out, err;
    Console console(out, err);
    Slicer slicer(stream, console, 0, level, false);
    PulseReader pulses(slicer, unittime, false);
    MarkSearch marks(pulses, console, false, verbose, dumpcode);
    BlockReader reader(pulses, marks, stream, console, stoperr, verbose, dumpcode);
    ReadResult r;
    r.buffer.assign(static_cast<size_t>(size) + canary_bytes, untouched);
    try {
        r.result = reader.readblock(header, size, r.buffer.data());
    } catch (const RunEnd& end) {
        r.end = end;
    }
    r.out = out.str();
    r.err = err.str();
    r.onebits = reader.onebits();
    return r;
}

struct BlockCase {
    std::string name;
    bool stoperr;
    bool header;
    int size;
    std::string tape;  // after the leader; "#XX" bytes are marks {0}, {1}, ... in order
    bool good;         // else both copies fail and the run ends
    std::vector<uint8_t> buffer;
    std::string err;  // under -v, after the search's lines
    std::string out;  // under -vv, after the search's lines; {n} is the position of mark n
    int32_t onebits;
};

const std::string pair_of_marks = "[block start mark]\n[block start mark end]\n";
const std::string retry_marks = pair_of_marks + pair_of_marks;

// 255 one bits: the only count that a short closing pulse after a high byte of
// 01 can match (01 x 256 - 1).
BlockCase closingpulsecase()
{
    BlockCase c{"-e: a short closing pulse makes the required value high x 256 - 1", true, false, 32, "3s l ", true,
                {}, "Start bit error!\nChecksum counted 00FF, required 00FF\nChecksum OK        \n", pair_of_marks,
                256};
    for (int i = 0; i < 31; ++i) {
        c.tape += "#FF l ";
        c.out += "\n[ifp={" + std::to_string(i) + "}, FF]\n";
        c.buffer.push_back(0xFF);
    }
    c.tape += "#7F l #01 l #00 s 120s";
    c.out += "\n[ifp={31}, 7F]\n\n[ifp={32}, 01]\n\n[ifp={33}, FFFFFFFF]\n";
    c.buffer.push_back(0x7F);
    return c;
}

std::vector<BlockCase> blockcases()
{
    return {
        {"size 0 reads only the checksum", false, false, 0, "3s l #00 l #00 l 120s", true, {},
         "Checksum counted 0000, required 0000\nChecksum OK        \n",
         pair_of_marks + "\n[ifp={0}, 00]\n\n[ifp={1}, 00]\n", 0},
        {"unbalanced pulses are long: block start mark, data bit and start bit", true, false, 2,
         "3s u @ 7s u u #80 l #00 l #02 l 120s", true, {0x01, 0x80},
         "Checksum counted 0002, required 0002\nChecksum OK        \n",
         pair_of_marks + "\n[ifp={0}, 01]\n\n[ifp={1}, 80]\n\n[ifp={2}, 00]\n\n[ifp={3}, 02]\n", 3},
        {"without -e short start bits pass unreported", false, false, 2, "3s l #81 s #42 l #00 s #04 s 120s", true,
         {0x81, 0x42}, "Checksum counted 0004, required 0004\nChecksum OK        \n",
         pair_of_marks + "\n[ifp={0}, 81]\n\n[ifp={1}, 42]\n\n[ifp={2}, 00]\n\n[ifp={3}, 04]\n", 5},
        {"-e: a short start bit after a data byte fails the first copy", true, true, 3,
         "3s l #81 s #00 l #FF l #00 l #0A l 110s 3s l #3C l #00 l #7E l #00 l #0A l 120s", true,
         {0x3C, 0x00, 0x7E},
         "Start bit error!\nRetry              \nChecksum counted 000A, required 000A\nChecksum OK        \n",
         pair_of_marks + "\n[ifp={0}, FFFFFFFF]\n" + retry_marks +
             "\n[ifp={5}, 3C]\n\n[ifp={6}, 00]\n\n[ifp={7}, 7E]\n\n[ifp={8}, 00]\n\n[ifp={9}, 0A]\n",
         12},
        {"-e: a short start bit after a data byte in both copies", true, false, 1,
         "3s l #81 s #00 l #02 l 110s 3s l #81 s #00 l #02 l 120s", false, {untouched},
         "Start bit error!\nRetry              \nStart bit error!\n",
         pair_of_marks + "\n[ifp={0}, FFFFFFFF]\n" + retry_marks + "\n[ifp={3}, FFFFFFFF]\n", 2},
        {"-e: a short start bit after the high byte, then a short closing pulse", true, false, 1,
         "3s l #07 l #00 s #03 l 110s 3s l #07 l #00 l #03 s 120s", false, {0x07},
         "Start bit error!\nChecksum counted 0003, required FFFFFF03\nRetry              \n"
         "Start bit error!\nChecksum counted 0003, required FFFFFFFF\n",
         pair_of_marks + "\n[ifp={0}, 07]\n\n[ifp={1}, FFFFFFFF]\n\n[ifp={2}, 03]\n" + retry_marks +
             "\n[ifp={3}, 07]\n\n[ifp={4}, 00]\n\n[ifp={5}, FFFFFFFF]\n",
         5},
        {"-e: both checksum start bits short make -257", true, false, 1,
         "3s l #07 l #00 s #03 s 110s 3s l #07 l #00 l #03 l 120s", true, {0x07},
         "Start bit error!\nStart bit error!\nChecksum counted 0003, required FFFFFEFF\nRetry              \n"
         "Checksum counted 0003, required 0003\nChecksum OK        \n",
         pair_of_marks + "\n[ifp={0}, 07]\n\n[ifp={1}, FFFFFFFF]\n\n[ifp={2}, FFFFFFFF]\n" + retry_marks +
             "\n[ifp={3}, 07]\n\n[ifp={4}, 00]\n\n[ifp={5}, 03]\n",
         5},
        closingpulsecase(),
        {"first copy bad, second good: the buffer holds the second copy", false, true, 2,
         "3s l #81 l #42 l #00 l #05 l 110s 3s l #3C l #7E l #00 l #0A l 120s", true, {0x3C, 0x7E},
         "Checksum counted 0004, required 0005\nRetry              \nChecksum counted 000A, required 000A\n"
         "Checksum OK        \n",
         pair_of_marks + "\n[ifp={0}, 81]\n\n[ifp={1}, 42]\n\n[ifp={2}, 00]\n\n[ifp={3}, 05]\n" + retry_marks +
             "\n[ifp={4}, 3C]\n\n[ifp={5}, 7E]\n\n[ifp={6}, 00]\n\n[ifp={7}, 0A]\n",
         12},
        {"both checksums bad", false, false, 1, "3s l #01 l #00 l #02 l 110s 3s l #01 l #00 l #03 l 120s", false,
         {0x01}, "Checksum counted 0001, required 0002\nRetry              \nChecksum counted 0001, required 0003\n",
         pair_of_marks + "\n[ifp={0}, 01]\n\n[ifp={1}, 00]\n\n[ifp={2}, 02]\n" + retry_marks +
             "\n[ifp={3}, 01]\n\n[ifp={4}, 00]\n\n[ifp={5}, 03]\n",
         3},
        // Were the unbalanced pulse counted as short, the skip would end on it
        // and the long pulse after 20 short ones would start a bogus copy.
        {"an unbalanced pulse restarts the count of the skip", false, false, 1,
         "3s l #01 l #00 l #02 l 99s u 20s l #FF l #FF l #FF l 100s 3s l #01 l #00 l #01 l 120s", true, {0x01},
         "Checksum counted 0001, required 0002\nRetry              \nChecksum counted 0001, required 0001\n"
         "Checksum OK        \n",
         pair_of_marks + "\n[ifp={0}, 01]\n\n[ifp={1}, 00]\n\n[ifp={2}, 02]\n" + retry_marks +
             "\n[ifp={6}, 01]\n\n[ifp={7}, 00]\n\n[ifp={8}, 01]\n",
         2},
    };
}

// The lines of `text` that are printed whatever the settings.
std::string withoutverbose(const std::string& text)
{
    std::string kept;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);)
        if (line.rfind("Checksum counted ", 0) != 0) kept += line + "\n";
    return kept;
}

TEST(BlockReader, Readblock)
{
    for (const BlockCase& c : blockcases()) {
        const testsupport::PulseTape tape = testsupport::pulsetape(leadertape(c.header) + c.tape);
        struct Mode {
            bool verbose, dumpcode;
        };
        for (Mode mode : {Mode{false, false}, Mode{true, false}, Mode{true, true}}) {
            SCOPED_TRACE(c.name + (mode.dumpcode ? ", -vv" : mode.verbose ? ", -v" : ""));
            ReadResult r = readblock(tape.samples, c.header, c.size, c.stoperr, mode.verbose, mode.dumpcode);
            if (c.good) {
                EXPECT_FALSE(r.end.has_value());
                EXPECT_EQ(r.result, 0);
            } else {
                EXPECT_TRUE(r.end.has_value());
                if (r.end) {
                    EXPECT_EQ(r.end->exitcode, 1);
                    EXPECT_TRUE(r.end->report);
                    EXPECT_TRUE(r.end->closeinput);
                    EXPECT_EQ(r.end->message, "Checksum error!    \n");
                }
            }
            std::vector<uint8_t> expected = c.buffer;
            expected.resize(static_cast<size_t>(c.size), untouched);
            expected.resize(static_cast<size_t>(c.size) + canary_bytes, untouched);
            EXPECT_EQ(r.buffer, expected);
            EXPECT_EQ(r.onebits, c.onebits);
            const std::string err = leaderverbose(c.size, c.header) + c.err;
            EXPECT_EQ(r.err, mode.verbose ? err : withoutverbose(c.err));
            EXPECT_EQ(r.out, mode.dumpcode ? leaderdump(c.header) + testsupport::withmarks(c.out, tape.marks) : "");
        }
    }
}

TEST(BlockReader, CountOf65536OneBitsIsZero)
{
    std::string text = std::string(leadertape(false)) + "3s l ";
    for (int i = 0; i < 0x2000; ++i) text += "#FF l ";
    text += "#00 l #00 l 120s";
    ReadResult r = readblock(testsupport::pulsetape(text).samples, false, 0x2000, true, true, false);
    EXPECT_FALSE(r.end.has_value());
    EXPECT_EQ(r.result, 0);
    EXPECT_EQ(r.err, leaderverbose(0x2000, false) + "Checksum counted 0000, required 0000\nChecksum OK        \n");
    // The comparison takes only the low 16 bits; the counter itself goes on.
    EXPECT_EQ(r.onebits, 65536);
    EXPECT_EQ(std::count(r.buffer.begin(), r.buffer.begin() + 0x2000, 0xFF), 0x2000);
}

// A header block from the encoder whose first copy has one flipped bit.
TEST(BlockReader, EncodedBlockWithBadFirstCopy)
{
    std::vector<uint8_t> bytes(128);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i);  // 448 one bits
    cmtgen::Options opt;
    opt.bits = 8;
    cmtgen::SignalWriter writer(opt);
    writer.leader(100, 40);
    writer.block(bytes, true);
    writer.pulses(256, false);
    writer.block(bytes);
    writer.pulses(50, false);
    const std::vector<uint8_t> wav = writer.wav();
    ReadResult r = readblock(std::vector<uint8_t>(wav.begin() + 44, wav.end()), true, 128, true, true, false, 18, 32);
    EXPECT_FALSE(r.end.has_value());
    EXPECT_EQ(r.err, leaderverbose(128, true) +
                         "Checksum counted 01C1, required 01C0\nRetry              \n"
                         "Checksum counted 01C0, required 01C0\nChecksum OK        \n");
    EXPECT_EQ(std::vector<uint8_t>(r.buffer.begin(), r.buffer.begin() + 128), bytes);
}

}  // namespace
