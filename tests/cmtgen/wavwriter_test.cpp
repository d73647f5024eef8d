// Tests of the WAV output: canonical header bytes per width and sample encoding with clamping.
#include "wavwriter.h"

#include <gtest/gtest.h>

#include "encoder.h"

namespace {

std::vector<uint8_t> expectedheader(uint32_t rate, uint16_t bits, uint32_t data_bytes) {
  std::vector<uint8_t> h;
  auto text = [&](const char* s) { h.insert(h.end(), s, s + 4); };
  auto n = [&](uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) h.push_back(static_cast<uint8_t>(v >> (8 * i)));
  };
  const uint16_t align = bits / 8;
  text("RIFF"); n(36 + data_bytes, 4); text("WAVE");
  text("fmt "); n(16, 4); n(1, 2); n(1, 2); n(rate, 4); n(rate * align, 4); n(align, 2); n(bits, 2);
  text("data"); n(data_bytes, 4);
  return h;
}

struct HeaderCase {
  int rate;
  int bits;
  double silence_s;
  uint32_t data_bytes;  // after the encoder evens out an odd chunk
};

class WavHeader : public ::testing::TestWithParam<HeaderCase> {};

TEST_P(WavHeader, CanonicalBytesAndSizes) {
  const HeaderCase hc = GetParam();
  cmtgen::Options opt;
  opt.rate = hc.rate;
  opt.bits = hc.bits;
  cmtgen::SignalWriter writer(opt);
  writer.silence(hc.silence_s);
  const std::vector<uint8_t> wav = writer.wav();
  ASSERT_EQ(wav.size(), 44u + hc.data_bytes);
  const std::vector<uint8_t> header(wav.begin(), wav.begin() + 44);
  EXPECT_EQ(header, expectedheader(static_cast<uint32_t>(hc.rate), static_cast<uint16_t>(hc.bits), hc.data_bytes));
  const uint8_t silent = hc.bits == 8 ? 128 : 0;
  for (std::size_t i = 44; i < wav.size(); ++i) ASSERT_EQ(wav[i], silent) << i;
}

// 47 samples of 8 or 24 bits would make an odd data chunk: one silent sample is added.
INSTANTIATE_TEST_SUITE_P(Widths, WavHeader,
                         ::testing::Values(HeaderCase{48000, 8, 0.001, 48}, HeaderCase{48000, 16, 0.001, 96},
                                           HeaderCase{48000, 24, 0.001, 144}, HeaderCase{47000, 8, 0.001, 48},
                                           HeaderCase{47000, 24, 0.001, 144}, HeaderCase{47000, 16, 0.001, 94},
                                           HeaderCase{22050, 16, 0.0, 0}));

TEST(WavHeader, RejectsBadFormats) {
  EXPECT_THROW(cmtgen::wavheader(0, 16, 0), std::invalid_argument);
  EXPECT_THROW(cmtgen::wavheader(48000, 32, 0), std::invalid_argument);
  EXPECT_THROW(cmtgen::wavheader(48000, 16, 0xFFFFFFF0u), std::length_error);
}

struct SampleCase {
  int bits;
  double level;
  std::vector<uint8_t> bytes;
};

TEST(AppendSample, EncodingRoundingAndClamping) {
  const std::vector<SampleCase> cases = {
      {8, 0.0, {0x80}},          {8, 0.75, {0xE0}},          {8, -0.75, {0x20}},
      {8, 1.0, {0xFF}},          {8, -1.0, {0x00}},          {8, 3.0, {0xFF}},
      {8, -3.0, {0x00}},         {16, 0.75, {0x00, 0x60}},   {16, -0.75, {0x00, 0xA0}},
      {16, 1.0, {0xFF, 0x7F}},   {16, -1.2, {0x00, 0x80}},   {16, 1.0 / 32768, {0x01, 0x00}},
      {24, 0.75, {0x00, 0x00, 0x60}}, {24, -0.5, {0x00, 0x00, 0xC0}},
      {24, 1.0, {0xFF, 0xFF, 0x7F}},  {24, -1.0 / 8388608, {0xFF, 0xFF, 0xFF}},
  };
  for (const SampleCase& c : cases) {
    std::vector<uint8_t> out;
    cmtgen::appendsample(out, c.bits, c.level);
    EXPECT_EQ(out, c.bytes) << c.bits << " bits, level " << c.level;
  }
}

}  // namespace
