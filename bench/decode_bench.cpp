// Decoding a seven-minute tape (a 64 KiB body at 48 kHz, 16 bits) from a file,
// against reading the same file's bytes in the same run.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "control/console.h"
#include "control/loader.h"
#include "encoder.h"
#include "image.h"

namespace {

struct Fixture {
    std::filesystem::path dir;
    std::string wav;
    int64_t samples = 0;
    int64_t bytes = 0;

    Fixture()
    {
        dir = std::filesystem::temp_directory_path() / "cmtgrab-bench";
        std::filesystem::create_directories(dir);
        wav = (dir / "long.wav").string();
        // A fixed pseudo-random body, so every run decodes the same signal.
        std::vector<uint8_t> body(65535);
        uint32_t x = 12345;
        for (uint8_t& b : body) {
            x = x * 1103515245u + 12345u;
            b = static_cast<uint8_t>(x >> 16);
        }
        cmtgen::Options options;
        options.rate = 48000;
        options.bits = 16;
        std::vector<uint8_t> audio = cmtgen::encode({cmtgen::makefile(1, 0x1200, 0x1200, "BENCH", body)}, options);
        std::ofstream(wav, std::ios::binary).write(reinterpret_cast<const char*>(audio.data()),
                                                   static_cast<std::streamsize>(audio.size()));
        bytes = static_cast<int64_t>(audio.size());
        samples = (bytes - 44) / 2;
    }
    ~Fixture()
    {
        std::error_code error;
        std::filesystem::remove_all(dir, error);
    }
};

Fixture& fixture()
{
    static Fixture f;
    return f;
}

class QuietHost : public cmtgrab::Host {
public:
    int32_t oemcodepage() override { return 437; }
    void yieldcpu() override {}
    bool keypending() override { return false; }
    std::unique_ptr<cmtgrab::WaveIn> wavein() override { return cmtgrab::systemwavein(); }
};

void BM_ReadFile(benchmark::State& state)
{
    Fixture& f = fixture();
    std::vector<char> block(1 << 18);
    for (auto _ : state) {
        std::FILE* in = std::fopen(f.wav.c_str(), "rb");
        uint64_t sum = 0;
        size_t got = 0;
        while ((got = std::fread(block.data(), 1, block.size(), in)) > 0) sum += static_cast<unsigned char>(block[got - 1]);
        std::fclose(in);
        benchmark::DoNotOptimize(sum);
    }
    state.counters["samples/s"] = benchmark::Counter(static_cast<double>(f.samples), benchmark::Counter::kIsIterationInvariantRate);
}

void BM_DecodeFile(benchmark::State& state)
{
    Fixture& f = fixture();
    int exitcode = -1;
    for (auto _ : state) {
        std::ostringstream out, err;
        cmtgrab::Console console(out, err);
        QuietHost host;
        cmtgrab::Loader loader(console, host, f.dir.string());
        // An absolute name would read as an option; the loader opens it relative.
        std::filesystem::current_path(f.dir);
        exitcode = loader.run({"long.wav"});
    }
    if (exitcode != 0) state.SkipWithError("the benchmark tape did not load");
    state.counters["samples/s"] = benchmark::Counter(static_cast<double>(f.samples), benchmark::Counter::kIsIterationInvariantRate);
}

BENCHMARK(BM_ReadFile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeFile)->Unit(benchmark::kMillisecond);

// Prints the decode-to-read ratio after the usual table.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Iteration) seconds_[run.run_name.function_name] = run.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
    void Finalize() override
    {
        ConsoleReporter::Finalize();
        auto read = seconds_.find("BM_ReadFile");
        auto decode = seconds_.find("BM_DecodeFile");
        if (read != seconds_.end() && decode != seconds_.end() && read->second > 0)
            std::cout << "decode time / read time: " << decode->second / read->second << "\n";
    }

private:
    std::map<std::string, double> seconds_;
};

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
