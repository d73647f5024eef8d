// What the program needs of the operating system, behind one seam: the OEM
// code page, a zero-length sleep, a key-press test and the wave-input device.
// One .cpp per backend; CMake picks them, the pipeline never tests the platform.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace cmtgrab {

// The recording format record (the layout of the "fmt " chunk, 18 bytes).
struct WaveFormat {
    uint16_t wFormatTag = 0;
    uint16_t nChannels = 0;
    uint32_t nSamplesPerSec = 0;
    uint32_t nAvgBytesPerSec = 0;
    uint16_t nBlockAlign = 0;
    uint16_t wBitsPerSample = 0;
    uint16_t cbSize = 0;
};

// A wave-input device that records into one caller-owned buffer, from its
// first byte, in order, without gaps. Every call returns 0 on success or an
// error code that errortext() explains. Called per poll, never per sample.
class WaveIn {
public:
    virtual ~WaveIn() = default;
    // Number of input devices; 0 means there is none.
    virtual unsigned numdevs() = 0;
    // Opens the system's default device for the given format.
    virtual int open(const WaveFormat& format) = 0;
    // Hands the device the buffer it will fill.
    virtual int prepare(uint8_t* buffer, uint32_t size_bytes) = 0;
    // Queues the prepared buffer.
    virtual int addbuffer() = 0;
    // Starts recording.
    virtual int start() = 0;
    // Bytes recorded since the start. Every byte 4096 or more below the count
    // is already in the buffer; the count equals the buffer size when full.
    virtual int position(uint32_t& bytes) = 0;
    // Stops recording and hands the buffer back.
    virtual int stop() = 0;
    virtual int unprepare() = 0;
    virtual int close() = 0;
    // The system's description of an error code.
    virtual std::string errortext(int code) = 0;
};

class Host {
public:
    virtual ~Host() = default;
    // The OEM code page number; 932 selects the Japanese messages.
    virtual int32_t oemcodepage() = 0;
    // Gives up the rest of the time slice.
    virtual void yieldcpu() = 0;
    // True when a key press is waiting; the key is not consumed.
    virtual bool keypending() = 0;
    // The wave-input device of this system.
    virtual std::unique_ptr<WaveIn> wavein() = 0;
};

// The host the program runs on.
std::unique_ptr<Host> systemhost();

// The platform's wave-input backend (one per system, chosen at build time).
std::unique_ptr<WaveIn> systemwavein();

// Makes standard output and the error stream pass bytes unchanged (no newline
// translation); call once at start, before anything is written.
void setbinaryoutput();

}  // namespace cmtgrab
