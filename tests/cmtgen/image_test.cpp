// Tests of tape images: splitting multi-file images, short images, headers made from values.
#include "image.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

std::vector<uint8_t> join(const std::vector<cmtgen::TapeFile>& files) {
  std::vector<uint8_t> image;
  for (const auto& f : files) {
    image.insert(image.end(), f.header.begin(), f.header.end());
    image.insert(image.end(), f.body.begin(), f.body.end());
  }
  return image;
}

TEST(MakeFile, HeaderRecordLayout) {
  const cmtgen::TapeFile f = cmtgen::makefile(0x05, 0x1234, 0xABCD, "HELLO", {9, 8, 7});
  ASSERT_EQ(f.header.size(), 128u);
  std::vector<uint8_t> expected(128, 0);
  expected[0] = 0x05;
  const std::string name = "HELLO";
  for (std::size_t i = 0; i < 17; ++i) expected[1 + i] = i < name.size() ? static_cast<uint8_t>(name[i]) : 0x0D;
  expected[18] = 3;
  expected[19] = 0;
  expected[20] = 0x34;
  expected[21] = 0x12;
  expected[22] = 0xCD;
  expected[23] = 0xAB;
  EXPECT_EQ(f.header, expected);
  EXPECT_EQ(f.body, (std::vector<uint8_t>{9, 8, 7}));
}

TEST(MakeFile, NameAndBodyLimits) {
  const cmtgen::TapeFile full = cmtgen::makefile(1, 0, 0, "ABCDEFGHIJKLMNOPQ", {});
  EXPECT_EQ(full.header[17], 'Q');  // 17 bytes fill the field, no room for 0x0D
  EXPECT_EQ(cmtgen::bodylength(full.header), 0);
  EXPECT_THROW(cmtgen::makefile(1, 0, 0, "ABCDEFGHIJKLMNOPQR", {}), std::invalid_argument);
  EXPECT_EQ(cmtgen::bodylength(cmtgen::makefile(1, 0, 0, "", std::vector<uint8_t>(0xFFFF)).header), 0xFFFF);
  EXPECT_THROW(cmtgen::makefile(1, 0, 0, "BIG", std::vector<uint8_t>(0x10000)), std::invalid_argument);
}

TEST(SplitImage, SeveralFilesIncludingEmptyAndOneByteBodies) {
  const std::vector<cmtgen::TapeFile> files = {
      cmtgen::makefile(1, 0x1200, 0x1200, "A", {1, 2, 3}),
      cmtgen::makefile(2, 0x2000, 0x2000, "B", {}),
      cmtgen::makefile(3, 0x3000, 0x3000, "C", {0xFF}),
      cmtgen::makefile(4, 0x4000, 0x4000, "D", std::vector<uint8_t>(300, 0x0D)),
  };
  const std::vector<cmtgen::TapeFile> split = cmtgen::splitimage(join(files));
  ASSERT_EQ(split.size(), files.size());
  for (std::size_t i = 0; i < files.size(); ++i) {
    EXPECT_EQ(split[i].header, files[i].header) << i;
    EXPECT_EQ(split[i].body, files[i].body) << i;
  }
}

TEST(SplitImage, ShortImagesThrow) {
  const std::vector<uint8_t> good = join({cmtgen::makefile(1, 0, 0, "A", {1, 2, 3, 4})});
  std::vector<std::vector<uint8_t>> bad = {
      {},                                                  // nothing at all
      std::vector<uint8_t>(good.begin(), good.begin() + 100),  // inside the header
      std::vector<uint8_t>(good.begin(), good.end() - 1),  // body one byte short
  };
  std::vector<uint8_t> trailing = good;
  trailing.insert(trailing.end(), 50, 0);  // a partial second header
  bad.push_back(trailing);
  for (std::size_t i = 0; i < bad.size(); ++i) {
    EXPECT_THROW(cmtgen::splitimage(bad[i]), std::runtime_error) << "case " << i;
  }
}

TEST(SplitImage, CorpusMultiFileImage) {
  const std::filesystem::path path = CMTGRAB_CORPUS_DIR "/Baryon_multi.mzt";
  if (!std::filesystem::exists(path)) GTEST_SKIP() << "corpus not present: " << path;
  std::ifstream in(path, std::ios::binary);
  const std::vector<uint8_t> image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::vector<cmtgen::TapeFile> files = cmtgen::splitimage(image);
  ASSERT_EQ(files.size(), 3u);
  for (const auto& f : files) EXPECT_EQ(f.body.size(), cmtgen::bodylength(f.header));
  EXPECT_EQ(join(files), image);
}

}  // namespace
