// WAV file opening and buffered sample reading.
#include "input/wavfile.h"

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "control/messages.h"
#include "control/runend.h"

namespace cmtgrab {

namespace {

bool seekforward(std::FILE* file, uint64_t count)
{
#ifdef _WIN32
    return _fseeki64(file, static_cast<int64_t>(count), SEEK_CUR) == 0;
#else
    return fseeko(file, static_cast<off_t>(count), SEEK_CUR) == 0;
#endif
}

int64_t tell(std::FILE* file)
{
#ifdef _WIN32
    return _ftelli64(file);
#else
    return static_cast<int64_t>(ftello(file));
#endif
}

uint16_t le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t le32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

}  // namespace

WavFileStream::WavFileStream(Settings& settings, Console& console) : settings_(settings), console_(console) {}

WavFileStream::~WavFileStream() { close(); }

bool WavFileStream::readbytes(void* to, size_t count) { return std::fread(to, 1, count, file_) == count; }

bool WavFileStream::skip(uint64_t count) { return count == 0 || seekforward(file_, count); }

bool WavFileStream::openwav()
{
    // A directory opens as a stream on some systems; it is no file to read.
    std::error_code error;
    if (!std::filesystem::is_directory(settings_.wavname, error)) file_ = std::fopen(settings_.wavname.c_str(), "rb");
    if (!file_) {
        console_.errf("Can't open file '%s'.\n", settings_.wavname.c_str());
        return false;
    }
    if (settings_.verbose) console_.errf("Open WAV file '%s'.\n", settings_.wavname.c_str());

    uint8_t head[8];
    if (!readbytes(head, 8) || std::memcmp(head, "RIFF", 4) != 0) {
        console_.err("This file is not RIFF format.\n");
        close();
        return false;
    }
    if (!readbytes(head, 4) || std::memcmp(head, "WAVE", 4) != 0) {
        console_.err("This file is not WAVE format.\n");
        close();
        return false;
    }
    // Running out of file before "data" is not a rejection: the first sample
    // read then meets the end of the file.
    while (readbytes(head, 8)) {
        uint32_t size = le32(head + 4);
        if (std::memcmp(head, "fmt ", 4) == 0) {
            readfmt(size);
            const uint16_t channels = le16(wfmt_.data() + 2);
            const uint32_t rate = le32(wfmt_.data() + 4);
            const uint16_t bits = le16(wfmt_.data() + 14);
            if (channels != 1) {
                console_.err(settings_.pick(messages::notmono_ja, messages::notmono_en));
                close();
                return false;
            }
            if (settings_.verbose) console_.errf("wfmt.wBitsPerSample=%d\n", bits);
            samplebits_ = bits;
            if (settings_.verbose) console_.errf("wfmt.nSamplesPerSec=%d\n", static_cast<int32_t>(rate));
            const bool knownrate = settings_.setratedefaults(rate);
            if (!knownrate) console_.err(settings_.pick(messages::badrate_ja, messages::badrate_en));
            settings_.applydefaults(console_);
            if (!knownrate) {
                close();
                return false;
            }
        } else if (std::memcmp(head, "data", 4) == 0) {
            break;
        } else {
            // RIFF pads a chunk of odd size with one byte.
            if (!skip(static_cast<uint64_t>(size) + (size & 1u))) break;
        }
    }
    width_bytes_ = samplebits_ == 16 ? 2 : samplebits_ == 24 ? 3 : 1;
    raw_.assign(block_samples * static_cast<size_t>(width_bytes_), 0);
    samples_.assign(block_samples, 0);
    blockpos_ = blockend_ = tell(file_);
    if (blockpos_ < 0) blockpos_ = blockend_ = 0;
    count_ = 0;
    emptywindow(samples_.data());
    return true;
}

void WavFileStream::readfmt(uint32_t size)
{
    // The record keeps its bytes between chunks: fields beyond a short chunk
    // keep what they held.
    size_t wanted = std::min<size_t>(size, wfmt_.size());
    size_t got = std::fread(wfmt_.data(), 1, wanted, file_);
    if (got == wanted) skip(static_cast<uint64_t>(size) - wanted + (size & 1u));
}

int64_t WavFileStream::position() const
{
    int64_t pos = blockpos_ + (cur_ - samples_.data()) * static_cast<int64_t>(width_bytes_);
    return std::min(pos, blockend_);
}

void WavFileStream::readblock()
{
    if (!file_) fatal("\nReached to end of file....\n");
    size_t got = std::fread(raw_.data(), 1, raw_.size(), file_);
    if (got == 0) fatal("\nReached to end of file....\n");
    // A sample cut short by the end of the file gets zeros for its missing bytes.
    size_t width = static_cast<size_t>(width_bytes_);
    size_t count = (got + width - 1) / width;
    std::fill(raw_.begin() + static_cast<std::ptrdiff_t>(got), raw_.begin() + static_cast<std::ptrdiff_t>(count * width), 0);
    const uint8_t* in = raw_.data();
    uint8_t* out = samples_.data();
    // The most significant byte, sign bit inverted: the lower bytes are dropped.
    switch (width_bytes_) {
    case 2:
        for (size_t i = 0; i < count; ++i) out[i] = in[2 * i + 1] ^ 0x80;
        break;
    case 3:
        for (size_t i = 0; i < count; ++i) out[i] = in[3 * i + 2] ^ 0x80;
        break;
    default:
        std::memcpy(out, in, count);
    }
    blockpos_ = blockend_;
    blockend_ += static_cast<int64_t>(got);
    count_ = count;
    cur_ = samples_.data();
}

void WavFileStream::fill()
{
    int64_t pos = position();
    if (pos > nextreport_) {
        nextreport_ = pos + report_step_bytes;
        console_.errf("Reading %lld \r", static_cast<long long>(nextreport_));
    }
    if (cur_ == samples_.data() + count_) readblock();
    // Stop the window before the first sample whose position passes the next
    // report point, so the line comes out between the right two samples.
    size_t index = static_cast<size_t>(cur_ - samples_.data());
    size_t end = count_;
    if (nextreport_ >= blockpos_) {
        int64_t due = (nextreport_ - blockpos_) / width_bytes_ + 1;
        if (static_cast<uint64_t>(due) < end) end = static_cast<size_t>(due);
    }
    if (end <= index) end = index + 1;
    lim_ = samples_.data() + end;
}

void WavFileStream::close()
{
    if (file_) {
        std::fclose(file_);
        file_ = nullptr;
    }
}

}  // namespace cmtgrab
