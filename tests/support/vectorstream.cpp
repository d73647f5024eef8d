// Test support: the in-memory sample source and the pulse tape texts.
#include "support/vectorstream.h"

#include <algorithm>
#include <charconv>
#include <stdexcept>

#include "control/runend.h"

namespace testsupport {

VectorStream::VectorStream(std::vector<uint8_t> samples, size_t window_samples)
    : samples_(std::move(samples)), window_samples_(window_samples),
      buffer_(guard_samples + window_samples)
{
    if (window_samples_ == 0) throw std::invalid_argument("window of no samples");
    emptywindow(buffer_.data() + guard_samples);
}

int64_t VectorStream::position() const
{
    return static_cast<int64_t>(windowstart_) + (cur_ - (buffer_.data() + guard_samples));
}

void VectorStream::fill()
{
    // A real source is asked for more only when its window is used up.
    if (cur_ != lim_) throw std::logic_error("window refilled before it was used up");
    if (next_ >= samples_.size()) cmtgrab::fatal("\nReached to end of file....\n");
    ++fills_;
    uint8_t* window = buffer_.data() + guard_samples;
    // Junk in front of the window: a reader that looks back past the window's
    // start sees values that have nothing to do with the signal.
    for (size_t i = 0; i < guard_samples; ++i) buffer_[i] = static_cast<uint8_t>(fills_ * 97u + i * 53u);
    const size_t count = std::min(window_samples_, samples_.size() - next_);
    std::copy_n(samples_.begin() + static_cast<std::ptrdiff_t>(next_), count, window);
    std::fill(window + count, window + window_samples_, static_cast<uint8_t>(fills_ * 31u));
    windowstart_ = next_;
    next_ += count;
    cur_ = window;
    lim_ = window + count;
}

void appendpulses(std::vector<uint8_t>& samples, PulseShape shape, int count)
{
    for (int i = 0; i < count; ++i) {
        samples.insert(samples.end(), static_cast<size_t>(shape.high_samples), uint8_t{255});
        samples.insert(samples.end(), static_cast<size_t>(shape.low_samples), uint8_t{0});
    }
}

PulseTape pulsetape(std::string_view text)
{
    PulseTape tape;
    size_t at = 0;
    while (at < text.size()) {
        if (text[at] == ' ') {
            ++at;
            continue;
        }
        const size_t end = std::min(text.find(' ', at), text.size());
        const std::string_view word = text.substr(at, end - at);
        at = end;
        if (word == "@") {
            tape.marks.push_back(static_cast<int64_t>(tape.samples.size()));
            continue;
        }
        if (word[0] == '#') {
            unsigned value = 0;
            auto [ptr, ec] = std::from_chars(word.data() + 1, word.data() + word.size(), value, 16);
            if (ec != std::errc{} || ptr != word.data() + word.size() || word.size() != 3)
                throw std::invalid_argument("bad byte in pulse tape: " + std::string(word));
            tape.marks.push_back(static_cast<int64_t>(tape.samples.size()));
            for (int bit = 7; bit >= 0; --bit)
                appendpulses(tape.samples, ((value >> bit) & 1) != 0 ? long_pulse : short_pulse);
            continue;
        }
        int count = 1;
        const char* kind = word.data() + word.size() - 1;
        if (word.size() > 1) {
            auto [ptr, ec] = std::from_chars(word.data(), kind, count);
            if (ec != std::errc{} || ptr != kind) throw std::invalid_argument("bad count in pulse tape: " + std::string(word));
        }
        switch (*kind) {
        case 's': appendpulses(tape.samples, short_pulse, count); break;
        case 'l': appendpulses(tape.samples, long_pulse, count); break;
        case 'u': appendpulses(tape.samples, unbalanced_pulse, count); break;
        default: throw std::invalid_argument("bad pulse in pulse tape: " + std::string(word));
        }
    }
    return tape;
}

std::string withmarks(std::string_view text, const std::vector<int64_t>& marks)
{
    std::string out;
    size_t at = 0;
    while (at < text.size()) {
        const size_t open = text.find('{', at);
        if (open == std::string_view::npos) break;
        const size_t close = text.find('}', open);
        if (close == std::string_view::npos) throw std::invalid_argument("unclosed mark reference");
        size_t index = 0;
        auto [ptr, ec] = std::from_chars(text.data() + open + 1, text.data() + close, index);
        if (ec != std::errc{} || ptr != text.data() + close || index >= marks.size())
            throw std::invalid_argument("bad mark reference: " + std::string(text.substr(open, close - open + 1)));
        out.append(text.substr(at, open - at));
        out += std::to_string(marks[index] + 1);
        at = close + 1;
    }
    out.append(text.substr(at));
    return out;
}

}  // namespace testsupport
