#include "ImportRedirect.h"

#include <cstdint>
#include <cstring>

namespace {
void** FindSlot(HMODULE module, const char* dll, const char* name) {
  auto* base = reinterpret_cast<uint8_t*>(module);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(
      base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
  const IMAGE_DATA_DIRECTORY& imports =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  for (auto* d = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
       d->Name; ++d) {
    if (_stricmp(reinterpret_cast<const char*>(base + d->Name), dll) != 0) continue;
    auto* names = reinterpret_cast<IMAGE_THUNK_DATA32*>(base + d->OriginalFirstThunk);
    auto* slots = reinterpret_cast<void**>(base + d->FirstThunk);
    for (; names->u1.AddressOfData; ++names, ++slots) {
      if (IMAGE_SNAP_BY_ORDINAL32(names->u1.Ordinal)) continue;
      const auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
      if (std::strcmp(reinterpret_cast<const char*>(byName->Name), name) == 0) return slots;
    }
  }
  return nullptr;
}
}  // namespace

ImportRedirect::ImportRedirect(HMODULE module, const char* dll, const char* name, void* to) {
  if (!module || !(slot_ = FindSlot(module, dll, name))) return;
  original_ = *slot_;
  Write(slot_, to);
}

ImportRedirect::~ImportRedirect() {
  if (slot_) Write(slot_, original_);
}

void ImportRedirect::Write(void** slot, void* value) {
  DWORD old;
  VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &old);
  *slot = value;
  VirtualProtect(slot, sizeof *slot, old, &old);
}
