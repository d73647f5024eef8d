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

constexpr size_t wfmt_bytes = 18;  // the format record's size; longer chunks are cut

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
    bool ended = false;
    while (!ended) {
        if (!readbytes(head, 8)) break;
        uint32_t size = le32(head + 4);
        if (std::memcmp(head, "fmt ", 4) == 0) {
            readfmt(size);
            if (wfmt_.nChannels != 1) {
                console_.err(settings_.pick(messages::notmono_ja, messages::notmono_en));
                close();
                return false;
            }
            if (settings_.verbose) console_.errf("wfmt.wBitsPerSample=%d\n", wfmt_.wBitsPerSample);
            samplebits_ = wfmt_.wBitsPerSample;
            if (settings_.verbose) console_.errf("wfmt.nSamplesPerSec=%d\n", static_cast<int32_t>(wfmt_.nSamplesPerSec));
            bool x1 = settings_.tapefmt == tapefmt_x1;
            bool knownrate = true;
            switch (wfmt_.nSamplesPerSec) {
            case 22050:
                settings_.unittime = x1 ? 3 : 7;
                settings_.noise = x1 ? 0 : 1;
                break;
            case 44100:
                settings_.unittime = x1 ? 7 : 15;
                settings_.noise = 2;
                break;
            case 48000:
                settings_.unittime = x1 ? 9 : 18;
                settings_.noise = 2;
                break;
            default:
                knownrate = false;
                console_.err(settings_.pick(messages::badrate_ja, messages::badrate_en));
            }
            settings_.applydefaults(console_);
            if (!knownrate) {
                close();
                return false;
            }
        } else if (std::memcmp(head, "data", 4) == 0) {
            ended = true;
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
    uint8_t record[wfmt_bytes];
    // Fields beyond a short chunk keep what they held.
    std::memset(record, 0, sizeof record);
    record[0] = static_cast<uint8_t>(wfmt_.wFormatTag);
    record[1] = static_cast<uint8_t>(wfmt_.wFormatTag >> 8);
    record[2] = static_cast<uint8_t>(wfmt_.nChannels);
    record[3] = static_cast<uint8_t>(wfmt_.nChannels >> 8);
    for (int i = 0; i < 4; ++i) record[4 + i] = static_cast<uint8_t>(wfmt_.nSamplesPerSec >> (8 * i));
    for (int i = 0; i < 4; ++i) record[8 + i] = static_cast<uint8_t>(wfmt_.nAvgBytesPerSec >> (8 * i));
    record[12] = static_cast<uint8_t>(wfmt_.nBlockAlign);
    record[13] = static_cast<uint8_t>(wfmt_.nBlockAlign >> 8);
    record[14] = static_cast<uint8_t>(wfmt_.wBitsPerSample);
    record[15] = static_cast<uint8_t>(wfmt_.wBitsPerSample >> 8);
    record[16] = static_cast<uint8_t>(wfmt_.cbSize);
    record[17] = static_cast<uint8_t>(wfmt_.cbSize >> 8);
    size_t wanted = std::min<size_t>(size, wfmt_bytes);
    size_t got = std::fread(record, 1, wanted, file_);
    wfmt_.wFormatTag = le16(record);
    wfmt_.nChannels = le16(record + 2);
    wfmt_.nSamplesPerSec = le32(record + 4);
    wfmt_.nAvgBytesPerSec = le32(record + 8);
    wfmt_.nBlockAlign = le16(record + 12);
    wfmt_.wBitsPerSample = le16(record + 14);
    wfmt_.cbSize = le16(record + 16);
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
