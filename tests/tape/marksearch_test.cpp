// Gap and tape mark search: which pulse runs complete it, the dump and verbose
// lines it prints, and where in the signal it leaves the reader.
#include "tape/marksearch.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "encoder.h"
#include "control/runend.h"
#include "support/vectorstream.h"

using namespace cmtgrab;
using testsupport::VectorStream;

namespace {

const std::string tone_dump = "[tone end mark]\n[tone end mark end]\n";
const std::string mz_verbose = "Start gapck\nDone gapck\nStart tmark\nDone tmark\n";
const std::string x1_verbose = "Start gapck(X1)\nDone gapck(X1)\nStart tmark(X1)\nDone tmark(X1)\n";

struct SearchResult {
    std::string out;
    std::string err;
    int64_t position = -1;
    bool ranout = false;
};

SearchResult search(const std::vector<uint8_t>& samples, bool x1mode, bool header, bool verbose, bool dumpcode,
                    int unittime = testsupport::tape_unittime, int noise = 0, size_t window = 4096)
{
    VectorStream stream(samples, window);
    std::ostringstream out, err;
    Console console(out, err);
    Slicer slicer(stream, console, noise, testsupport::tape_level, false);
    PulseReader pulses(slicer, unittime, false);
    MarkSearch marks(pulses, console, x1mode, verbose, dumpcode);
    SearchResult result;
    try {
        marks.seekmark(header);
    } catch (const RunEnd& end) {
        EXPECT_EQ(end.message, "\nReached to end of file....\n");
        result.ranout = true;
    }
    result.out = out.str();
    result.err = err.str();
    result.position = stream.position();
    return result;
}

struct SearchCase {
    const char* name;
    bool x1mode;
    bool header;
    // Pulse tape; "@" stands right after the pulse taken as the tone end mark.
    const char* tape;
    std::string dump;  // standard output under -vv, tone end mark lines excluded
};

const std::vector<SearchCase>& searchcases()
{
    static const std::vector<SearchCase> cases = {
        {"a long pulse fails a gap attempt of 99", false, true, "99s l 100s 40l 40s l @ 20s",
         "[gap=99]\n[gap=100]\n[tmark0=40]\n[tmark1=40]\n"},
        {"gap attempts of 10 are not shown, of 11 are", false, true, "10s l 11s l 100s 40l 40s l @ 20s",
         "[gap=11]\n[gap=100]\n[tmark0=40]\n[tmark1=40]\n"},
        {"gap pulses past the 100th fail the first run at 0", false, true, "130s 40l 40s l @ 20s",
         "[gap=100]\n[tmark0=40]\n[tmark1=40]\n"},
        {"a body uses runs of 20", false, false, "100s 20l 20s l @ 20s",
         "[gap=100]\n[tmark0=20]\n[tmark1=20]\n"},
        {"a 41st long pulse fails the second run; a later mark is found", false, true,
         "100s 41l 40s 40l 40s l @ 20s", "[gap=100]\n[tmark0=40]\n[tmark0=40]\n[tmark1=40]\n"},
        {"a first run of 39 fails on its 40th pulse", false, true, "100s 39l 40s 40l 40s l @ 20s",
         "[gap=100]\n[tmark0=39]\n[tmark0=40]\n[tmark1=40]\n"},
        {"40 long, 39 short, 41 long, 40 short", false, true, "100s 40l 39s 41l 40s l @ 20s",
         "[gap=100]\n[tmark0=40]\n[tmark1=39]\n[tmark0=40]\n[tmark1=40]\n"},
        {"a failed second run does not go back to the gap", false, true, "100s 40l 5s l 40l 40s l @ 20s",
         "[gap=100]\n[tmark0=40]\n[tmark0=40]\n[tmark1=40]\n"},
        {"short pulses beyond the second run: the next is the tone end mark", false, true, "100s 40l 41s @ 20s",
         "[gap=100]\n[tmark0=40]\n[tmark1=40]\n"},
        {"an unbalanced pulse ends an MZ gap attempt", false, true, "50s u 100s 40l 40s l @ 20s",
         "[gap=50]\n[gap=100]\n[tmark0=40]\n[tmark1=40]\n"},
        {"an unbalanced pulse is long in an MZ tape mark", false, true, "100s 20l u 19l 40s l @ 20s",
         "[gap=100]\n[tmark0=40]\n[tmark1=40]\n"},
        {"an unbalanced pulse fails the MZ second run", false, false, "100s 20l 10s u 20l 20s s @ 20s",
         "[gap=100]\n[tmark0=20]\n[tmark0=20]\n[tmark1=20]\n"},
        {"X1: long gap, short run then long run", true, true, "105l 40s 40l l @ 20s",
         "[gap=100]\n[tmark1=40]\n[tmark0=40]\n"},
        {"X1: a short pulse fails a gap attempt, an unbalanced one counts", true, true,
         "50l s 30l u 69l 40s 40l l @ 20s", "[gap=50]\n[gap=100]\n[tmark1=40]\n[tmark0=40]\n"},
        {"X1: an unbalanced pulse is long in the tape mark", true, true, "100l 40s 20l u 19l s @ 20s",
         "[gap=100]\n[tmark1=40]\n[tmark0=40]\n"},
        {"X1: an unbalanced pulse fails the first run", true, false, "100l 15s u 20s 20l l @ 20s",
         "[gap=100]\n[tmark1=15]\n[tmark1=20]\n[tmark0=20]\n"},
    };
    return cases;
}

TEST(MarkSearch, RunsAndDumpLines)
{
    for (const SearchCase& c : searchcases()) {
        const testsupport::PulseTape tape = testsupport::pulsetape(c.tape);
        ASSERT_EQ(tape.marks.size(), 1u) << c.name;
        // The tone end mark's measurement has taken the first sample after it.
        const int64_t after_tone = tape.marks[0] + 1;
        const std::string verbose = c.x1mode ? x1_verbose : mz_verbose;
        struct Mode {
            bool verbose, dumpcode;
        };
        for (Mode mode : {Mode{false, false}, Mode{true, false}, Mode{true, true}}) {
            for (size_t window : {size_t{7}, size_t{4096}}) {
                SCOPED_TRACE(std::string(c.name) + (mode.dumpcode ? ", -vv" : mode.verbose ? ", -v" : "") +
                             ", window " + std::to_string(window));
                SearchResult r = search(tape.samples, c.x1mode, c.header, mode.verbose, mode.dumpcode,
                                        testsupport::tape_unittime, 0, window);
                EXPECT_FALSE(r.ranout);
                EXPECT_EQ(r.position, after_tone);
                EXPECT_EQ(r.err, mode.verbose ? verbose : "");
                EXPECT_EQ(r.out, mode.dumpcode ? c.dump + tone_dump : "");
            }
        }
    }
}

TEST(MarkSearch, UnrecognisedMarkSearchesToTheEndOfInput)
{
    // The 41st long pulse fails the second run and the short pulses after it
    // fail every new first run.
    const testsupport::PulseTape tape = testsupport::pulsetape("100s 41l 40s 60s");
    SearchResult r = search(tape.samples, false, true, true, true);
    EXPECT_TRUE(r.ranout);
    EXPECT_EQ(r.position, static_cast<int64_t>(tape.samples.size()));
    EXPECT_EQ(r.out, "[gap=100]\n[tmark0=40]\n");
    EXPECT_EQ(r.err, "Start gapck\nDone gapck\nStart tmark\n");
}

// Audio from the encoder: rounded edges, real amplitudes, and for X1 white
// noise through a smoothing window.
TEST(MarkSearch, EncodedLeaders)
{
    struct Case {
        const char* name;
        cmtgen::Format format;
        double noise;
        int slicernoise;
        int unittime;
        std::string dump;
    };
    const Case cases[] = {
        {"MZ header", cmtgen::Format::mz, 0.0, 0, 18,
         "[gap=60]\n[gap=100]\n[tmark0=40]\n[tmark1=40]\n"},
        {"X1 header with noise", cmtgen::Format::x1, 0.1, 2, 9,
         "[gap=60]\n[gap=100]\n[tmark1=40]\n[tmark0=40]\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        cmtgen::Options opt;
        opt.bits = 8;
        opt.format = c.format;
        opt.noise = c.noise;
        cmtgen::SignalWriter writer(opt);
        const bool gaplong = c.format == cmtgen::Format::x1;
        writer.pulses(60, gaplong);
        writer.pulse(!gaplong);
        writer.leader(100, 40);
        const auto tone_end = static_cast<int64_t>(writer.samplecount());
        writer.pulses(30, false);
        const std::vector<uint8_t> wav = writer.wav();
        const std::vector<uint8_t> samples(wav.begin() + 44, wav.end());
        SearchResult r = search(samples, gaplong, true, true, true, c.unittime, c.slicernoise);
        EXPECT_FALSE(r.ranout);
        EXPECT_EQ(r.out, c.dump + tone_dump);
        EXPECT_EQ(r.err, gaplong ? x1_verbose : mz_verbose);
        // Without smoothing the comparator switches at the first sample of
        // the next pulse; the measurement has taken it.
        if (c.slicernoise == 0) {
            EXPECT_EQ(r.position, tone_end + 1);
        }
    }
}

}  // namespace
