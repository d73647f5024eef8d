// The line-in capture source: device set-up, the wait for recorded data, sample conversion and the close sequence.
#include "input/capture.h"

#include "control/messages.h"
#include "control/runend.h"

#include <algorithm>
#include <new>

namespace cmtgrab {

namespace {

// The recording format: 48000 Hz, 16 bits, mono, integer PCM.
constexpr uint32_t capture_rate_hz = 48000;
constexpr uint16_t capture_bits = 16;
constexpr uint16_t format_pcm = 1;

}  // namespace

CaptureStream::CaptureStream(Settings& settings, Console& console, Host& host, WaveIn& device)
    : settings_(settings), console_(console), host_(host), device_(device)
{
}

// The device must be stopped before the buffer it writes into goes away.
CaptureStream::~CaptureStream()
{
    close();
}

int CaptureStream::openwavein()
{
    buffer_.reset(new (std::nothrow) uint8_t[static_cast<size_t>(settings_.bufsize)]);
    if (!buffer_) {
        console_.err(settings_.pick(messages::outofmemory_ja, messages::outofmemory_en));
        return 1;
    }
    if (device_.numdevs() == 0) {
        console_.err(settings_.pick(messages::nodevice_ja, messages::nodevice_en));
        return 1;
    }

    WaveFormat format;
    format.wFormatTag = format_pcm;
    format.nChannels = 1;
    format.nSamplesPerSec = capture_rate_hz;
    format.nAvgBytesPerSec = capture_rate_hz * static_cast<uint32_t>(sample_bytes);
    format.nBlockAlign = static_cast<uint16_t>(sample_bytes);
    format.wBitsPerSample = capture_bits;
    format.cbSize = 0;
    int result = device_.open(format);
    if (result != 0) {
        waveinerror(result);
        return 1;
    }
    deviceopen_ = true;

    result = device_.prepare(buffer_.get(), static_cast<uint32_t>(settings_.bufsize));
    if (result != 0) {
        waveinerror(result);
        return 1;
    }
    result = device_.addbuffer();
    if (result != 0) {
        waveinerror(result);
        return 1;
    }
    capwritten_ = -1;  // no position known yet: the first request polls

    settings_.setratedefaults(capture_rate_hz);
    settings_.applydefaults(console_);
    return 0;
}

int CaptureStream::start()
{
    int result = device_.start();
    if (result != 0) waveinerror(result);
    return result;
}

int64_t CaptureStream::position() const
{
    // capread_ lies past the window; the samples not yet taken from it are
    // still ahead of the reader.
    return capread_ - sample_bytes * (lim_ - cur_);
}

void CaptureStream::close()
{
    if (deviceopen_) {
        deviceopen_ = false;
        device_.stop();
        device_.unprepare();
        device_.close();
    }
    buffer_.reset();
}

void CaptureStream::fill()
{
    // The window is used up, so capread_ is the offset of the next sample.
    while (capwritten_ < capread_ + distance_bytes) {
        uint32_t recorded_bytes = 0;
        device_.position(recorded_bytes);  // result not examined: the count is all the wait needs
        capwritten_ = recorded_bytes;
        // What was recorded before the buffer filled is still decoded: the
        // run ends only when the next sample lies too close to its end.
        if (capwritten_ >= settings_.bufsize && capwritten_ < capread_ + distance_bytes)
            fatal("\nWAV Buffer Full!\n");
        if (host_.keypending()) fatal("\nAbort...\n");
        host_.yieldcpu();
    }

    // Every sample whose offset lies 4096 bytes or more below the count.
    int64_t ready_samples = (capwritten_ - distance_bytes - capread_) / sample_bytes + 1;
    int64_t count = std::min<int64_t>(ready_samples, static_cast<int64_t>(window_.size()));
    if (settings_.verbose) {
        // The progress line belongs right before the sample that brings the
        // read offset to a multiple of 16384: that sample opens a window, and
        // the window before it ends just short of it.
        if ((capread_ + sample_bytes) % report_bytes == 0) console_.errf("Reading %02X\r", sampleat(capread_));
        int64_t nextreport = ((capread_ + sample_bytes) / report_bytes + 1) * report_bytes - sample_bytes;
        count = std::min(count, (nextreport - capread_) / sample_bytes);
    }

    for (int64_t i = 0; i < count; ++i) window_[static_cast<size_t>(i)] = sampleat(capread_ + i * sample_bytes);
    cur_ = window_.data();
    lim_ = window_.data() + count;
    capread_ += count * sample_bytes;
}

void CaptureStream::waveinerror(int code)
{
    console_.err(device_.errortext(code));
}

}  // namespace cmtgrab
