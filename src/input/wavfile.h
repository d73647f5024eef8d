// The WAV file source: checks the RIFF/WAVE layout, walks the chunks to the
// sample data, sets the decoding defaults from the rate, then delivers the
// samples to the physical end of the file in large buffered blocks.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "control/console.h"
#include "control/settings.h"
#include "input/samplestream.h"
#include "platform/host.h"

namespace cmtgrab {

class WavFileStream : public SampleStream {
public:
    // Samples converted per block read; the raw block is this many samples wide.
    static constexpr size_t block_samples = 65536;
    // A progress line is due each time the position passes this many bytes.
    static constexpr int64_t report_step_bytes = 16384;

    WavFileStream(Settings& settings, Console& console);
    ~WavFileStream() override;
    WavFileStream(const WavFileStream&) = delete;
    WavFileStream& operator=(const WavFileStream&) = delete;

    // Opens settings.wavname; false when the file was rejected (a message has
    // been printed). On true the stream stands at the first sample.
    bool openwav();

    int samplebits() const { return samplebits_; }

    int64_t position() const override;
    void close() override;

protected:
    void fill() override;

private:
    bool readbytes(void* to, size_t count);
    bool skip(uint64_t count);
    void readfmt(uint32_t size);
    void readblock();

    Settings& settings_;
    Console& console_;
    std::FILE* file_ = nullptr;
    // The "fmt " record (the format record's 18 bytes; longer chunks are cut).
    std::array<uint8_t, 18> wfmt_{};
    int samplebits_ = 8;
    int width_bytes_ = 1;  // bytes read per sample
    std::vector<uint8_t> raw_;
    std::vector<uint8_t> samples_;
    size_t count_ = 0;           // samples in the current block
    int64_t blockpos_ = 0;       // file offset of the block's first byte
    int64_t blockend_ = 0;       // file offset after the block's last byte
    int64_t nextreport_ = -1;
};

}  // namespace cmtgrab
