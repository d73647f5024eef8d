// Wave input through ALSA: the "default" capture device recorded into the caller's buffer by a thread of its own.
#include "platform/host.h"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <system_error>
#include <thread>

namespace cmtgrab {

namespace {

constexpr const char* capture_device = "default";
// Hardware latency asked of ALSA; the reader stays 4096 bytes (43 ms at 48 kHz,
// 16 bits) behind the count anyway, so a coarse setting costs nothing.
constexpr unsigned latency_us = 100000;
// Frames asked for per read; small enough that the published count grows in
// steps well below the reader's 4096-byte distance.
constexpr snd_pcm_uframes_t read_frames = 1024;
// How long a wait for data may block before the stop request is looked at.
constexpr int wait_timeout_ms = 100;

// libasound reports failures on stderr by default; the program prints its own
// messages, so the library's are dropped.
void quietalsa(const char*, int, const char*, int, const char*, ...) {}

void silencelibrary()
{
    snd_lib_error_set_handler(quietalsa);
}

snd_pcm_format_t pcmformat(const WaveFormat& format)
{
    if (format.wFormatTag != 1) return SND_PCM_FORMAT_UNKNOWN;  // integer PCM only
    switch (format.wBitsPerSample) {
    case 8: return SND_PCM_FORMAT_U8;
    case 16: return SND_PCM_FORMAT_S16_LE;
    case 24: return SND_PCM_FORMAT_S24_3LE;
    case 32: return SND_PCM_FORMAT_S32_LE;
    default: return SND_PCM_FORMAT_UNKNOWN;
    }
}

class AlsaWaveIn final : public WaveIn {
public:
    ~AlsaWaveIn() override
    {
        stoprecording();
        if (pcm_ != nullptr) snd_pcm_close(pcm_);
    }

    unsigned numdevs() override
    {
        silencelibrary();
        snd_pcm_t* probe = nullptr;
        // Non-blocking, so a device held by another program does not hang the probe.
        if (snd_pcm_open(&probe, capture_device, SND_PCM_STREAM_CAPTURE, SND_PCM_NONBLOCK) < 0) return 0;
        snd_pcm_close(probe);
        return 1;
    }

    int open(const WaveFormat& format) override
    {
        if (pcm_ != nullptr) return -EBUSY;
        snd_pcm_format_t sampleformat = pcmformat(format);
        if (sampleformat == SND_PCM_FORMAT_UNKNOWN || format.nChannels == 0 || format.nSamplesPerSec == 0 ||
            format.nBlockAlign == 0) {
            return -EINVAL;
        }
        silencelibrary();
        // Non-blocking: the recording thread waits with a timeout of its own
        // so that stop() is never held up by a silent device.
        int result = snd_pcm_open(&pcm_, capture_device, SND_PCM_STREAM_CAPTURE, SND_PCM_NONBLOCK);
        if (result < 0) {
            pcm_ = nullptr;
            return result;
        }
        result = snd_pcm_set_params(pcm_, sampleformat, SND_PCM_ACCESS_RW_INTERLEAVED, format.nChannels,
                                    format.nSamplesPerSec, 1, latency_us);
        if (result < 0) {
            snd_pcm_close(pcm_);
            pcm_ = nullptr;
            return result;
        }
        frame_bytes_ = format.nBlockAlign;
        return 0;
    }

    int prepare(uint8_t* buffer, uint32_t size_bytes) override
    {
        if (pcm_ == nullptr) return -EBADFD;
        if (buffer == nullptr || size_bytes == 0) return -EINVAL;
        if (recorder_.joinable()) return -EBUSY;
        buffer_ = buffer;
        buffer_bytes_ = size_bytes;
        queued_ = false;
        recorded_bytes_.store(0, std::memory_order_relaxed);
        return 0;
    }

    int addbuffer() override
    {
        if (buffer_ == nullptr) return -EINVAL;
        queued_ = true;
        return 0;
    }

