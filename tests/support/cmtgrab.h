// Test support: running cmtgrab, as a process or in-process with a fake host.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "support/fakehost.h"
#include "support/process.h"

namespace testsupport {

// Runs the built cmtgrab in `directory`.
ProcessResult cmtgrab(const std::vector<std::string>& args, const std::string& directory);

// One whole run in this process; output files go to `directory`.
ProcessResult runinprocess(const std::vector<std::string>& args, const std::string& directory, int32_t codepage = 437);

// The level report for a run that read nothing.
std::string emptyreport();

}  // namespace testsupport
