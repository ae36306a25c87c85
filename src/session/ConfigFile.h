#pragma once

// ConfigFile reads integer and boolean keys of one private-profile file. It
// holds the file name only; every read goes to the file, so it is read when
// asked and never cached or written back.
class ConfigFile {
 public:
  ConfigFile() { fileName_[0] = '\0'; }

  // Copies at most 256 characters; the name is always terminated.
  void SetFileName(const char* fileName);
  const char* GetFileName() const { return fileName_; }

  int GetInt(const char* section, const char* key, int defaultValue) const;
  // Any non-zero integer is true. Only the low byte of the default counts.
  bool GetBool(const char* section, const char* key, bool defaultValue) const;

 private:
  char fileName_[257];
};
