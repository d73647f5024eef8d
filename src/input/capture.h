// The line-in capture source: records 48 kHz 16-bit mono into one buffer and hands out samples 4096 bytes behind the device.
#pragma once

#include "control/console.h"
#include "control/settings.h"
#include "input/samplestream.h"
#include "platform/host.h"

#include <array>
#include <cstdint>
#include <memory>

namespace cmtgrab {

class CaptureStream : public SampleStream {
public:
    // The reader stays this far behind the recorded count: bytes that close to
    // it may still be in the driver's hands.
    static constexpr int64_t distance_bytes = 4096;
    // "Reading %02X\r" under -v each time the read offset reaches a multiple of this.
    static constexpr int64_t report_bytes = 16384;
    static constexpr int64_t sample_bytes = 2;  // 16-bit mono
    // Samples converted per window; a fixed array, so filling never allocates.
    static constexpr size_t window_samples = 4096;

    CaptureStream(Settings& settings, Console& console, Host& host, WaveIn& device);
    ~CaptureStream() override;
    CaptureStream(const CaptureStream&) = delete;
    CaptureStream& operator=(const CaptureStream&) = delete;

    // Allocates the buffer, opens the device, prepares and queues the buffer
    // (recording not started), and sets the decoding defaults unittime and
    // noise. Returns 0, or 1 after printing why not.
    int openwavein();

    // Starts the recording. On failure prints the device's text for the error
    // and returns non-zero; the caller then closes the input.
    int start();

    // The offset in the capture buffer of the next sample (capread).
    int64_t position() const override;

    // Stops and closes the device, then frees the buffer. A second call, or a
    // call after a failed openwavein, releases only what is left.
    void close() override;

protected:
    // Waits until the next sample lies 4096 bytes below the recorded count
    // (ending the run when the buffer is full or a key is pressed), then hands
    // out every sample that far behind.
    void fill() override;

private:
    void waveinerror(int code);
    uint8_t sampleat(int64_t offset_bytes) const { return static_cast<uint8_t>(buffer_[offset_bytes + 1] ^ 0x80); }

    Settings& settings_;
    Console& console_;
    Host& host_;
    WaveIn& device_;

    std::unique_ptr<uint8_t[]> buffer_;  // capbuf, settings.bufsize bytes
    bool deviceopen_ = false;
    int64_t capread_ = 0;         // offset of the first sample of the current window
    int64_t capwritten_ = 0;      // recorded bytes as last polled; -1 until the first poll
    std::array<uint8_t, window_samples> window_{};
};

}  // namespace cmtgrab
