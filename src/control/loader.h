// The main loader loop: start-up, opening the input, then header and body
// after header as the -a list asks, until the run ends. It composes the
// stages and is the one place that turns a run's ending into an exit code.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "control/console.h"
#include "control/settings.h"
#include "output/tapeoutput.h"
#include "platform/host.h"

namespace cmtgrab {

class SampleStream;
class WavFileStream;
class CaptureStream;
class Slicer;

class Loader {
public:
    // Output files go to `directory` (empty: the current directory).
    Loader(Console& console, Host& host, std::string directory = "");
    ~Loader();
    Loader(const Loader&) = delete;
    Loader& operator=(const Loader&) = delete;

    // One whole run over the arguments that follow the program name; returns
    // the exit code.
    int run(const std::vector<std::string>& args);

    const Settings& settings() const { return settings_; }

private:
    void load(const std::vector<std::string>& args);
    void openinput();
    void closeinput(bool report);

    Console& console_;
    Host& host_;
    Settings settings_;
    TapeOutput output_;
    std::unique_ptr<WaveIn> device_;
    std::unique_ptr<WavFileStream> wavfile_;
    std::unique_ptr<CaptureStream> capture_;
    SampleStream* stream_ = nullptr;
    std::unique_ptr<Slicer> slicer_;
};

}  // namespace cmtgrab
