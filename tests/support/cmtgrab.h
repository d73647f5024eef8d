// Test support: running cmtgrab, as a process or in-process with a fake host.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/host.h"
#include "support/process.h"

namespace testsupport {

// Runs the built cmtgrab in `directory`.
ProcessResult cmtgrab(const std::vector<std::string>& args, const std::string& directory);

// A host with a fixed code page and no sound card.
class FakeHost : public cmtgrab::Host {
public:
    explicit FakeHost(int32_t codepage = 437) : codepage_(codepage) {}
    int32_t oemcodepage() override { return codepage_; }
    void yieldcpu() override {}
    bool keypending() override { return false; }
    std::unique_ptr<cmtgrab::WaveIn> wavein() override;

private:
    int32_t codepage_;
};

// One whole run in this process; output files go to `directory`.
ProcessResult runinprocess(const std::vector<std::string>& args, const std::string& directory, int32_t codepage = 437);

// The level report for a run that read nothing.
std::string emptyreport();

}  // namespace testsupport
