// Header record, output files and tape image. The image is joined here, not by
// a shell, so its name is never interpreted.
#include "output/tapeoutput.h"

#include <cstdio>
#include <initializer_list>
#include <utility>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "control/runend.h"

namespace cmtgrab {

namespace {

bool readwhole(const std::filesystem::path& file, std::vector<uint8_t>& bytes)
{
    std::ifstream in(file, std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

enum class Saved { ok, notopened, failed };

// Writes the pieces, one after another, into a new file.
Saved save(const std::string& file, std::initializer_list<std::pair<const uint8_t*, size_t>> pieces)
{
    std::FILE* out = std::fopen(file.c_str(), "wb");
    if (!out) return Saved::notopened;
    bool good = true;
    // An empty piece may have no storage to point at; fwrite must not see it.
    for (const auto& [data, len] : pieces) good = good && (len == 0 || std::fwrite(data, 1, len, out) == len);
    // A full disk often shows only when the buffer is flushed, and some C
    // libraries do not report it from fclose: flush and ask explicitly.
    good = good && std::fflush(out) == 0 && !std::ferror(out);
    good = std::fclose(out) == 0 && good;
    return good ? Saved::ok : Saved::failed;
}

}  // namespace

TapeOutput::TapeOutput(Settings& settings, Console& console, std::string directory)
    : settings_(settings), console_(console), directory_(std::move(directory))
{
}

std::string TapeOutput::headername(int number)
{
    return number == 0 ? std::string("header.dat") : format("header%d.dat", number);
}

std::string TapeOutput::bodyname(int number)
{
    return number == 0 ? std::string("out.dat") : format("out%d.dat", number);
}

std::string TapeOutput::path(const std::string& name) const
{
    if (directory_.empty()) return name;
    return (std::filesystem::path(directory_) / name).string();
}

void TapeOutput::makeqheader()
{
    const std::string& name = settings_.qname;
    // The name field takes 16 characters and a 0x0D; shorter names are padded
    // with zeros up to offset 16.
    for (size_t i = 0; i < 16; ++i) tapebuf_[name_offset + i] = i < name.size() ? static_cast<uint8_t>(name[i]) : 0;
    if (name.size() < 16) {
        tapebuf_[name_offset + name.size()] = 0x0D;
        tapebuf_[name_offset + name.size() + 1] = 0;
    } else {
        tapebuf_[17] = 0x0D;
    }
    tapebuf_[0] = static_cast<uint8_t>(settings_.qmode);
    const int32_t words[3] = {settings_.qlen, settings_.qstart, settings_.qexec};
    for (size_t i = 0; i < 3; ++i) {
        tapebuf_[18 + 2 * i] = static_cast<uint8_t>(words[i]);
        tapebuf_[19 + 2 * i] = static_cast<uint8_t>(words[i] >> 8);
    }
}

HeaderValues TapeOutput::headervalues() const
{
    auto word = [this](size_t at) { return static_cast<int32_t>(tapebuf_[at] | tapebuf_[at + 1] << 8); };
    return HeaderValues{tapebuf_[0], word(20), word(18), word(22)};
}

void TapeOutput::writefile(const std::string& name, const uint8_t* data, size_t len)
{
    switch (save(path(name), {{data, len}})) {
    case Saved::ok:
        return;
    case Saved::notopened:
        fatal("Couldn't open output file.\n");
    case Saved::failed:
        fatal(format("Couldn't write output file '%s'.\n", name.c_str()));
    }
}

void TapeOutput::writeheader(int number) { writefile(headername(number), tapebuf_.data(), header_bytes); }

void TapeOutput::writebody(int number, int32_t len)
{
    writefile(bodyname(number), tapebuf_.data(), static_cast<size_t>(len));
}

void TapeOutput::makeimage()
{
    if (settings_.mztname.empty()) settings_.mztname = "output.mzt";
    const std::string& image = settings_.mztname;
    console_.errf("copy /b header.dat+out.dat %s\n", image.c_str());

    // Later bodies find header.dat and out.dat gone: the image made from the
    // first pair stays as it is.
    std::vector<uint8_t> header, body;
    if (!readwhole(path("header.dat"), header) || !readwhole(path("out.dat"), body)) return;

    // Written beside the image and renamed over it, so a failed write never
    // leaves a cut image or destroys an older one.
    const std::filesystem::path target = path(image);
    std::filesystem::path partial = target;
    partial += ".partial";
    const bool good = save(partial.string(), {{header.data(), header.size()}, {body.data(), body.size()}}) == Saved::ok;
    std::error_code error;
    if (good) std::filesystem::rename(partial, target, error);
    if (!good || error) {
        std::filesystem::remove(partial, error);
        fatal(format("Couldn't write tape image '%s'; header.dat and out.dat are kept.\n", image.c_str()));
    }
    std::filesystem::remove(path("header.dat"), error);
    std::filesystem::remove(path("out.dat"), error);
}

}  // namespace cmtgrab
