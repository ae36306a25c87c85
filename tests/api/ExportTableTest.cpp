#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "ZKApi.h"

namespace {
const std::vector<std::string> kHostFunctions = {
    "ZK_AddHighlight",        "ZK_AddMarker",          "ZK_ClearAnnotation",
    "ZK_ClickToShare",        "ZK_EnableAnnotation",   "ZK_EnableCapture",
    "ZK_EnableInputControl",  "ZK_GetQueuedEvent",     "ZK_Init",
    "ZK_PauseCapture",        "ZK_PostEvent",          "ZK_Release",
    "ZK_RequestFullUpdate",   "ZK_SetInputUpdateFrequency", "ZK_SetParentWindow",
    "ZK_SetPollFrequency",    "ZK_SetPosition",        "ZK_SetUpdateFrequency",
    "ZK_WaitForEvents"};

// The Java host's natives are the library's only other exports.
bool IsJavaNative(const std::string& name) {
  const std::string prefix = "Java_com_morvane_zksharedlet_ZKWrapper_";
  return name.compare(0, prefix.size(), prefix) == 0 ||
         name.compare(0, prefix.size() + 1, "_" + prefix) == 0;
}

// The names in the export directory of a loaded module, as the loader reads
// them: a name pointer table of RVAs into the mapped image.
std::vector<std::string> ExportedNames(HMODULE module) {
  const auto* base = reinterpret_cast<const uint8_t*>(module);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  if (dos->e_magic != IMAGE_DOS_SIGNATURE) return {};
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(base + dos->e_lfanew);
  if (nt->Signature != IMAGE_NT_SIGNATURE) return {};
  const IMAGE_DATA_DIRECTORY& entry =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  if (entry.VirtualAddress == 0) return {};
  const auto* directory =
      reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + entry.VirtualAddress);
  const auto* names = reinterpret_cast<const DWORD*>(base + directory->AddressOfNames);
  std::vector<std::string> result;
  for (DWORD i = 0; i < directory->NumberOfNames; ++i)
    result.emplace_back(reinterpret_cast<const char*>(base + names[i]));
  return result;
}
}  // namespace

TEST(ExportTable, NamesExactlyTheNineteenHostFunctionsUndecorated) {
  HMODULE module = ZKModule();
  ASSERT_NE(module, nullptr) << "ZK.dll not found beside the test";
  std::vector<std::string> names = ExportedNames(module);
  ASSERT_FALSE(names.empty()) << "no export directory";

  // Any name that mentions ZK_ counts: a decorated "_ZK_Init" or
  // "ZK_Init@4" would stand beside or instead of the plain one.
  std::vector<std::string> hostNames;
  for (const std::string& name : names)
    if (name.find("ZK_") != std::string::npos) hostNames.push_back(name);
  std::sort(hostNames.begin(), hostNames.end());
  EXPECT_EQ(hostNames, kHostFunctions);

  for (const std::string& name : names)
    EXPECT_TRUE(name.find("ZK_") != std::string::npos || IsJavaNative(name))
        << "unexpected export " << name;
}

TEST(ExportTable, EveryHostFunctionResolvesInsideTheLibrary) {
  HMODULE module = ZKModule();
  ASSERT_NE(module, nullptr);
  const auto* base = reinterpret_cast<const uint8_t*>(module);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(
      base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
  const uint8_t* end = base + nt->OptionalHeader.SizeOfImage;
  for (const std::string& name : kHostFunctions) {
    const auto* address = reinterpret_cast<const uint8_t*>(
        reinterpret_cast<void*>(GetProcAddress(module, name.c_str())));
    EXPECT_TRUE(address >= base && address < end) << name << " is missing or forwarded";
  }
  EXPECT_NE(LoadZKApi(), nullptr);
}
