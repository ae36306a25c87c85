#include "InitSettings.h"

#include <windows.h>

namespace {
const char kFile[] = ".\\ZK.ini";
const char kSection[] = "ZK";
// Read back when a key is absent; no setting has this value.
const char kAbsent[] = "\x01zkhost-absent\x01";
}  // namespace

void InitSettings::Set(const char* key, const char* value) {
  if (previous_.empty() && GetFileAttributesA(kFile) == INVALID_FILE_ATTRIBUTES)
    fileCreated_ = true;
  char old[512] = {};
  GetPrivateProfileStringA(kSection, key, kAbsent, old, sizeof old, kFile);
  const bool present = lstrcmpA(old, kAbsent) != 0;
  previous_.push_back(Previous{key, present, present ? old : ""});
  WritePrivateProfileStringA(kSection, key, value, kFile);
}

InitSettings::~InitSettings() {
  if (fileCreated_) {
    DeleteFileA(kFile);
    return;
  }
  // Newest first, so that a key set twice ends as it was before the first.
  for (auto it = previous_.rbegin(); it != previous_.rend(); ++it)
    WritePrivateProfileStringA(kSection, it->key.c_str(), it->present ? it->value.c_str() : nullptr,
                               kFile);
}
