#include "FileBytes.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

std::string SystemError(const char* what, const std::string& path) {
  return std::string(what) + " " + path + ": " + std::strerror(errno);
}

}  // namespace

bool ReadFileBytes(const std::string& path, std::vector<uint8_t>& bytes, std::string& error) {
  FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    error = SystemError("cannot open", path);
    return false;
  }
  bytes.clear();
  uint8_t chunk[65536];
  size_t got = 0;
  while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) bytes.insert(bytes.end(), chunk, chunk + got);
  const bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (failed) error = SystemError("cannot read", path);
  return !failed;
}

bool WriteFileBytes(const std::string& path, const uint8_t* bytes, size_t count, std::string& error) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) {
    error = SystemError("cannot create", path);
    return false;
  }
  const bool written = std::fwrite(bytes, 1, count, file) == count;
  if (std::fclose(file) != 0 || !written) {
    error = SystemError("cannot write", path);
    return false;
  }
  return true;
}
