// Test support: UTF-8 text to Shift-JIS (code page 932) bytes through the C
// library's converter, an independent check of the program's built-in bytes.
#pragma once

#include <string>

namespace testsupport {

std::string sjis(const std::string& utf8);

}  // namespace testsupport
