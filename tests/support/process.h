// Test support: runs a built program as a process in a directory of its own
// and captures its exact output bytes and exit code.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

struct ProcessResult {
    int exitcode = -1;
    std::string out;  // standard output bytes
    std::string err;  // error stream bytes
};

// Runs `program` with `args` in `directory`, standard input from /dev/null.
// `env` entries ("NAME=value") are added to the environment.
ProcessResult runprocess(const std::string& program, const std::vector<std::string>& args,
                         const std::string& directory, const std::vector<std::string>& env = {});

// A fresh empty directory, removed with its contents when the object dies.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

std::string readfile(const std::string& path);
std::vector<uint8_t> readbytes(const std::string& path);
void writefile(const std::string& path, const std::string& bytes);
void writefile(const std::string& path, const std::vector<uint8_t>& bytes);
bool exists(const std::string& path);
// Sorted names of the files in a directory.
std::vector<std::string> listdir(const std::string& path);

}  // namespace testsupport
