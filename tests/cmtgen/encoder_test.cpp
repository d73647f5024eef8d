// Tests of the tape signal: pulse widths, block framing, leaders per format, corruption, noise.
#include "encoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "tapereader.h"

namespace {

using cmtgen::Format;
using cmtgen::Options;
using cmtgen::SignalWriter;
using namespace cmtgentest;

// Documented MZ pulse parts in microseconds.
constexpr double long_high_us = 464, long_low_us = 494, short_high_us = 240, short_low_us = 264;

double threshold_samples(const Options& opt) {
  const double scale = (opt.format == Format::x1 ? 0.5 : 1.0) * opt.rate / 1e6 / opt.speed;
  const double long_total = (long_high_us + long_low_us) * scale;
  const double short_total = (short_high_us + short_low_us) * scale;
  return (long_total + short_total) / 2;
}

std::vector<int> symbolsof(const std::vector<uint8_t>& wav, const Options& opt) {
  return symbols(pulses(runs(parsewav(wav).samples), opt.invert), threshold_samples(opt));
}

struct TimingCase {
  int rate;
  double speed;
  Format format;
};

class PulseTiming : public ::testing::TestWithParam<TimingCase> {};

// Every part of every pulse lies within one sample of its exact duration, and the
// total length is the exact total rounded once: rounding never accumulates.
TEST_P(PulseTiming, PartsMatchMicrosecondsWithoutDrift) {
  const TimingCase tc = GetParam();
  Options opt;
  opt.rate = tc.rate;
  opt.speed = tc.speed;
  opt.format = tc.format;
  const double us_to_samples = tc.rate / 1e6 / tc.speed * (tc.format == Format::x1 ? 0.5 : 1.0);

  SignalWriter writer(opt);
  constexpr int count = 300;
  writer.pulses(count, true);
  writer.pulses(count, false);
  const Wav wav = parsewav(writer.wav());
  const std::vector<Pulse> ps = pulses(runs(wav.samples));
  ASSERT_EQ(ps.size(), 2u * count);

  for (std::size_t i = 0; i < ps.size(); ++i) {
    const bool longpulse = i < count;
    const double high = (longpulse ? long_high_us : short_high_us) * us_to_samples;
    const double low = (longpulse ? long_low_us : short_low_us) * us_to_samples;
    ASSERT_LT(std::abs(ps[i].first_samples - high), 1.0) << "pulse " << i;
    ASSERT_LT(std::abs(ps[i].second_samples - low), 1.0) << "pulse " << i;
  }
  const double total = count * (long_high_us + long_low_us + short_high_us + short_low_us) * us_to_samples;
  EXPECT_EQ(static_cast<double>(wav.samples.size()), std::round(total));
}

INSTANTIATE_TEST_SUITE_P(
    RatesSpeedsFormats, PulseTiming,
    ::testing::Values(TimingCase{48000, 1.0, Format::mz}, TimingCase{44100, 1.0, Format::mz},
                      TimingCase{22050, 1.0, Format::mz}, TimingCase{44100, 0.97, Format::mz},
                      TimingCase{22050, 1.03, Format::mz}, TimingCase{48000, 1.0, Format::x1},
                      TimingCase{22050, 1.03, Format::x1}, TimingCase{8000, 1.0, Format::mz}));

TEST(SignalWriter, PulseLevelsAndInversion) {
  Options opt;
  opt.bits = 8;
  opt.amplitude = 0.75;
  SignalWriter plain(opt);
  plain.pulse(false);
  std::vector<uint8_t> wav = plain.wav();
  EXPECT_EQ(wav.at(44), 224);  // 128 + 0.75 * 128
  EXPECT_EQ(wav.back(), 32);

  opt.invert = true;
  SignalWriter inverted(opt);
  inverted.pulse(false);
  wav = inverted.wav();
  EXPECT_EQ(wav.at(44), 32);
  EXPECT_EQ(wav.back(), 224);
}

// A block read back by the test's own reader: start bits, MSB-first data,
// checksum high byte first, closing pulse.
TEST(SignalWriter, BlockFramingAndChecksum) {
  Options opt;
  opt.rate = 22050;
  const std::vector<uint8_t> bytes = {0x00, 0xFF, 0xA5, 0x01, 0x80};
  SignalWriter writer(opt);
  writer.block(bytes);
  const std::vector<int> sym = symbolsof(writer.wav(), opt);

  // Hand-written expectation for the first two bytes: start bit, then 8 data bits.
  const std::vector<int> head = {1, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1, 1};
  ASSERT_GE(sym.size(), head.size());
  EXPECT_EQ(std::vector<int>(sym.begin(), sym.begin() + static_cast<long>(head.size())), head);
  // 0xA5 is 10100101 after its start bit.
  EXPECT_EQ(std::vector<int>(sym.begin() + 18, sym.begin() + 27), (std::vector<int>{1, 1, 0, 1, 0, 0, 1, 0, 1}));
  // 5 bytes and 2 checksum bytes of 9 pulses, and the closing pulse.
  EXPECT_EQ(sym.size(), 7u * 9 + 1);

  TapeCursor tape(sym);
  const TapeCursor::Block block = tape.block(bytes.size());
  EXPECT_TRUE(tape.done());
  EXPECT_TRUE(block.framing_ok);
  EXPECT_EQ(block.bytes, bytes);
  EXPECT_EQ(block.checksum, 0u + 8 + 4 + 1 + 1);
}

TEST(SignalWriter, ChecksumWrapsAndEmptyBlock) {
  Options opt;
  opt.rate = 22050;
  // 8192 bytes of 0xFF hold 65536 one bits: the 16-bit count is 0.
  const std::vector<uint8_t> full(8192, 0xFF);
  SignalWriter writer(opt);
  writer.block(full);
  writer.block({});
  writer.block({}, true);
  TapeCursor tape(symbolsof(writer.wav(), opt));
  EXPECT_EQ(tape.block(full.size()).checksum, 0u);
  const TapeCursor::Block empty = tape.block(0);
  EXPECT_EQ(empty.checksum, 0u);
  EXPECT_TRUE(empty.framing_ok);
  EXPECT_NE(tape.block(0).checksum, 0u);  // a corrupted empty block cannot match
  EXPECT_TRUE(tape.done());
}

unsigned onebitsof(const std::vector<uint8_t>& bytes) {
  unsigned n = 0;
  for (uint8_t v : bytes) n += static_cast<unsigned>(std::popcount(v));
  return n & 0xFFFF;
}

int bitsapart(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  if (a.size() != b.size()) return -1;
  int n = 0;
  for (std::size_t i = 0; i < a.size(); ++i) n += std::popcount(static_cast<unsigned>(a[i] ^ b[i]));
  return n;
}

struct ReadFile {
  long headergap = 0, headermark1 = 0, headermark2 = 0;
  TapeCursor::Block header1, header2;
  long headercopygap = 0;
  long bodygap = 0, bodymark1 = 0, bodymark2 = 0;
  TapeCursor::Block body1, body2;
  long bodycopygap = 0;
};

// Reads one tape file in the given polarity (gapsymbol: class of the gap pulses).
ReadFile readfile(TapeCursor& tape, int gapsymbol, std::size_t headerblock_bytes, std::size_t body_bytes) {
  ReadFile f;
  auto mark = [&](long& gap, long& first, long& second, long n) {
    gap = tape.run(gapsymbol);
    first = tape.run(1 - gapsymbol);
    // The second run runs straight into the tone end pulse and the start bit in X1
    // polarity, so take exactly n pulses and check their class.
    second = 0;
    for (long i = 0; i < n && tape.peek() == gapsymbol; ++i) {
      tape.next();
      ++second;
    }
    EXPECT_EQ(tape.next(), 1) << "tone end pulse";
  };
  mark(f.headergap, f.headermark1, f.headermark2, 40);
  f.header1 = tape.block(headerblock_bytes);
  f.headercopygap = tape.run(0);
  f.header2 = tape.block(headerblock_bytes);
  mark(f.bodygap, f.bodymark1, f.bodymark2, 20);
  f.body1 = tape.block(body_bytes);
  f.bodycopygap = tape.run(0);
  f.body2 = tape.block(body_bytes);
  return f;
}

struct FormatCase {
  Format format;
  int gapsymbol;
  std::size_t headerblock_bytes;
};

class WholeRecording : public ::testing::TestWithParam<FormatCase> {};

TEST_P(WholeRecording, LeadersBlocksAndCopiesInOrder) {
  const FormatCase fc = GetParam();
  Options opt;
  opt.rate = 22050;
  opt.bits = 8;
  opt.format = fc.format;
  std::vector<uint8_t> body(300);
  for (std::size_t i = 0; i < body.size(); ++i) body[i] = static_cast<uint8_t>(i * 7);
  const cmtgen::TapeFile file = cmtgen::makefile(0x01, 0x1200, 0x1234, "GAME", body);

  const std::vector<int> sym = symbolsof(cmtgen::encode({file}, opt), opt);
  TapeCursor tape(sym);
  EXPECT_EQ(tape.run(-1), 1) << "leading silence";
  const ReadFile f = readfile(tape, fc.gapsymbol, fc.headerblock_bytes, body.size());
  EXPECT_EQ(tape.run(-1), 1) << "trailing silence";
  EXPECT_TRUE(tape.done());

  EXPECT_EQ(f.headergap, 22000);
  EXPECT_EQ(f.headermark1, 40);
  EXPECT_EQ(f.headermark2, 40);
  EXPECT_EQ(f.bodygap, 11000);
  EXPECT_EQ(f.bodymark1, 20);
  EXPECT_EQ(f.bodymark2, 20);
  EXPECT_EQ(f.headercopygap, 256);
  EXPECT_EQ(f.bodycopygap, 256);
  const std::vector<uint8_t> headerblock(file.header.begin(),
                                         file.header.begin() + static_cast<long>(fc.headerblock_bytes));
  for (const auto* b : {&f.header1, &f.header2}) {
    EXPECT_EQ(b->bytes, headerblock);
    EXPECT_EQ(b->checksum, b->onebits);
    EXPECT_TRUE(b->framing_ok);
  }
  for (const auto* b : {&f.body1, &f.body2}) {
    EXPECT_EQ(b->bytes, body);
    EXPECT_EQ(b->checksum, b->onebits);
    EXPECT_TRUE(b->framing_ok);
  }
}

// X1 swaps the roles in gap and tape mark; CARRY SOFT keeps the MZ signal with the X1 header size.
INSTANTIATE_TEST_SUITE_P(Formats, WholeRecording,
                         ::testing::Values(FormatCase{Format::mz, 0, 128}, FormatCase{Format::x1, 1, 32},
                                           FormatCase{Format::carrysoft, 0, 32}));

TEST(Encode, GapOptionsAndSeveralFilesWithCorruption) {
  Options opt;
  opt.rate = 22050;
  opt.bits = 8;
  opt.headergap = 150;
  opt.bodygap = 120;
  opt.corrupt = {{1, false, false}, {0, true, true}};
  const std::vector<cmtgen::TapeFile> files = {
      cmtgen::makefile(1, 0x1200, 0x1200, "ONE", {1, 2, 3}),
      cmtgen::makefile(2, 0x2000, 0x2000, "TWO", {0x10, 0x20, 0x30, 0x40})};

  TapeCursor tape(symbolsof(cmtgen::encode(files, opt), opt));
  EXPECT_EQ(tape.run(-1), 1);
  const ReadFile one = readfile(tape, 0, 128, 3);
  EXPECT_EQ(tape.run(-1), 1) << "silence between tape files";
  const ReadFile two = readfile(tape, 0, 128, 4);
  EXPECT_EQ(tape.run(-1), 1);
  EXPECT_TRUE(tape.done());

  EXPECT_EQ(one.headergap, 150);
  EXPECT_EQ(one.bodygap, 120);
  EXPECT_EQ(two.headergap, 150);

  // File 0, header, both copies: each copy differs from the record in one bit and
  // carries the checksum of the true record.
  for (const auto* b : {&one.header1, &one.header2}) {
    EXPECT_EQ(bitsapart(b->bytes, files[0].header), 1);
    EXPECT_EQ(b->checksum, onebitsof(files[0].header));
    EXPECT_NE(b->checksum, b->onebits);
  }
  EXPECT_EQ(one.body1.checksum, one.body1.onebits);
  EXPECT_EQ(one.body2.checksum, one.body2.onebits);

  // File 1, body, first copy only: one flipped bit, the second copy intact.
  EXPECT_NE(two.body1.checksum, two.body1.onebits);
  EXPECT_EQ(bitsapart(two.body1.bytes, files[1].body), 1);
  EXPECT_EQ(two.body2.bytes, files[1].body);
  EXPECT_EQ(two.body2.checksum, two.body2.onebits);
  EXPECT_EQ(two.header1.checksum, two.header1.onebits);
}

TEST(Encode, RejectsCorruptionOfMissingFileAndBadOptions) {
  const std::vector<cmtgen::TapeFile> files = {cmtgen::makefile(1, 0, 0, "X", {1})};
  Options opt;
  opt.corrupt = {{1, false, false}};
  EXPECT_THROW(cmtgen::encode(files, opt), std::invalid_argument);
  for (auto change : std::vector<void (*)(Options&)>{
           [](Options& o) { o.rate = 0; }, [](Options& o) { o.bits = 12; },
           [](Options& o) { o.speed = 0; }, [](Options& o) { o.amplitude = 1.5; },
           [](Options& o) { o.noise = -0.1; }, [](Options& o) { o.silence_s = -1; }}) {
    Options bad;
    change(bad);
    EXPECT_THROW(cmtgen::encode(files, bad), std::invalid_argument);
  }
}

TEST(Encode, NoiseIsDeterministicPerSeedAndBounded) {
  Options opt;
  opt.rate = 22050;
  opt.headergap = 200;
  opt.bodygap = 200;
  opt.noise = 0.05;
  opt.seed = 7;
  const std::vector<cmtgen::TapeFile> files = {cmtgen::makefile(1, 0, 0, "N", {1, 2, 3})};
  const std::vector<uint8_t> a = cmtgen::encode(files, opt);
  EXPECT_EQ(a, cmtgen::encode(files, opt));
  Options other = opt;
  other.seed = 8;
  EXPECT_NE(a, cmtgen::encode(files, other));
  Options clean = opt;
  clean.noise = 0;
  const std::vector<uint8_t> c = cmtgen::encode(files, clean);
  ASSERT_EQ(a.size(), c.size());

  // Difference to the clean signal stays within the noise peak, is not constant, and centres on 0.
  const Wav noisy = parsewav(a), plain = parsewav(c);
  const double peak = 0.05 * 32768 + 1;
  double sum = 0;
  int32_t lo = 0, hi = 0;
  for (std::size_t i = 0; i < noisy.samples.size(); ++i) {
    const int32_t d = noisy.samples[i] - plain.samples[i];
    ASSERT_LE(std::abs(d), peak);
    lo = std::min(lo, d);
    hi = std::max(hi, d);
    sum += d;
  }
  EXPECT_LT(lo, -0.04 * 32768);
  EXPECT_GT(hi, 0.04 * 32768);
  EXPECT_LT(std::abs(sum / static_cast<double>(noisy.samples.size())), 0.002 * 32768);
}

TEST(Encode, DcOffsetShiftsAndClampsSamples) {
  Options opt;
  opt.bits = 16;
  opt.amplitude = 0.75;
  opt.dc = 0.5;
  SignalWriter writer(opt);
  writer.silence(0.001);
  writer.pulse(true);
  const Wav wav = parsewav(writer.wav());
  EXPECT_EQ(wav.samples.front(), 16384);                // silence moves to the offset
  EXPECT_EQ(*std::max_element(wav.samples.begin(), wav.samples.end()), 32767);  // 1.25 clamps
  EXPECT_EQ(*std::min_element(wav.samples.begin(), wav.samples.end()), -8192);  // -0.75 + 0.5
}

// A real multi-file image read back in full from the recording.
TEST(Encode, CorpusMultiFileImageRoundTrip) {
  const std::filesystem::path path = CMTGRAB_CORPUS_DIR "/Baryon_multi.mzt";
  if (!std::filesystem::exists(path)) GTEST_SKIP() << "corpus not present: " << path;
  std::ifstream in(path, std::ios::binary);
  const std::vector<uint8_t> image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::vector<cmtgen::TapeFile> files = cmtgen::splitimage(image);
  ASSERT_EQ(files.size(), 3u);

  Options opt;
  opt.rate = 22050;
  opt.bits = 8;
  opt.speed = 1.03;
  opt.invert = true;
  TapeCursor tape(symbolsof(cmtgen::encode(files, opt), opt));
  std::vector<uint8_t> rebuilt;
  for (const cmtgen::TapeFile& file : files) {
    EXPECT_EQ(tape.run(-1), 1);
    const ReadFile f = readfile(tape, 0, 128, file.body.size());
    ASSERT_EQ(f.header2.checksum, f.header2.onebits);
    ASSERT_EQ(f.body2.checksum, f.body2.onebits);
    rebuilt.insert(rebuilt.end(), f.header2.bytes.begin(), f.header2.bytes.end());
    rebuilt.insert(rebuilt.end(), f.body2.bytes.begin(), f.body2.bytes.end());
  }
  EXPECT_EQ(tape.run(-1), 1);
  EXPECT_TRUE(tape.done());
  EXPECT_EQ(rebuilt, image);
}

}  // namespace
