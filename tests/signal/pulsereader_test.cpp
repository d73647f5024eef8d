// Pulse measurement and bit decision: the part counts, the outputs each
// measurement consumes, and the long/short/unbalanced classification.
#include "signal/pulsereader.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "support/vectorstream.h"

using namespace cmtgrab;
using testsupport::VectorStream;

namespace {

TEST(PulseReader, Classify)
{
    struct Case {
        int highlen;
        int lowlen;
        int unittime;
        int bit;
    };
    const Case cases[] = {
        // A difference of exactly 100 is still balanced; the mean is 50.
        {0, 100, 50, 1},
        {0, 100, 51, 0},
        {100, 0, 50, 1},
        {100, 0, 51, 0},
        {0, 101, 1, -1},
        {101, 0, 1, -1},
        {200, 0, 18, -1},
        {200, 99, 18, -1},
        {200, 100, 18, 1},
        {200, 200, 18, 1},
        // The mean is truncated before it meets the threshold.
        {17, 18, 18, 0},
        {18, 17, 18, 0},
        {18, 18, 18, 1},
        {17, 19, 18, 1},
        {0, 0, 18, 0},
        {0, 0, 0, 1},
        {0, 100, 0, 1},
        {0, 101, 0, -1},
        {100, 0, 0, 1},
        {101, 0, 0, -1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PulseReader::classify(c.highlen, c.lowlen, c.unittime), c.bit)
            << c.highlen << "/" << c.lowlen << " at unittime " << c.unittime;
    }
}

struct Measurement {
    int highlen;
    int lowlen;
    int bit;           // at unittime 8
    int64_t consumed;  // outputs taken since the start, after this measurement
};

struct PulseCase {
    const char* name;
    bool reverse;
    std::vector<std::pair<int, int>> runs;  // (output, count) in signal order
    std::vector<Measurement> measurements;
};

std::vector<std::pair<int, int>> train(int pulses, std::vector<std::pair<int, int>> lead = {})
{
    for (int i = 0; i < pulses; ++i) {
        lead.push_back({1, 10});
        lead.push_back({0, 12});
    }
    return lead;
}

const std::vector<PulseCase>& pulsecases()
{
    static const std::vector<PulseCase> cases = {
        {"steady train entered at its first 1", false, train(4),
         {{10, 11, 1, 23}, {9, 11, 1, 45}, {9, 11, 1, 67}}},
        {"reversed train entered at its first 1", true, train(4),
         {{9, 0, 0, 11}, {9, 11, 1, 33}, {9, 11, 1, 55}}},
        {"first part stops at 200, the second takes one output", false,
         {{1, 450}, {0, 30}, {1, 5}, {0, 5}, {1, 10}},
         {{200, 0, -1, 202}, {200, 0, -1, 404}, {46, 29, 1, 481}, {4, 4, 0, 491}}},
        {"entered in the middle of a 0 part", false, train(3, {{0, 5}}),
         {{0, 4, 0, 6}, {9, 11, 1, 28}, {9, 11, 1, 50}}},
        {"second part stops at 200 and drops its 201st output", false,
         {{1, 10}, {0, 300}, {1, 10}, {0, 12}, {1, 10}, {0, 12}},
         {{10, 200, -1, 212}, {0, 97, 1, 311}, {9, 11, 1, 333}}},
    };
    return cases;
}

TEST(PulseReader, Getpulse)
{
    for (const PulseCase& c : pulsecases()) {
        std::vector<uint8_t> samples;
        for (auto [output, count] : c.runs) samples.insert(samples.end(), static_cast<size_t>(count), output ? 255 : 0);
        for (size_t window : {size_t{1}, size_t{7}, size_t{4096}}) {
            SCOPED_TRACE(std::string(c.name) + ", window " + std::to_string(window));
            VectorStream stream(samples, window);
            std::ostringstream out, err;
            Console console(out, err);
            // Noise 0 and full-swing samples: each output equals its sample.
            Slicer slicer(stream, console, 0, testsupport::tape_level, false);
            PulseReader pulses(slicer, testsupport::tape_unittime, c.reverse);
            for (size_t i = 0; i < c.measurements.size(); ++i) {
                const Measurement& m = c.measurements[i];
                EXPECT_EQ(pulses.getpulse(), 0);
                EXPECT_EQ(pulses.highlen(), m.highlen) << "measurement " << i;
                EXPECT_EQ(pulses.lowlen(), m.lowlen) << "measurement " << i;
                EXPECT_EQ(stream.position(), m.consumed) << "measurement " << i;
                EXPECT_EQ(pulses.pulsebit(), m.bit) << "measurement " << i;
                // Classifying has no side effects.
                EXPECT_EQ(pulses.pulsebit(), m.bit) << "measurement " << i;
                EXPECT_EQ(stream.position(), m.consumed) << "measurement " << i;
            }
        }
    }
}

}  // namespace
