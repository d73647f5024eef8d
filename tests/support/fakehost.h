// Test support: a host with a fixed code page and no sound card, for runs in
// the test process (tests and fuzz targets alike).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/host.h"

namespace testsupport {

// Fails like a machine without a line input, at the first call.
class NoDevice : public cmtgrab::WaveIn {
public:
    unsigned numdevs() override { return 0; }
    int open(const cmtgrab::WaveFormat&) override { return 1; }
    int prepare(uint8_t*, uint32_t) override { return 1; }
    int addbuffer() override { return 1; }
    int start() override { return 1; }
    int position(uint32_t& bytes) override
    {
        bytes = 0;
        return 1;
    }
    int stop() override { return 0; }
    int unprepare() override { return 0; }
    int close() override { return 0; }
    std::string errortext(int) override { return "no device"; }
};

class FakeHost : public cmtgrab::Host {
public:
    explicit FakeHost(int32_t codepage = 437) : codepage_(codepage) {}
    int32_t oemcodepage() override { return codepage_; }
    void yieldcpu() override {}
    bool keypending() override { return false; }
    std::unique_ptr<cmtgrab::WaveIn> wavein() override { return std::make_unique<NoDevice>(); }

private:
    int32_t codepage_;
};

}  // namespace testsupport
