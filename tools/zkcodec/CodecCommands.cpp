#include "CodecCommands.h"

#include <cstdio>
#include <vector>

#include "CompressorSetup.h"
#include "FileBytes.h"
#include "PictureFile.h"

namespace {

std::string SizeText(uint32_t width, uint32_t height) {
  return std::to_string(width) + "x" + std::to_string(height);
}

bool LoadReference(const std::string& path, uint32_t width, uint32_t height, Picture& reference,
                   std::string& error) {
  if (!ReadPictureFile(path, reference, error)) return false;
  if (reference.width != width || reference.height != height) {
    error = path + ": the reference is " + SizeText(reference.width, reference.height) + ", not " +
            SizeText(width, height);
    return false;
  }
  return true;
}

std::string HexByte(uint8_t value) {
  char text[8];
  std::snprintf(text, sizeof text, "%02X", value);
  return text;
}

}  // namespace

bool RunCompress(const CompressOptions& options, std::string& summary, std::string& error) {
  Picture picture;
  if (!ReadPictureFile(options.inputPath, picture, error)) return false;
  Picture reference;
  const bool hasReference = !options.referencePath.empty();
  if (hasReference && !LoadReference(options.referencePath, picture.width, picture.height, reference, error)) {
    return false;
  }
  if (!FitsOneRegion(uint64_t{picture.width} * picture.height)) {
    error = options.inputPath + ": the picture is too large for one region";
    return false;
  }

  CompressionMgr compressor;
  ConfigureCompressor(compressor, options.stageFlags, options.lzMaxSearch);
  const uint32_t pixelCount = picture.width * picture.height;
  std::vector<uint8_t> stream(CompressBound(pixelCount));
  const uint32_t length = compressor.Compress(3, pixelCount, hasReference ? reference.pixels.data() : nullptr,
                                              picture.pixels.data(), stream.data());
  // Only a run-length stage compares with the reference, and a region that
  // equals it leaves nothing to send: that is an empty stream, not a failure.
  const bool unchanged = length == 0 && hasReference &&
                         (options.stageFlags & (STAGE_RLE565 | STAGE_RLE332)) != 0 &&
                         picture.pixels == reference.pixels;
  if (length == 0 && !unchanged) {
    error = options.inputPath + ": compression failed";
    return false;
  }
  if (!WriteFileBytes(options.outputPath, stream.data(), length, error)) return false;
  summary = options.inputPath + ": " + SizeText(picture.width, picture.height) + ", " +
            std::to_string(picture.ByteCount()) + " bytes -> " +
            (unchanged ? std::string("unchanged, empty stream")
                       : std::to_string(length) + " bytes, stage byte " + HexByte(stream[0]));
  return true;
}

bool RunDecompress(const DecompressOptions& options, std::string& summary, std::string& error) {
  const uint32_t width = FrameWidth(options.width);
  Picture region;
  if (options.referencePath.empty()) {
    region = GreyPicture(width, options.height);
  } else if (!LoadReference(options.referencePath, width, options.height, region, error)) {
    return false;
  }
  std::vector<uint8_t> stream;
  if (!ReadFileBytes(options.inputPath, stream, error)) return false;

  const uint32_t outLength = static_cast<uint32_t>(region.ByteCount());
  uint32_t covered = 0;
  if (!stream.empty()) {
    // A tool receives no palette messages: 8-bit values decode to their nominal colours.
    SetNominalPaletteTable();
    CompressionMgr decompressor;
    covered = decompressor.Decompress(static_cast<uint32_t>(stream.size()), stream.data(), outLength,
                                      region.pixels.data());
    if (covered == 0) {
      error = options.inputPath + ": the stream does not decode as a " + SizeText(width, options.height) +
              " region";
      return false;
    }
  }
  if (!WritePictureFile(options.outputPath, region, error)) return false;
  summary = options.inputPath + ": " + std::to_string(stream.size()) + " bytes -> " +
            SizeText(width, options.height) + ", " +
            (stream.empty() ? std::string("empty stream, region unchanged")
                            : std::to_string(covered) + " of " + std::to_string(outLength) + " bytes covered");
  return true;
}
