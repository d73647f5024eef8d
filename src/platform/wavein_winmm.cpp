// Wave input through the Windows multimedia interface: one prepared buffer, filled by the driver, position polled.
#include "platform/host.h"

#include <windows.h>
#include <mmsystem.h>

#include <algorithm>

namespace cmtgrab {

namespace {

// Room for waveInGetErrorTextA's description, in characters.
constexpr UINT errortext_chars = 256;

class WinmmWaveIn final : public WaveIn {
public:
    ~WinmmWaveIn() override
    {
        if (handle_ != nullptr) {
            stop();
            unprepare();
            close();
        }
    }

    unsigned numdevs() override { return waveInGetNumDevs(); }

    int open(const WaveFormat& format) override
    {
        WAVEFORMATEX record{};
        record.wFormatTag = format.wFormatTag;
        record.nChannels = format.nChannels;
        record.nSamplesPerSec = format.nSamplesPerSec;
        record.nAvgBytesPerSec = format.nAvgBytesPerSec;
        record.nBlockAlign = format.nBlockAlign;
        record.wBitsPerSample = format.wBitsPerSample;
        record.cbSize = format.cbSize;
        block_align_bytes_ = format.nBlockAlign;
        // WAVE_MAPPER lets the system pick a device that records this format;
        // no callback: the position is polled.
        return static_cast<int>(waveInOpen(&handle_, WAVE_MAPPER, &record, 0, 0, CALLBACK_NULL));
    }

    int prepare(uint8_t* buffer, uint32_t size_bytes) override
    {
        header_ = WAVEHDR{};
        header_.lpData = reinterpret_cast<LPSTR>(buffer);
        header_.dwBufferLength = size_bytes;
        header_.dwFlags = 0;
        header_.dwLoops = 1;
        return static_cast<int>(waveInPrepareHeader(handle_, &header_, sizeof header_));
    }

    int addbuffer() override { return static_cast<int>(waveInAddBuffer(handle_, &header_, sizeof header_)); }

    int start() override { return static_cast<int>(waveInStart(handle_)); }

    int position(uint32_t& bytes) override
    {
        MMTIME time{};
        time.wType = TIME_BYTES;
        MMRESULT result = waveInGetPosition(handle_, &time, sizeof time);
        // A driver without byte positions answers in another unit and says so.
        DWORD count = time.wType == TIME_SAMPLES ? time.u.sample * block_align_bytes_ : time.u.cb;
        // Past the end of the one buffer the driver records nothing more.
        bytes = std::min<DWORD>(count, header_.dwBufferLength);
        return static_cast<int>(result);
    }

    int stop() override
    {
        MMRESULT result = waveInStop(handle_);
        // waveInStop leaves a buffer that was queued but never started in the
        // queue; the reset hands it back so that it can be unprepared and freed.
        waveInReset(handle_);
        return static_cast<int>(result);
    }

    int unprepare() override { return static_cast<int>(waveInUnprepareHeader(handle_, &header_, sizeof header_)); }

    int close() override
    {
        MMRESULT result = waveInClose(handle_);
        if (result == MMSYSERR_NOERROR) handle_ = nullptr;
        return static_cast<int>(result);
    }

    std::string errortext(int code) override
    {
        char text[errortext_chars] = {};
        if (waveInGetErrorTextA(static_cast<MMRESULT>(code), text, errortext_chars) != MMSYSERR_NOERROR) {
            return "Wave input error " + std::to_string(code) + ".\n";
        }
        return text;
    }

private:
    HWAVEIN handle_ = nullptr;
    WAVEHDR header_{};
    DWORD block_align_bytes_ = 0;
};

}  // namespace

std::unique_ptr<WaveIn> systemwavein()
{
    return std::make_unique<WinmmWaveIn>();
}

}  // namespace cmtgrab
