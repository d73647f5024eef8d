// Tests of the cmtgen command line: option parsing, and the program's files and exit codes.
#include "cli.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#ifndef _WIN32
#include <sys/wait.h>
#endif

#include "encoder.h"
#include "image.h"

namespace {

using cmtgen::parsecommand;

TEST(ParseCommand, EveryOption) {
  const cmtgen::Command cmd = parsecommand(
      {"--rate=22050", "-b", "8", "--amplitude=0.5", "--invert", "--noise", "0.01", "--seed=0x10",
       "--dc=-0.1", "--speed=1.03", "--format=x1", "--headergap=500", "--bodygap=300",
       "--silence=0.25", "--filegap=2", "--corrupt=1:header:both", "--corrupt=0:body:first",
       "-o", "out.wav", "a.mzt", "b.mzf"});
  const cmtgen::Options& o = cmd.options;
  EXPECT_EQ(o.rate, 22050);
  EXPECT_EQ(o.bits, 8);
  EXPECT_DOUBLE_EQ(o.amplitude, 0.5);
  EXPECT_TRUE(o.invert);
  EXPECT_DOUBLE_EQ(o.noise, 0.01);
  EXPECT_EQ(o.seed, 16u);
  EXPECT_DOUBLE_EQ(o.dc, -0.1);
  EXPECT_DOUBLE_EQ(o.speed, 1.03);
  EXPECT_EQ(o.format, cmtgen::Format::x1);
  EXPECT_EQ(o.headergap, 500);
  EXPECT_EQ(o.bodygap, 300);
  EXPECT_DOUBLE_EQ(o.silence_s, 0.25);
  EXPECT_DOUBLE_EQ(o.filegap_s, 2.0);
  ASSERT_EQ(o.corrupt.size(), 2u);
  EXPECT_EQ(o.corrupt[0].file, 1);
  EXPECT_TRUE(o.corrupt[0].header);
  EXPECT_TRUE(o.corrupt[0].both);
  EXPECT_EQ(o.corrupt[1].file, 0);
  EXPECT_FALSE(o.corrupt[1].header);
  EXPECT_FALSE(o.corrupt[1].both);
  EXPECT_EQ(cmd.output, "out.wav");
  EXPECT_EQ(cmd.inputs, (std::vector<std::string>{"a.mzt", "b.mzf"}));
  EXPECT_FALSE(cmd.fromvalues);
}

TEST(ParseCommand, DefaultsAndHeaderValues) {
  const cmtgen::Command plain = parsecommand({"-o", "x.wav", "in.mzf"});
  const cmtgen::Options defaults;
  EXPECT_EQ(plain.options.rate, defaults.rate);
  EXPECT_EQ(plain.options.bits, defaults.bits);
  EXPECT_EQ(plain.options.headergap, -1);
  EXPECT_FALSE(plain.fromvalues);

  const cmtgen::Command values = parsecommand({"--name=HELLO", "--start=0x2000", "-o", "x.wav", "body.bin"});
  EXPECT_TRUE(values.fromvalues);
  EXPECT_EQ(values.mode, 1);
  EXPECT_EQ(values.start, 0x2000);
  EXPECT_EQ(values.exec, 0x2000);  // follows the start address unless given
  EXPECT_EQ(values.name, "HELLO");
  EXPECT_EQ(parsecommand({"--mode=5", "--exec=0x1300", "-o", "x", "b"}).exec, 0x1300);

  EXPECT_TRUE(parsecommand({"--help"}).help);
}

TEST(ParseCommand, BadInputIsAUsageError) {
  const std::vector<std::vector<std::string>> cases = {
      {},                                        // nothing to do
      {"in.mzf"},                                // no output
      {"-o", "x.wav"},                           // no input
      {"--bogus", "-o", "x", "in"},              // unknown option
      {"-x", "-o", "x", "in"},                   // unknown short option
      {"-o"},                                    // value missing
      {"--rate=0", "-o", "x", "in"},             // rate not positive
      {"--rate=48k", "-o", "x", "in"},           // trailing junk
      {"--bits=12", "-o", "x", "in"},            // unsupported width
      {"--amplitude=1.5", "-o", "x", "in"},
      {"--noise=-0.1", "-o", "x", "in"},
      {"--speed=abc", "-o", "x", "in"},
      {"--format=tzx", "-o", "x", "in"},
      {"--headergap=-5", "-o", "x", "in"},
      {"--corrupt=1:header", "-o", "x", "in"},   // copies missing
      {"--corrupt=a:body:first", "-o", "x", "in"},
      {"--corrupt=0:data:first", "-o", "x", "in"},
      {"--corrupt=0:body:second", "-o", "x", "in"},
      {"--start=0x10000", "-o", "x", "in"},      // beyond 16 bits
      {"--mode=256", "-o", "x", "in"},
      {"--name=ABCDEFGHIJKLMNOPQR", "-o", "x", "in"},
      {"--name=A", "-o", "x", "one", "two"},     // one raw body only
      {"--invert=1", "-o", "x", "in"},
  };
  for (const auto& args : cases) {
    std::string joined;
    for (const auto& a : args) joined += a + " ";
    EXPECT_THROW(parsecommand(args), cmtgen::UsageError) << joined;
  }
}

#ifdef CMTGEN_BIN
int runprogram(const std::string& args) {
#ifdef _WIN32
  const std::string command = std::string("\"") + CMTGEN_BIN + "\" " + args + " 2>nul >nul";
#else
  const std::string command = std::string("\"") + CMTGEN_BIN + "\" " + args + " 2>/dev/null >/dev/null";
#endif
  const int status = std::system(command.c_str());
#ifdef _WIN32
  return status;
#else
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
}

std::vector<uint8_t> slurp(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void spit(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// The program writes what the library encodes, and fails with 1 on bad input.
TEST(Program, WritesEncodedImageAndFailsOnBadInput) {
  const auto dir = std::filesystem::temp_directory_path() / ("cmtgen_cli_test_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
  std::filesystem::create_directories(dir);
  const cmtgen::TapeFile file = cmtgen::makefile(1, 0x1200, 0x1200, "PROG", {1, 2, 3, 4, 5});
  std::vector<uint8_t> image = file.header;
  image.insert(image.end(), file.body.begin(), file.body.end());
  spit(dir / "prog.mzf", image);
  spit(dir / "body.bin", file.body);
  spit(dir / "short.mzf", std::vector<uint8_t>(image.begin(), image.end() - 1));

  cmtgen::Options opt;
  opt.rate = 22050;
  opt.bits = 8;
  opt.headergap = 200;
  opt.corrupt = {{0, false, false}};
  const std::string common = "--rate=22050 --bits=8 --headergap=200 --corrupt=0:body:first -o \"" +
                             (dir / "out.wav").string() + "\" ";
  ASSERT_EQ(runprogram(common + "\"" + (dir / "prog.mzf").string() + "\""), 0);
  EXPECT_EQ(slurp(dir / "out.wav"), cmtgen::encode({file}, opt));

  ASSERT_EQ(runprogram(common + "--name=PROG \"" + (dir / "body.bin").string() + "\""), 0);
  EXPECT_EQ(slurp(dir / "out.wav"), cmtgen::encode({file}, opt));

  EXPECT_EQ(runprogram("-o \"" + (dir / "x.wav").string() + "\" \"" + (dir / "missing.mzf").string() + "\""), 1);
  EXPECT_EQ(runprogram("-o \"" + (dir / "x.wav").string() + "\" \"" + (dir / "short.mzf").string() + "\""), 1);
  EXPECT_EQ(runprogram("--corrupt=1:body:first -o \"" + (dir / "x.wav").string() + "\" \"" +
                       (dir / "prog.mzf").string() + "\""), 1);
  EXPECT_EQ(runprogram("--bits=7 -o x.wav in.mzf"), 1);
  EXPECT_EQ(runprogram("--help"), 0);
  std::filesystem::remove_all(dir);
}
#endif

}  // namespace
