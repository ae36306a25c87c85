#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "PrivateFile.h"

namespace {
bool WriteWhole(int file, const char* data, size_t length) {
  while (length > 0) {
    ssize_t written = write(file, data, length);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    data += written;
    length -= static_cast<size_t>(written);
  }
  return true;
}
}  // namespace

bool CreatePrivateFile(const std::string& path, const std::string& contents) {
  int file = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (file < 0) return false;
  bool written = WriteWhole(file, contents.data(), contents.size());
  written = close(file) == 0 && written;
  if (!written) unlink(path.c_str());
  return written;
}
