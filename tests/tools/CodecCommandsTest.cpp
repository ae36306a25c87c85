#include "CodecCommands.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>

#include "FileBytes.h"
#include "PictureFile.h"

namespace {

// Each case works on its own files, named after it, in the test's folder.
class CodecCommands : public testing::Test {
 protected:
  void SetUp() override { prefix_ = testing::UnitTest::GetInstance()->current_test_info()->name(); }
  void TearDown() override {
    for (const std::string& path : created_) std::remove(path.c_str());
  }

  std::string Path(const std::string& name) {
    created_.push_back(prefix_ + "_" + name);
    return created_.back();
  }

  static Picture RandomPicture(uint32_t width, uint32_t height, uint32_t seed) {
    Picture picture;
    picture.width = width;
    picture.height = height;
    picture.pixels.resize(picture.ByteCount());
    std::mt19937 random(seed);
    for (uint8_t& byte : picture.pixels) byte = static_cast<uint8_t>(random());
    return picture;
  }

  std::string Save(const Picture& picture, const std::string& name) {
    const std::string path = Path(name);
    std::string error;
    EXPECT_TRUE(WritePictureFile(path, picture, error)) << error;
    return path;
  }

  Picture Load(const std::string& path) {
    Picture picture;
    std::string error;
    EXPECT_TRUE(ReadPictureFile(path, picture, error)) << error;
    return picture;
  }

  std::vector<uint8_t> Bytes(const std::string& path) {
    std::vector<uint8_t> bytes;
    std::string error;
    EXPECT_TRUE(ReadFileBytes(path, bytes, error)) << error;
    return bytes;
  }

  // Compresses `input` with the given options and decompresses the result
  // over `reference` (or grey); returns the decoded picture.
  Picture RoundTrip(CompressOptions compress, const std::string& reference, uint32_t width, uint32_t height) {
    std::string summary;
    std::string error;
    compress.referencePath = reference;
    compress.outputPath = Path("stream.zk");
    EXPECT_TRUE(RunCompress(compress, summary, error)) << error;
    DecompressOptions decompress;
    decompress.width = width;
    decompress.height = height;
    decompress.referencePath = reference;
    decompress.inputPath = compress.outputPath;
    decompress.outputPath = Path("decoded.png");
    EXPECT_TRUE(RunDecompress(decompress, summary, error)) << error;
    return Load(decompress.outputPath);
  }

 private:
  std::string prefix_;
  std::vector<std::string> created_;
};

// What 5-6-5 pixels keep of blue, green and red.
uint8_t Kept565(size_t byteIndex, uint8_t value) { return value & (byteIndex % 3 == 1 ? 0xFC : 0xF8); }

}  // namespace

TEST_F(CodecCommands, WithoutStagesTheStreamIsTheRawPixels) {
  const Picture picture = RandomPicture(16, 4, 1);
  CompressOptions options;
  options.stageFlags = 0;
  options.inputPath = Save(picture, "in.png");
  const Picture decoded = RoundTrip(options, "", 16, 4);
  EXPECT_EQ(decoded.pixels, picture.pixels);

  const std::vector<uint8_t> stream = Bytes(Path("stream.zk"));
  ASSERT_EQ(stream.size(), 1 + picture.ByteCount());
  EXPECT_EQ(stream[0], 0x00);
  EXPECT_TRUE(std::equal(picture.pixels.begin(), picture.pixels.end(), stream.begin() + 1));
}

TEST_F(CodecCommands, DefaultStagesDecodeToTheFiveSixFivePixels) {
  // Large enough (and flat enough) for Huffman to apply as well.
  Picture picture = RandomPicture(64, 32, 2);
  for (size_t i = 0; i < picture.pixels.size() / 2; ++i) picture.pixels[i] = 0x40;
  CompressOptions options;
  options.inputPath = Save(picture, "in.png");
  const Picture decoded = RoundTrip(options, "", 64, 32);
  ASSERT_EQ(decoded.pixels.size(), picture.pixels.size());
  for (size_t i = 0; i < picture.pixels.size(); ++i) {
    ASSERT_EQ(decoded.pixels[i], Kept565(i, picture.pixels[i])) << "byte " << i;
  }
  EXPECT_NE(Bytes(Path("stream.zk"))[0] & 0x02, 0);
}

