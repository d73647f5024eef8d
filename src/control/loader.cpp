// The run from start-up to exit code.
#include "control/loader.h"

#include <exception>

#include "control/cmdline.h"
#include "control/runend.h"
#include "control/termination.h"
#include "input/capture.h"
#include "input/wavfile.h"
#include "output/namedisplay.h"
#include "signal/pulsereader.h"
#include "signal/slicer.h"
#include "tape/blockreader.h"
#include "tape/marksearch.h"

namespace cmtgrab {

namespace {
constexpr const char* separator = "================================\n";
}

Loader::Loader(Console& console, Host& host, std::string directory)
    : console_(console), host_(host), output_(settings_, console, std::move(directory))
{
}

Loader::~Loader() = default;

int Loader::run(const std::vector<std::string>& args)
{
    try {
        load(args);
    } catch (const RunEnd& end) {
        if (end.report) host_.yieldcpu();
        console_.err(end.message);
        if (end.closeinput) closeinput(end.report);
        console_.flush();
        return end.exitcode;
    } catch (const std::exception& error) {
        // Not expected; still an orderly end rather than an abort.
        console_.errf("cmtgrab: %s\n", error.what());
        closeinput(false);
        console_.flush();
        return 1;
    }
    console_.flush();
    return 0;
}

void Loader::closeinput(bool report)
{
    if (!stream_) return;
    stream_->close();
    if (!report) return;
    static const int64_t nohistogram[runlength_slots] = {};
    console_.err(levelreport(stream_->low(), stream_->high(), slicer_ ? slicer_->bitlength() : nohistogram));
}

void Loader::openinput()
{
    if (!settings_.wavname.empty()) {
        wavfile_ = std::make_unique<WavFileStream>(settings_, console_);
        if (!wavfile_->openwav()) throw RunEnd{1, false, false, ""};
        stream_ = wavfile_.get();
        return;
    }
    device_ = host_.wavein();
    capture_ = std::make_unique<CaptureStream>(settings_, console_, host_, *device_);
    // A failed set-up releases nothing before the process ends.
    if (capture_->openwavein() != 0) throw RunEnd{1, false, false, ""};
    stream_ = capture_.get();
    if (capture_->start() != 0) throw RunEnd{1, false, true, ""};
}

void Loader::load(const std::vector<std::string>& args)
{
    settings_.codepage = host_.oemcodepage();
    readcmdline(args, settings_);

    if (settings_.tapefmt == tapefmt_x1) {
        if (settings_.verbose) console_.err("Header mode: X1\n");
        settings_.x1mode = true;
        settings_.headerlen = 32;
    } else if (settings_.tapefmt == tapefmt_carrysoft) {
        if (settings_.verbose) console_.err("Header mode: CARRY SOFT\n");
        settings_.headerlen = 32;
    } else {
        if (settings_.verbose) console_.err("Header mode: MZ\n");
        settings_.headerlen = 128;
    }

    openinput();

    slicer_ = std::make_unique<Slicer>(*stream_, console_, settings_.noise, settings_.level, settings_.bitdisp);
    PulseReader pulses(*slicer_, settings_.unittime, settings_.reverse);
    MarkSearch marks(pulses, console_, settings_.x1mode, settings_.verbose, settings_.dumpcode);
    BlockReader blocks(pulses, marks, *stream_, console_, settings_.stoperr, settings_.verbose, settings_.dumpcode);

    int headernumber = 0;
    int bodynumber = 0;
    int bodyindex = 0;
    for (;;) {
        if (settings_.verbose) console_.err(separator);
        HeaderValues header;
        if (settings_.qgiven) {
            output_.makeqheader();
            header = HeaderValues{settings_.qmode, settings_.qstart, settings_.qlen, settings_.qexec};
        } else {
            console_.err("Now Searching Header...\n");
            blocks.readblock(true, settings_.headerlen, output_.tapebuf());
            header = output_.headervalues();
        }
        showname(console_, output_.tapebuf() + TapeOutput::name_offset, settings_.tapefmt, settings_.codepage);
        console_.errf("mode:%02X start:%04X len:%04X exec:%04X\n", static_cast<unsigned>(header.mode),
                      static_cast<unsigned>(header.start), static_cast<unsigned>(header.len),
                      static_cast<unsigned>(header.exec));
        output_.writeheader(headernumber);
        const int nextheadernumber = headernumber + 1;
        if (settings_.verbose) console_.err("'header.dat' Created.\n");

        int32_t len = header.len;
        for (;;) {
            if (settings_.verbose) console_.err(separator);
            console_.err("Now Searching Body...\n");
            blocks.readblock(false, len, output_.tapebuf());
            if (settings_.verbose) console_.err(separator);
            output_.writebody(bodynumber, len);
            if (settings_.verbose) console_.err("'out.dat' Created.\n");
            if (settings_.mztwanted) output_.makeimage();
            ++bodynumber;
            if (bodyindex >= settings_.bodycount) throw RunEnd{0, false, true, ""};
            len = settings_.bodylens[static_cast<size_t>(bodyindex++)];
            if (len == 0) break;
        }
        headernumber = nextheadernumber;
    }
}

}  // namespace cmtgrab
