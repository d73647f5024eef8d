// Test support: process runner and scratch directories.
#include "support/process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

extern char** environ;

namespace testsupport {

ProcessResult runprocess(const std::string& program, const std::vector<std::string>& args,
                         const std::string& directory, const std::vector<std::string>& env)
{
    TempDir capture;
    const std::string outpath = capture.file("stdout");
    const std::string errpath = capture.file("stderr");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outpath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, errpath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);

    // posix_spawn has no working-directory action in glibc 2.36's portable
    // API, so a tiny shell-free trampoline: spawn through `env -C`.
    std::vector<std::string> argv = {"/usr/bin/env", "-C", directory};
    for (const std::string& e : env) argv.push_back(e);
    argv.push_back(program);
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> cargs;
    for (std::string& a : argv) cargs.push_back(a.data());
    cargs.push_back(nullptr);

    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0].c_str(), &actions, nullptr, cargs.data(), environ) != 0)
        throw std::runtime_error("cannot start " + program);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    waitpid(pid, &status, 0);
    ProcessResult result;
    result.exitcode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.out = readfile(outpath);
    result.err = readfile(errpath);
    return result;
}

TempDir::TempDir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "cmtgrab-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir()
{
    std::error_code error;
    // Tests may have taken write permission away; give it back before removal.
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, error);
    std::filesystem::remove_all(path_, error);
}

std::string readfile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<uint8_t> readbytes(const std::string& path)
{
    std::string s = readfile(path);
    return std::vector<uint8_t>(s.begin(), s.end());
}

void writefile(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void writefile(const std::string& path, const std::vector<uint8_t>& bytes)
{
    writefile(path, std::string(bytes.begin(), bytes.end()));
}

bool exists(const std::string& path) { return std::filesystem::exists(path); }

std::vector<std::string> listdir(const std::string& path)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace testsupport
