// Gap check, tape mark and tone end mark, with their verbose and dump lines.
#include "tape/marksearch.h"

namespace cmtgrab {

int MarkSearch::countrun(bool longpulses, int wanted)
{
    int count = 0;
    while (count < wanted) {
        if (pulses_.longpulse() != longpulses) break;
        ++count;
    }
    return count;
}

void MarkSearch::gapck()
{
    // MZ leaders are short pulses, X1 leaders long ones.
    const bool gaplong = x1mode_;
    for (;;) {
        int gap = countrun(gaplong, gap_pulses);
        if (dumpcode_ && gap > dump_min_count) console_.outf("[gap=%d]\n", gap);
        if (gap == gap_pulses) return;
    }
}

bool MarkSearch::tmark(int pulses)
{
    // MZ: long run then short run; X1 the other way round. tmark0 always
    // names the long run and tmark1 the short one.
    const bool firstlong = !x1mode_;
    int first = countrun(firstlong, pulses);
    if (dumpcode_ && first > dump_min_count) console_.outf(firstlong ? "[tmark0=%d]\n" : "[tmark1=%d]\n", first);
    if (first != pulses) return false;
    int second = countrun(!firstlong, pulses);
    if (dumpcode_ && second > dump_min_count) console_.outf(firstlong ? "[tmark1=%d]\n" : "[tmark0=%d]\n", second);
    return second == pulses;
}

void MarkSearch::seekmark(bool header)
{
    const int pulses = header ? header_tmark_pulses : body_tmark_pulses;
    const char* suffix = x1mode_ ? "(X1)" : "";
    if (verbose_) console_.errf("Start gapck%s\n", suffix);
    gapck();
    if (verbose_) console_.errf("Done gapck%s\nStart tmark%s\n", suffix, suffix);
    while (!tmark(pulses)) {
    }
    if (verbose_) console_.errf("Done tmark%s\n", suffix);
    if (dumpcode_) console_.out("[tone end mark]\n");
    pulses_.getpulse();
    if (dumpcode_) console_.out("[tone end mark end]\n");
}

}  // namespace cmtgrab