TEST_F(CodecCommands, UnchangedPixelsKeepTheReferenceExactly) {
  const Picture reference = RandomPicture(32, 8, 3);
  Picture changed = reference;
  for (size_t i = 0; i < 3 * 32; ++i) changed.pixels[i] ^= 0x5A;  // the bottom row only
  CompressOptions options;
  options.inputPath = Save(changed, "in.png");
  const std::string referencePath = Save(reference, "ref.png");
  const Picture decoded = RoundTrip(options, referencePath, 32, 8);
  ASSERT_EQ(decoded.pixels.size(), changed.pixels.size());
  for (size_t i = 0; i < changed.pixels.size(); ++i) {
    const uint8_t expected = i < 3 * 32 ? Kept565(i, changed.pixels[i]) : reference.pixels[i];
    ASSERT_EQ(decoded.pixels[i], expected) << "byte " << i;
  }
}

TEST_F(CodecCommands, AnUnchangedPictureGivesAnEmptyStreamThatChangesNothing) {
  const Picture picture = RandomPicture(8, 2, 4);
  const std::string path = Save(picture, "in.png");
  CompressOptions options;
  options.inputPath = path;
  std::string summary;
  const Picture decoded = RoundTrip(options, path, 8, 2);
  EXPECT_TRUE(Bytes(Path("stream.zk")).empty());
  EXPECT_EQ(decoded.pixels, picture.pixels);
}

TEST_F(CodecCommands, WithoutAReferenceTheRegionStartsGreyAndIsCropped) {
  // A one-pixel region decodes over grey; width 7 becomes 4.
  const std::string stream = Path("one_pixel.zk");
  const uint8_t tokens[] = {0x02, 0x01, 0x00, 0x00, 0xF8, 0x00, 0xC0};  // one red pixel, end
  std::string error;
  ASSERT_TRUE(WriteFileBytes(stream, tokens, sizeof tokens, error)) << error;
  DecompressOptions options;
  options.width = 7;
  options.height = 1;
  options.inputPath = stream;
  options.outputPath = Path("out.png");
  std::string summary;
  ASSERT_TRUE(RunDecompress(options, summary, error)) << error;
  const Picture decoded = Load(options.outputPath);
  ASSERT_EQ(decoded.width, 4u);
  const std::vector<uint8_t> expected = {0x00, 0x00, 0xF8, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80};
  EXPECT_EQ(decoded.pixels, expected);
}

TEST_F(CodecCommands, ACorruptStreamFailsAndWritesNoPicture) {
  const std::string stream = Path("corrupt.zk");
  const uint8_t tokens[] = {0x02, 0xFF, 0x3F};  // a literal block far larger than the region
  std::string error;
  ASSERT_TRUE(WriteFileBytes(stream, tokens, sizeof tokens, error)) << error;
  DecompressOptions options;
  options.width = 8;
  options.height = 2;
  options.inputPath = stream;
  options.outputPath = Path("never.png");
  std::string summary;
  EXPECT_FALSE(RunDecompress(options, summary, error));
  EXPECT_NE(error.find("does not decode"), std::string::npos);
  Picture unused;
  EXPECT_FALSE(ReadPictureFile(options.outputPath, unused, error));
}

TEST_F(CodecCommands, AReferenceOfAnotherSizeIsRefused) {
  CompressOptions options;
  options.inputPath = Save(RandomPicture(8, 2, 5), "in.png");
  options.referencePath = Save(RandomPicture(8, 3, 6), "ref.png");
  options.outputPath = Path("stream.zk");
  std::string summary;
  std::string error;
  EXPECT_FALSE(RunCompress(options, summary, error));
  EXPECT_NE(error.find("8x2"), std::string::npos);
}
