// Smoothing filter and comparator: the switching rules sample by sample, and
// the fast run counting checked against a plain per-sample model.
#include "signal/slicer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "control/runend.h"
#include "support/vectorstream.h"

using namespace cmtgrab;
using testsupport::VectorStream;

namespace {

struct SliceCase {
    const char* name;
    int noise;
    int level;
    std::vector<uint8_t> samples;
    std::vector<int> outputs;
    std::vector<int> uppers;  // anchors after each sample
    std::vector<int> lowers;
    std::map<int, int64_t> bitlength;  // the entries that are not 0
    std::string display;               // standard output with -b
};

std::vector<uint8_t> repeated(std::initializer_list<std::pair<int, uint8_t>> runs)
{
    std::vector<uint8_t> v;
    for (auto [count, value] : runs) v.insert(v.end(), static_cast<size_t>(count), value);
    return v;
}
std::vector<int> repeatedint(std::initializer_list<std::pair<int, int>> runs)
{
    std::vector<int> v;
    for (auto [count, value] : runs) v.insert(v.end(), static_cast<size_t>(count), value);
    return v;
}

std::vector<SliceCase> slicecases()
{
    return {
        {"switches against the opposite anchor", 0, 48,
         {128, 130, 200, 230, 226, 140, 120, 150, 190, 230, 210},
         {0, 0, 0, 1, 1, 1, 0, 0, 0, 1, 1},
         {128, 128, 128, 230, 230, 230, 230, 230, 230, 230, 230},
         {128, 128, 128, 128, 128, 128, 120, 120, 120, 120, 120},
         {{3, 3}},
         "...\n***\n...\n**"},
        {"comparisons are strict", 0, 48,
         {100, 196, 197, 102, 101, 100},
         {0, 0, 1, 1, 1, 0},
         {100, 100, 197, 197, 197, 197},
         {100, 100, 100, 100, 100, 100},
         {{2, 1}, {3, 1}},
         "..\n***\n."},
        {"an equal value is not rising and moves the low anchor", 0, 48,
         {100, 150, 150, 246, 247},
         {0, 0, 0, 0, 1},
         {100, 100, 100, 100, 247},
         {100, 100, 150, 150, 150},
         {{4, 1}},
         "....\n*"},
        {"a first output of 1 counts a run of 0", 0, 48,
         {200, 200, 50},
         {1, 1, 0},
         {200, 200, 200},
         {200, 200, 50},
         {{0, 1}, {2, 1}},
         "\n**\n."},
        {"noise 1 leaves the previous sample out of the sum", 1, 48,
         {255, 255, 255, 255},
         {0, 0, 1, 1},
         {127, 127, 255, 255},
         {127, 127, 127, 127},
         {{2, 1}},
         "..\n**"},
        {"noise 1 spreads a lone sample to the current and the second next", 1, 1,
         {0, 100, 0, 0, 0, 0},
         {0, 1, 0, 1, 0, 0},
         {0, 50, 50, 50, 50, 50},
         {0, 0, 0, 0, 0, 0},
         {{1, 4}},
         ".\n*\n.\n*\n.."},
        {"noise 2 spreads a lone sample to the current, third and fourth", 2, 1,
         {0, 0, 0, 90, 0, 0, 0, 0, 0},
         {0, 0, 0, 1, 0, 1, 1, 0, 0},
         {0, 0, 0, 30, 30, 30, 30, 30, 30},
         {0, 0, 0, 0, 0, 0, 0, 0, 0},
         {{3, 1}, {1, 2}, {2, 1}},
         "...\n*\n.\n**\n.."},
        {"level 127 switches from a low anchor of 0 at 255", 0, 127,
         {1, 0, 2, 255},
         {0, 0, 0, 1},
         {1, 1, 1, 255},
         {1, 0, 0, 0},
         {{3, 1}},
         "...\n*"},
        {"level 127 does not switch from a low anchor of 1", 0, 127,
         {1, 2, 255},
         {0, 0, 0},
         {1, 1, 1},
         {1, 1, 1},
         {},
         "..."},
        {"a run of 255 is counted", 0, 48,
         repeated({{255, 0}, {1, 255}}),
         repeatedint({{255, 0}, {1, 1}}),
         repeatedint({{255, 0}, {1, 255}}),
         repeatedint({{256, 0}}),
         {{255, 1}},
         std::string(255, '.') + "\n*"},
        {"a run of 256 is not counted", 0, 48,
         repeated({{256, 0}, {255, 255}, {1, 0}}),
         repeatedint({{256, 0}, {255, 1}, {1, 0}}),
         repeatedint({{256, 0}, {256, 255}}),
         repeatedint({{512, 0}}),
         {{255, 1}},
         std::string(256, '.') + "\n" + std::string(255, '*') + "\n."},
        {"a run of 1000 is not counted", 0, 48,
         repeated({{1000, 0}, {1, 255}}),
         repeatedint({{1000, 0}, {1, 1}}),
         repeatedint({{1000, 0}, {1, 255}}),
         repeatedint({{1001, 0}}),
         {},
         std::string(1000, '.') + "\n*"},
    };
}

TEST(Slicer, SwitchingRulesSampleBySample)
{
    for (const SliceCase& c : slicecases()) {
        for (bool bitdisp : {false, true}) {
            for (size_t window : {size_t{1}, size_t{4096}}) {
                SCOPED_TRACE(std::string(c.name) + (bitdisp ? ", -b" : "") + ", window " + std::to_string(window));
                VectorStream stream(c.samples, window);
                std::ostringstream out, err;
                Console console(out, err);
                Slicer slicer(stream, console, c.noise, c.level, bitdisp);
                std::vector<int> outputs, uppers, lowers;
                for (size_t i = 0; i < c.samples.size(); ++i) {
                    outputs.push_back(slicer.slice());
                    uppers.push_back(slicer.upper());
                    lowers.push_back(slicer.lower());
                }
                EXPECT_EQ(outputs, c.outputs);
                EXPECT_EQ(uppers, c.uppers);
                EXPECT_EQ(lowers, c.lowers);
                std::map<int, int64_t> counted;
                for (int n = 0; n < runlength_slots; ++n)
                    if (slicer.bitlength()[n] != 0) counted[n] = slicer.bitlength()[n];
                EXPECT_EQ(counted, c.bitlength);
                EXPECT_EQ(out.str(), bitdisp ? c.display : "");
                EXPECT_EQ(err.str(), "");
            }
        }
    }
}

// Only the very first sample is judged against 128 +- level; a first output
// of 1 counts as the end of an empty run of 0.
TEST(Slicer, FirstSampleThresholds)
{
    struct Case {
        int level;
        uint8_t sample;
        int output;
    };
    const Case cases[] = {
        {48, 0, 0},   {48, 80, 0},   {48, 81, 0},   {48, 128, 0},  {48, 175, 0}, {48, 176, 1},
        {48, 255, 1}, {10, 118, 0},  {10, 119, 0},  {10, 137, 0},  {10, 138, 1}, {127, 1, 0},
        {127, 2, 0},  {127, 254, 0}, {127, 255, 1}, {1, 127, 0},   {1, 128, 0},  {1, 129, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("level " + std::to_string(c.level) + ", sample " + std::to_string(c.sample));
        VectorStream stream({c.sample}, 1);
        std::ostringstream out, err;
        Console console(out, err);
        Slicer slicer(stream, console, 0, c.level, true);
        EXPECT_EQ(slicer.slice(), c.output);
        EXPECT_EQ(slicer.upper(), c.sample);
        EXPECT_EQ(slicer.lower(), c.sample);
        EXPECT_EQ(slicer.bitlength()[0], c.output);
        EXPECT_EQ(out.str(), c.output ? "\n*" : ".");
    }
}

TEST(Slicer, StartsUnjudgedWithOutputZero)
{
    VectorStream stream({}, 1);
    std::ostringstream out, err;
    Console console(out, err);
    Slicer slicer(stream, console, 0, 48, false);
    EXPECT_EQ(slicer.upper(), -1);
    EXPECT_EQ(slicer.lower(), -1);
    EXPECT_EQ(slicer.sliced(), 0);
    for (int n = 0; n < runlength_slots; ++n) EXPECT_EQ(slicer.bitlength()[n], 0) << n;
}

// The filter and comparator as a plain loop over one sample at a time, with
// nothing skipped ahead: the model the fast path has to match.
class ModelComparator {
public:
    struct OutOfSamples {};

    ModelComparator(const std::vector<uint8_t>& samples, int noise, int level)
        : samples_(samples), noise_(noise), level_(level)
    {
    }

    int slice()
    {
        if (next_ == samples_.size()) throw OutOfSamples{};
        const int s = samples_[next_++];
        int v = s;
        if (noise_ > 0) {
            // Sum before the shift: the current sample and positions 0..N-1.
            unsigned sum = static_cast<unsigned>(s);
            for (int k = 0; k < noise_; ++k) sum += history_[static_cast<size_t>(k)];
            for (int k = 0; k < noise_; ++k) history_[static_cast<size_t>(k)] = history_[static_cast<size_t>(k) + 1];
            history_[static_cast<size_t>(noise_)] = static_cast<uint8_t>(s);
            v = static_cast<int>(sum / static_cast<unsigned>(noise_ + 1));
        }
        if (upper_ < 0) {
            prevavg_ = upper_ = lower_ = v;
            if (v <= 128 - level_) sliced_ = 0;
            if (v >= 128 + level_) sliced_ = 1;
        } else {
            if (v > prevavg_) {
                if (v > lower_ + 2 * level_) sliced_ = 1;
                if (sliced_ == 1) upper_ = v;
            } else {
                if (v < upper_ - 2 * level_) sliced_ = 0;
                if (sliced_ == 0) lower_ = v;
            }
            prevavg_ = v;
        }
        if (sliced_ != prevsliced_) {
            if (runlen_ < 256) ++bitlength_[static_cast<size_t>(runlen_)];
            prevsliced_ = sliced_;
            runlen_ = 0;
        }
        ++runlen_;
        return sliced_;
    }

    int countrun(int level, int cap)
    {
        int count = 0;
        int o = slice();
        while (o == level && count < cap) {
            ++count;
            o = slice();
        }
        return count;
    }

    int64_t position() const { return static_cast<int64_t>(next_); }
    int upper() const { return upper_; }
    int lower() const { return lower_; }
    int sliced() const { return sliced_; }
    const std::array<int64_t, 256>& bitlength() const { return bitlength_; }

private:
    const std::vector<uint8_t>& samples_;
    const int noise_;
    const int level_;
    size_t next_ = 0;
    std::array<uint8_t, 16> history_{};
    int prevavg_ = 0;
    int upper_ = -1;
    int lower_ = -1;
    int sliced_ = 0;
    int prevsliced_ = 0;
    int64_t runlen_ = 0;
    std::array<int64_t, 256> bitlength_{};
};

// Random draws from the raw generator output, so every platform builds the
// same signals from the same seed.
class Draw {
public:
    explicit Draw(uint32_t seed) : gen_(seed) {}
    int below(int n) { return static_cast<int>(gen_() % static_cast<uint32_t>(n)); }
    int between(int lo, int hi) { return lo + below(hi - lo + 1); }

private:
    std::mt19937 gen_;
};

std::vector<uint8_t> whitenoise(size_t count, uint32_t seed)
{
    Draw draw(seed);
    std::vector<uint8_t> v(count);
    for (uint8_t& s : v) s = static_cast<uint8_t>(draw.below(256));
    return v;
}

// Half periods mostly of tape pulse length, some longer than a part can count
// and some longer than a histogram slot; each with its own swing and noise,
// plateaus (no noise) included for the equal-value rule.
std::vector<uint8_t> noisysquare(size_t count, uint32_t seed)
{
    Draw draw(seed);
    std::vector<uint8_t> v;
    bool high = true;
    while (v.size() < count) {
        const int kind = draw.below(10);
        const int halfperiod = kind < 7 ? draw.between(1, 30) : kind < 9 ? draw.between(31, 199) : draw.between(200, 600);
        const int swing = draw.between(10, 127);
        const int noise = draw.below(10) < 3 ? 0 : draw.between(1, 60);
        const int base = high ? 128 + swing : 128 - swing;
        for (int i = 0; i < halfperiod && v.size() < count; ++i) {
            const int s = base + (noise > 0 ? draw.between(-noise, noise) : 0);
            v.push_back(static_cast<uint8_t>(std::clamp(s, 0, 255)));
        }
        high = !high;
    }
    return v;
}

struct SliceRun {
    const char* signal;
    int noise;
    int level;
    size_t window;
};

std::string describe(const SliceRun& r, int call, const std::string& what)
{
    return std::string(r.signal) + " noise " + std::to_string(r.noise) + " level " + std::to_string(r.level) +
           " window " + std::to_string(r.window) + ", call " + std::to_string(call) + ": " + what;
}

// Drives the slicer and the model with the same calls until the samples run
// out; returns the first difference, or "" when there is none.
std::string comparerun(const SliceRun& r, const std::vector<uint8_t>& samples, uint32_t seed, int* calls)
{
    VectorStream stream(samples, r.window);
    std::ostringstream out, err;
    Console console(out, err);
    Slicer slicer(stream, console, r.noise, r.level, false);
    ModelComparator model(samples, r.noise, r.level);
    Draw draw(seed);
    int pulselevel = 1;  // getpulse alternates 1 and 0 parts

    auto same = [&](int call) -> std::string {
        if (slicer.upper() != model.upper())
            return describe(r, call, "upper " + std::to_string(slicer.upper()) + " vs " + std::to_string(model.upper()));
        if (slicer.lower() != model.lower())
            return describe(r, call, "lower " + std::to_string(slicer.lower()) + " vs " + std::to_string(model.lower()));
        if (slicer.sliced() != model.sliced())
            return describe(r, call, "sliced " + std::to_string(slicer.sliced()) + " vs " + std::to_string(model.sliced()));
        return "";
    };
    auto samehistogram = [&](int call) -> std::string {
        for (int n = 0; n < 256; ++n)
            if (slicer.bitlength()[n] != model.bitlength()[static_cast<size_t>(n)])
                return describe(r, call, "bitlength[" + std::to_string(n) + "] " +
                                             std::to_string(slicer.bitlength()[n]) + " vs " +
                                             std::to_string(model.bitlength()[static_cast<size_t>(n)]));
        return "";
    };

    for (int call = 0;; ++call) {
        *calls = call;
        const int kind = draw.below(20);
        int level = pulselevel;
        int cap = 200;
        bool single = false;
        if (kind < 14) {
            pulselevel ^= 1;
        } else if (kind < 17) {
            level = draw.below(2);
            const int capkind = draw.below(6);
            cap = capkind == 0 ? 0 : capkind == 1 ? 1 : capkind == 2 ? 255 : capkind == 3 ? 256 : draw.between(2, 400);
        } else {
            single = true;
        }
        const std::string what = single ? "slice()" : "countrun(" + std::to_string(level) + ", " + std::to_string(cap) + ")";
        int expected = 0;
        bool modelended = false;
        try {
            expected = single ? model.slice() : model.countrun(level, cap);
        } catch (const ModelComparator::OutOfSamples&) {
            modelended = true;
        }
        int got = 0;
        bool slicerended = false;
        try {
            got = single ? slicer.slice() : slicer.countrun(level, cap);
        } catch (const RunEnd& end) {
            slicerended = true;
            if (end.message != "\nReached to end of file....\n") return describe(r, call, "unexpected run end");
        }
        if (modelended != slicerended)
            return describe(r, call, what + (slicerended ? " ran out of samples early" : " read past the end"));
        if (!modelended && got != expected)
            return describe(r, call, what + " gave " + std::to_string(got) + " vs " + std::to_string(expected));
        if (stream.position() != model.position())
            return describe(r, call, what + " left position " + std::to_string(stream.position()) + " vs " +
                                         std::to_string(model.position()));
        if (std::string d = same(call); !d.empty()) return what + ", " + d;
        // The histogram at the end of the input feeds the level report.
        if (modelended || call % 16 == 0)
            if (std::string d = samehistogram(call); !d.empty()) return what + ", " + d;
        if (modelended) return "";
    }
}

TEST(Slicer, CountrunMatchesThePerSampleModel)
{
    constexpr size_t signal_samples = 40000;
    const std::vector<std::pair<const char*, std::vector<uint8_t>>> signals = {
        {"white noise", whitenoise(signal_samples, 20240611u)},
        {"noisy square wave", noisysquare(signal_samples, 7u)},
    };
    int64_t totalcalls = 0;
    uint32_t seed = 1;
    for (const auto& [name, samples] : signals) {
        for (int noise = 0; noise <= Slicer::max_noise; ++noise) {
            for (int level : {1, 9, 32, 48, 127}) {
                for (size_t window : {size_t{1}, size_t{3}, size_t{16}, size_t{17}, size_t{4096}}) {
                    int calls = 0;
                    const SliceRun run{name, noise, level, window};
                    const std::string difference = comparerun(run, samples, seed++, &calls);
                    ASSERT_EQ(difference, "");
                    totalcalls += calls;
                }
            }
        }
    }
    // Guards the strength of this test: the runs must have made many calls.
    EXPECT_GT(totalcalls, 1'000'000);
}

// The same equivalence on a signal that is a clean tape: long stretches in
// which every sample takes the fast path, across every window boundary.
TEST(Slicer, CountrunMatchesOnCleanPulses)
{
    std::vector<uint8_t> samples;
    Draw draw(99);
    while (samples.size() < 60000) {
        const int high = draw.between(5, 25);
        testsupport::appendpulses(samples, {high, high + draw.between(0, 3)});
    }
    uint32_t seed = 500;
    for (int noise = 0; noise <= Slicer::max_noise; ++noise) {
        for (size_t window : {size_t{1}, size_t{3}, size_t{17}, size_t{4096}}) {
            int calls = 0;
            ASSERT_EQ(comparerun({"clean pulses", noise, 32, window}, samples, seed++, &calls), "");
            EXPECT_GT(calls, 3000);
        }
    }
}

}  // namespace
