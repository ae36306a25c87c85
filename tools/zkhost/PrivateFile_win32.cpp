#include <windows.h>

#include "PrivateFile.h"

// The file takes the access rules of its folder, as the user's own files do:
// on Windows it is the folder (the user's profile) that keeps others out.
bool CreatePrivateFile(const std::string& path, const std::string& contents) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                            nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool whole = WriteFile(file, contents.data(), static_cast<DWORD>(contents.size()), &written, nullptr) &&
               written == contents.size();
  whole = CloseHandle(file) && whole;
  if (!whole) DeleteFileA(path.c_str());
  return whole;
}
