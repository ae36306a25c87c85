#pragma once

// One imported function of a loaded module pointed elsewhere for the life of
// the object: the module's import address table slot is rewritten, so only
// that module's own calls are redirected. For tests that watch what the
// library calls. Install and remove while the module's threads cannot be
// inside the function, or accept that calls in flight go either way.

#include <windows.h>

class ImportRedirect {
 public:
  // `dll` and `name` as the import table names them ("user32.dll", "SetTimer").
  ImportRedirect(HMODULE module, const char* dll, const char* name, void* to);
  ~ImportRedirect();
  ImportRedirect(const ImportRedirect&) = delete;
  ImportRedirect& operator=(const ImportRedirect&) = delete;

  bool Installed() const { return slot_ != nullptr; }
  // The real function, to be called by the replacement.
  void* Original() const { return original_; }

 private:
  static void Write(void** slot, void* value);

  void** slot_ = nullptr;
  void* original_ = nullptr;
};
