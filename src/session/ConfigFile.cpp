#include "session/ConfigFile.h"

#include <windows.h>

#include <cstring>

void ConfigFile::SetFileName(const char* fileName) {
  std::strncpy(fileName_, fileName, sizeof fileName_ - 1);
  fileName_[sizeof fileName_ - 1] = '\0';
}

int ConfigFile::GetInt(const char* section, const char* key, int defaultValue) const {
  return static_cast<int>(GetPrivateProfileIntA(section, key, defaultValue, fileName_));
}

bool ConfigFile::GetBool(const char* section, const char* key, bool defaultValue) const {
  return GetInt(section, key, static_cast<unsigned char>(defaultValue)) != 0;
}
