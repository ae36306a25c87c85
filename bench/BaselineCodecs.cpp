#include "BaselineCodecs.h"

#include <lz4.h>
#include <zlib.h>
#include <zstd.h>

#include <climits>
#include <string>

namespace {

class DeflateCodec : public BaselineCodec {
 public:
  explicit DeflateCodec(int level) : name_("zlib-" + std::to_string(level)) {
    deflateReady_ = deflateInit(&deflater_, level) == Z_OK;
    inflateReady_ = inflateInit(&inflater_) == Z_OK;
  }
  ~DeflateCodec() override {
    if (deflateReady_) deflateEnd(&deflater_);
    if (inflateReady_) inflateEnd(&inflater_);
  }
  const char* Name() const override { return name_.c_str(); }
  size_t Bound(size_t n) const override { return compressBound(static_cast<uLong>(n)); }

  size_t Encode(const uint8_t* src, size_t n, uint8_t* dst, size_t capacity) override {
    if (!deflateReady_ || deflateReset(&deflater_) != Z_OK) return 0;
    deflater_.next_in = const_cast<Bytef*>(src);
    deflater_.avail_in = static_cast<uInt>(n);
    deflater_.next_out = dst;
    deflater_.avail_out = static_cast<uInt>(capacity);
    return deflate(&deflater_, Z_FINISH) == Z_STREAM_END ? deflater_.total_out : 0;
  }

  size_t Decode(const uint8_t* src, size_t n, uint8_t* dst, size_t capacity) override {
    if (!inflateReady_ || inflateReset(&inflater_) != Z_OK) return 0;
    inflater_.next_in = const_cast<Bytef*>(src);
    inflater_.avail_in = static_cast<uInt>(n);
    inflater_.next_out = dst;
    inflater_.avail_out = static_cast<uInt>(capacity);
    return inflate(&inflater_, Z_FINISH) == Z_STREAM_END ? inflater_.total_out : 0;
  }

 private:
  std::string name_;
  z_stream deflater_ = {};
  z_stream inflater_ = {};
  bool deflateReady_ = false;
  bool inflateReady_ = false;
};

class ZstdCodec : public BaselineCodec {
 public:
  explicit ZstdCodec(int level)
      : level_(level), name_("zstd-" + std::to_string(level)), compressor_(ZSTD_createCCtx()),
        decompressor_(ZSTD_createDCtx()) {}
  ~ZstdCodec() override {
    ZSTD_freeCCtx(compressor_);
    ZSTD_freeDCtx(decompressor_);
  }
  const char* Name() const override { return name_.c_str(); }
  size_t Bound(size_t n) const override { return ZSTD_compressBound(n); }

  size_t Encode(const uint8_t* src, size_t n, uint8_t* dst, size_t capacity) override {
    if (compressor_ == nullptr) return 0;
    const size_t written = ZSTD_compressCCtx(compressor_, dst, capacity, src, n, level_);
    return ZSTD_isError(written) ? 0 : written;
  }

  size_t Decode(const uint8_t* src, size_t n, uint8_t* dst, size_t capacity) override {
    if (decompressor_ == nullptr) return 0;
    const size_t produced = ZSTD_decompressDCtx(decompressor_, dst, capacity, src, n);
    return ZSTD_isError(produced) ? 0 : produced;
  }

 private:
  int level_;
  std::string name_;
  ZSTD_CCtx* compressor_;
  ZSTD_DCtx* decompressor_;
};

class Lz4Codec : public BaselineCodec {
 public:
  const char* Name() const override { return "lz4"; }
  size_t Bound(size_t n) const override { return n > INT_MAX ? 0 : LZ4_compressBound(static_cast<int>(n)); }

  size_t Encode(const uint8_t* src, size_t n, uint8_t* dst, size_t capacity) override {
    if (n > INT_MAX || capacity > INT_MAX) return 0;
    const int written = LZ4_compress_default(reinterpret_cast<const char*>(src), reinterpret_cast<char*>(dst),
                                             static_cast<int>(n), static_cast<int>(capacity));
    return written > 0 ? static_cast<size_t>(written) : 0;
  }

  size_t Decode(const uint8_t* src, size_t n, uint8_t* dst, size_t capacity) override {
    if (n > INT_MAX || capacity > INT_MAX) return 0;
    const int produced = LZ4_decompress_safe(reinterpret_cast<const char*>(src), reinterpret_cast<char*>(dst),
                                             static_cast<int>(n), static_cast<int>(capacity));
    return produced > 0 ? static_cast<size_t>(produced) : 0;
  }
};

}  // namespace

std::vector<std::unique_ptr<BaselineCodec>> MakeBaselineCodecs() {
  std::vector<std::unique_ptr<BaselineCodec>> codecs;
  codecs.push_back(std::make_unique<DeflateCodec>(1));
  codecs.push_back(std::make_unique<DeflateCodec>(6));
  codecs.push_back(std::make_unique<ZstdCodec>(1));
  codecs.push_back(std::make_unique<ZstdCodec>(3));
  codecs.push_back(std::make_unique<Lz4Codec>());
  return codecs;
}
