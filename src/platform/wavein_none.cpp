// Wave input on a system built without an audio library: no device, so only WAV files can be loaded.
#include "platform/host.h"

#include <cerrno>
#include <cstring>

namespace cmtgrab {

namespace {

// numdevs() reports no device, so the capture source stops before any other
// call; the rest answer "no such device" in case one comes anyway.
class NoWaveIn final : public WaveIn {
public:
    unsigned numdevs() override { return 0; }
    int open(const WaveFormat&) override { return ENODEV; }
    int prepare(uint8_t*, uint32_t) override { return ENODEV; }
    int addbuffer() override { return ENODEV; }
    int start() override { return ENODEV; }
    int position(uint32_t& bytes) override
    {
        bytes = 0;
        return ENODEV;
    }
    int stop() override { return ENODEV; }
    int unprepare() override { return ENODEV; }
    int close() override { return ENODEV; }
    std::string errortext(int code) override { return std::strerror(code); }
};

}  // namespace

std::unique_ptr<WaveIn> systemwavein()
{
    return std::make_unique<NoWaveIn>();
}

}  // namespace cmtgrab
