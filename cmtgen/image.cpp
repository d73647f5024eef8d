// Tape files: splitting a tape image into header/body pairs and making a header from values.
#include "image.h"

#include <stdexcept>

namespace cmtgen {

namespace {

constexpr std::size_t name_offset = 1;
constexpr std::size_t name_bytes = 17;
constexpr std::size_t length_offset = 18;
constexpr std::size_t start_offset = 20;
constexpr std::size_t exec_offset = 22;
constexpr uint8_t name_end = 0x0D;  // carriage return ends a name on tape

void put16(std::vector<uint8_t>& record, std::size_t offset, uint16_t value) {
  record[offset] = static_cast<uint8_t>(value & 0xFF);
  record[offset + 1] = static_cast<uint8_t>(value >> 8);
}

}  // namespace

uint16_t bodylength(const std::vector<uint8_t>& header) {
  if (header.size() < length_offset + 2) throw std::invalid_argument("header record too short");
  return static_cast<uint16_t>(header[length_offset] | (header[length_offset + 1] << 8));
}

std::vector<TapeFile> splitimage(const std::vector<uint8_t>& image) {
  if (image.empty()) throw std::runtime_error("image is empty");
  std::vector<TapeFile> files;
  std::size_t offset_bytes = 0;
  while (offset_bytes < image.size()) {
    const std::size_t left_bytes = image.size() - offset_bytes;
    if (left_bytes < headerrecord_bytes) {
      throw std::runtime_error("image ends inside the header record of tape file " +
                               std::to_string(files.size()) + " (" + std::to_string(left_bytes) +
                               " of 128 bytes)");
    }
    TapeFile file;
    const auto first = image.begin() + static_cast<std::ptrdiff_t>(offset_bytes);
    file.header.assign(first, first + headerrecord_bytes);
    const std::size_t body_bytes = bodylength(file.header);
    if (left_bytes - headerrecord_bytes < body_bytes) {
      throw std::runtime_error("image shorter than its header says: tape file " +
                               std::to_string(files.size()) + " wants " +
                               std::to_string(body_bytes) + " body bytes, " +
                               std::to_string(left_bytes - headerrecord_bytes) + " are left");
    }
    const auto body = first + headerrecord_bytes;
    file.body.assign(body, body + static_cast<std::ptrdiff_t>(body_bytes));
    files.push_back(std::move(file));
    offset_bytes += headerrecord_bytes + body_bytes;
  }
  return files;
}

TapeFile makefile(uint8_t mode, uint16_t start, uint16_t exec, const std::string& name,
                  std::vector<uint8_t> body) {
  if (name.size() > name_bytes) {
    throw std::invalid_argument("name longer than 17 bytes: " + name);
  }
  if (body.size() > 0xFFFF) {
    throw std::invalid_argument("body longer than 65535 bytes");
  }
  TapeFile file;
  file.header.assign(headerrecord_bytes, 0);
  file.header[0] = mode;
  for (std::size_t i = 0; i < name_bytes; ++i) {
    file.header[name_offset + i] = i < name.size() ? static_cast<uint8_t>(name[i]) : name_end;
  }
  put16(file.header, length_offset, static_cast<uint16_t>(body.size()));
  put16(file.header, start_offset, start);
  put16(file.header, exec_offset, exec);
  file.body = std::move(body);
  return file;
}

}  // namespace cmtgen
