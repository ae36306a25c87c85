#pragma once

#include <string>
#include <vector>

// Settings that zkhost hands the library for one session only. The library
// reads .\ZK.ini once, while ZK_Init creates the session; the values written
// here are taken back when the object goes (after ZK_Init), so that the
// file is left as the user had it. Command thread.
class InitSettings {
 public:
  InitSettings() = default;
  ~InitSettings();
  InitSettings(const InitSettings&) = delete;
  InitSettings& operator=(const InitSettings&) = delete;

  // Writes key=value in section [ZK], remembering what stood there.
  void Set(const char* key, const char* value);

 private:
  struct Previous {
    std::string key;
    bool present;
    std::string value;
  };
  std::vector<Previous> previous_;
  bool fileCreated_ = false;
};
