// cmtgen: writes tape images as cassette audio for Sharp MZ and X1 machines.
#include <cstdio>
#include <exception>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "cli.h"
#include "encoder.h"
#include "image.h"

namespace {

std::vector<uint8_t> readfile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot open '" + path + "'");
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) throw std::runtime_error("cannot read '" + path + "'");
  return bytes;
}

void writefile(const std::string& path, const std::vector<uint8_t>& bytes) {
  const auto* data = reinterpret_cast<const char*>(bytes.data());
  const auto size = static_cast<std::streamsize>(bytes.size());
  if (path == "-") {
    std::cout.write(data, size);
    std::cout.flush();
    if (!std::cout) throw std::runtime_error("cannot write to standard output");
    return;
  }
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) throw std::runtime_error("cannot create '" + path + "'");
  out.write(data, size);
  out.close();
  if (!out) throw std::runtime_error("cannot write '" + path + "'");
}

int run(const std::vector<std::string>& args) {
  const cmtgen::Command cmd = cmtgen::parsecommand(args);
  if (cmd.help) {
    std::cout << cmtgen::usage();
    return 0;
  }
  std::vector<cmtgen::TapeFile> files;
  if (cmd.fromvalues) {
    files.push_back(cmtgen::makefile(cmd.mode, cmd.start, cmd.exec, cmd.name, readfile(cmd.inputs[0])));
  } else {
    for (const std::string& path : cmd.inputs) {
      const std::vector<uint8_t> image = readfile(path);
      try {
        for (auto& file : cmtgen::splitimage(image)) files.push_back(std::move(file));
      } catch (const std::runtime_error& e) {
        throw std::runtime_error(path + ": " + e.what());
      }
    }
  }
  writefile(cmd.output, cmtgen::encode(files, cmd.options));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return run(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const cmtgen::UsageError& e) {
    std::cerr << "cmtgen: " << e.what() << '\n';
  } catch (const std::exception& e) {
    std::cerr << "cmtgen: " << e.what() << '\n';
  }
  return 1;
}
