#include <windows.h>
#include <wincodec.h>

#include <cstdio>
#include <vector>

#include "PictureFile.h"

namespace {

// Holds one COM interface and releases it when the scope ends.
template <class T>
class ComRef {
 public:
  ComRef() = default;
  ComRef(const ComRef&) = delete;
  ComRef& operator=(const ComRef&) = delete;
  ~ComRef() {
    if (pointer_ != nullptr) pointer_->Release();
  }
  T* operator->() const { return pointer_; }
  T* Get() const { return pointer_; }
  T** Out() { return &pointer_; }
  void** OutVoid() { return reinterpret_cast<void**>(&pointer_); }

 private:
  T* pointer_ = nullptr;
};

// COM must be initialised on the calling thread for WIC; a thread that
// already chose another apartment model is fine as it is.
class ComApartment {
 public:
  ComApartment() : initialised_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;
  ~ComApartment() {
    if (initialised_) CoUninitialize();
  }

 private:
  bool initialised_;
};

std::wstring WidePath(const std::string& path) {
  const int length = MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, nullptr, 0);
  std::wstring wide(length > 0 ? length : 1, L'\0');
  if (length > 0) MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, &wide[0], length);
  wide.resize(wide.size() - 1);
  return wide;
}

bool Check(HRESULT result, const char* step, const std::string& path, std::string& error) {
  if (SUCCEEDED(result)) return true;
  char text[64];
  std::snprintf(text, sizeof text, " failed (0x%08lX)", static_cast<unsigned long>(result));
  error = path + ": " + step + text;
  return false;
}

bool CreateFactory(ComRef<IWICImagingFactory>& factory, const std::string& path, std::string& error) {
  return Check(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IWICImagingFactory, factory.OutVoid()),
               "creating the imaging factory", path, error);
}

bool DecodeFile(const std::string& path, Picture& picture, std::string& error) {
  ComRef<IWICImagingFactory> factory;
  ComRef<IWICBitmapDecoder> decoder;
  ComRef<IWICBitmapFrameDecode> frame;
  ComRef<IWICFormatConverter> converter;
  const std::wstring widePath = WidePath(path);
  if (!CreateFactory(factory, path, error) ||
      !Check(factory->CreateDecoderFromFilename(widePath.c_str(), nullptr, GENERIC_READ,
                                                WICDecodeMetadataCacheOnDemand, decoder.Out()),
             "opening", path, error) ||
      !Check(decoder->GetFrame(0, frame.Out()), "reading the first frame", path, error) ||
      !Check(factory->CreateFormatConverter(converter.Out()), "creating a converter", path, error) ||
      !Check(converter->Initialize(frame.Get(), GUID_WICPixelFormat24bppBGR, WICBitmapDitherTypeNone,
                                   nullptr, 0.0, WICBitmapPaletteTypeCustom),
             "converting to 24-bit BGR", path, error)) {
    return false;
  }
  UINT width = 0;
  UINT height = 0;
  if (!Check(converter->GetSize(&width, &height), "reading the size", path, error)) return false;
  const size_t stride = static_cast<size_t>(width) * 3;
  std::vector<BYTE> rows(stride * height);
  if (!Check(converter->CopyPixels(nullptr, static_cast<UINT>(stride), static_cast<UINT>(rows.size()),
                                   rows.data()),
             "reading the pixels", path, error)) {
    return false;
  }
  if (!PictureFromTopDownBGR(rows.data(), stride, width, height, picture)) {
    error = path + ": narrower than 4 pixels";
    return false;
  }
  return true;
}

bool EncodeFile(const std::string& path, const Picture& picture, std::string& error) {
  ComRef<IWICImagingFactory> factory;
  ComRef<IWICStream> stream;
  ComRef<IWICBitmapEncoder> encoder;
  ComRef<IWICBitmapFrameEncode> frame;
  ComRef<IPropertyBag2> options;
  const std::wstring widePath = WidePath(path);
  WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
  if (!CreateFactory(factory, path, error) ||
      !Check(factory->CreateStream(stream.Out()), "creating a stream", path, error) ||
      !Check(stream->InitializeFromFilename(widePath.c_str(), GENERIC_WRITE), "creating", path, error) ||
      !Check(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, encoder.Out()),
             "creating the encoder", path, error) ||
      !Check(encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache), "starting the encoder", path,
             error) ||
      !Check(encoder->CreateNewFrame(frame.Out(), options.Out()), "creating a frame", path, error) ||
      !Check(frame->Initialize(options.Get()), "starting the frame", path, error) ||
      !Check(frame->SetSize(picture.width, picture.height), "setting the size", path, error) ||
      !Check(frame->SetPixelFormat(&format), "setting the pixel format", path, error)) {
    return false;
  }
  // The encoder may substitute a format it prefers; only ours is acceptable.
  if (!IsEqualGUID(format, GUID_WICPixelFormat24bppBGR)) {
    error = path + ": the encoder does not take 24-bit BGR pixels";
    return false;
  }
  const UINT stride = static_cast<UINT>(picture.Stride());
  for (uint32_t y = 0; y < picture.height; ++y) {
    BYTE* row = const_cast<BYTE*>(picture.TopDownRow(y));
    if (!Check(frame->WritePixels(1, stride, stride, row), "writing the pixels", path, error)) return false;
  }
  return Check(frame->Commit(), "finishing the frame", path, error) &&
         Check(encoder->Commit(), "finishing the file", path, error);
}

}  // namespace

bool ReadPictureFile(const std::string& path, Picture& picture, std::string& error) {
  ComApartment apartment;
  return DecodeFile(path, picture, error);
}

bool WritePictureFile(const std::string& path, const Picture& picture, std::string& error) {
  ComApartment apartment;
  return EncodeFile(path, picture, error);
}