    int start() override
    {
        if (pcm_ == nullptr || !queued_) return -EBADFD;
        if (recorder_.joinable()) return -EBUSY;
        int result = snd_pcm_start(pcm_);
        if (result < 0) return result;
        failure_.store(0, std::memory_order_relaxed);
        stopping_.store(false, std::memory_order_relaxed);
        try {
            recorder_ = std::thread([this] { record(); });
        } catch (const std::system_error& e) {
            snd_pcm_drop(pcm_);
            return e.code().value() > 0 ? -e.code().value() : -EAGAIN;
        }
        return 0;
    }

    int position(uint32_t& bytes) override
    {
        // Acquire pairs with the recorder's release: every byte below the
        // count is in the buffer, more than the 4096-byte distance promises.
        bytes = recorded_bytes_.load(std::memory_order_acquire);
        return failure_.load(std::memory_order_relaxed);
    }

    int stop() override
    {
        if (pcm_ == nullptr) return -EBADFD;
        stoprecording();
        snd_pcm_drop(pcm_);
        return 0;
    }

    int unprepare() override
    {
        // The caller frees the buffer next: nothing may write to it any more.
        stoprecording();
        buffer_ = nullptr;
        buffer_bytes_ = 0;
        queued_ = false;
        return 0;
    }

    int close() override
    {
        if (pcm_ == nullptr) return -EBADFD;
        stoprecording();
        int result = snd_pcm_close(pcm_);
        pcm_ = nullptr;
        buffer_ = nullptr;
        queued_ = false;
        return result;
    }

    std::string errortext(int code) override
    {
        return snd_strerror(code);
    }

private:
    // The recording thread: fills the buffer from its first byte, in order,
    // and publishes the count only after the bytes are written. It ends when
    // the buffer is full, when asked to, or on an error ALSA cannot recover from.
    void record()
    {
        uint32_t written_bytes = 0;
        while (!stopping_.load(std::memory_order_relaxed) && written_bytes < buffer_bytes_) {
            snd_pcm_uframes_t room_frames = (buffer_bytes_ - written_bytes) / frame_bytes_;
            if (room_frames == 0) {
                // A tail shorter than one frame: no device data fits; it is
                // zeroed so that "full" still means every byte was written.
                std::memset(buffer_ + written_bytes, 0, buffer_bytes_ - written_bytes);
                written_bytes = buffer_bytes_;
                recorded_bytes_.store(written_bytes, std::memory_order_release);
                break;
            }
            snd_pcm_sframes_t got_frames =
                snd_pcm_readi(pcm_, buffer_ + written_bytes, std::min(room_frames, read_frames));
            if (got_frames == -EAGAIN) {
                int ready = snd_pcm_wait(pcm_, wait_timeout_ms);
                if (ready >= 0) continue;
                got_frames = ready;
            }
            if (got_frames < 0) {
                // Overruns and suspends restart the stream; the lost audio
                // leaves no gap in the buffer, the recording just goes on.
                int result = snd_pcm_recover(pcm_, static_cast<int>(got_frames), 1);
                if (result < 0) {
                    failure_.store(result, std::memory_order_relaxed);
                    break;
                }
                continue;
            }
            written_bytes += static_cast<uint32_t>(got_frames) * frame_bytes_;
            recorded_bytes_.store(written_bytes, std::memory_order_release);
        }
    }

    void stoprecording()
    {
        if (!recorder_.joinable()) return;
        stopping_.store(true, std::memory_order_relaxed);
        recorder_.join();
    }

    snd_pcm_t* pcm_ = nullptr;
    uint32_t frame_bytes_ = 0;
    uint8_t* buffer_ = nullptr;
    uint32_t buffer_bytes_ = 0;
    bool queued_ = false;
    std::thread recorder_;
    std::atomic<uint32_t> recorded_bytes_{0};
    std::atomic<bool> stopping_{false};
    std::atomic<int> failure_{0};
};

}  // namespace

std::unique_ptr<WaveIn> systemwavein()
{
    return std::make_unique<AlsaWaveIn>();
}

}  // namespace cmtgrab
