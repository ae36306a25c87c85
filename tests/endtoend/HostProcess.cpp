#include "HostProcess.h"

#include <psapi.h>
#include <tlhelp32.h>

#include <fstream>
#include <sstream>
#include <vector>

namespace {
std::string ProgramFolder() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder = path;
  return folder.substr(0, folder.find_last_of("\\/") + 1);
}

// The handles every process holds, as the system lists them (the per-process
// count is not available everywhere).
struct SystemHandle {
  ULONG ownerPid;
  BYTE objectType;
  BYTE flags;
  USHORT value;
  PVOID object;
  ULONG access;
};

int CountHandlesOf(DWORD pid) {
  using Query = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
  auto query = reinterpret_cast<Query>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
  constexpr ULONG kSystemHandleInformation = 16;
  constexpr LONG kInfoLengthMismatch = static_cast<LONG>(0xC0000004);
  std::vector<uint8_t> buffer(1 << 20);
  LONG status;
  ULONG length = 0;
  while ((status = query(kSystemHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()),
                         &length)) == kInfoLengthMismatch)
    buffer.resize(buffer.size() * 2);
  if (status != 0) return -1;
  const ULONG count = *reinterpret_cast<const ULONG*>(buffer.data());
  const auto* handles = reinterpret_cast<const SystemHandle*>(buffer.data() + sizeof(ULONG_PTR));
  int owned = 0;
  for (ULONG i = 0; i < count; ++i) owned += handles[i].ownerPid == pid;
  return owned;
}

int CountThreadsOf(DWORD pid) {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  THREADENTRY32 entry = {};
  entry.dwSize = sizeof entry;
  int threads = 0;
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
    threads += entry.th32OwnerProcessID == pid;
  CloseHandle(snapshot);
  return threads;
}
}  // namespace

HostProcess::Usage HostProcess::TakeUsage() const {
  Usage usage;
  PROCESS_MEMORY_COUNTERS memory = {};
  memory.cb = sizeof memory;
  if (GetProcessMemoryInfo(process_.hProcess, &memory, sizeof memory)) {
    usage.committedBytes = memory.PagefileUsage;
    usage.peakCommittedBytes = memory.PeakPagefileUsage;
  }
  usage.threads = CountThreadsOf(process_.dwProcessId);
  usage.handles = CountHandlesOf(process_.dwProcessId);
  return usage;
}

HostProcess::~HostProcess() {
  if (input_) CloseHandle(input_);
  if (!process_.hProcess) return;
  if (IsRunning()) {
    TerminateProcess(process_.hProcess, 99);
    WaitForSingleObject(process_.hProcess, 5000);
  }
  CloseHandle(process_.hThread);
  CloseHandle(process_.hProcess);
}

bool HostProcess::Start(const std::string& arguments, const std::string& outputFile) {
  return StartProgram("zkhost.exe", arguments, outputFile);
}

bool HostProcess::StartProgram(const std::string& program, const std::string& arguments,
                               const std::string& outputFile) {
  return StartPath(ProgramFolder() + program, arguments, outputFile);
}

bool HostProcess::StartPath(const std::string& path, const std::string& arguments,
                            const std::string& outputFile) {
  outputFile_ = outputFile;
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE output = CreateFileA(outputFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (output == INVALID_HANDLE_VALUE) return false;
  HANDLE input = nullptr;
  if (!CreatePipe(&input, &input_, &inherit, 0)) {
    CloseHandle(output);
    return false;
  }
  SetHandleInformation(input_, HANDLE_FLAG_INHERIT, 0);  // the test's end stays the test's
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = output;
  startup.hStdError = output;
  startup.hStdInput = input;
  std::string commandLine = "\"" + path + "\" " + arguments;
  BOOL started = CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr,
                                nullptr, &startup, &process_);
  CloseHandle(output);
  CloseHandle(input);
  return started != FALSE;
}

bool HostProcess::WriteInput(const std::string& text) {
  DWORD written = 0;
  return input_ && WriteFile(input_, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
         written == text.size();
}

bool HostProcess::WaitForExit(DWORD timeoutMs, DWORD* exitCode) {
  if (WaitForSingleObject(process_.hProcess, timeoutMs) != WAIT_OBJECT_0) return false;
  GetExitCodeProcess(process_.hProcess, exitCode);
  return true;
}

bool HostProcess::IsRunning() const {
  return process_.hProcess && WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT;
}

bool HostProcess::ControlProcess(const char* ntdllFunction) {
  using ProcessControl = LONG(WINAPI*)(HANDLE);
  auto control = reinterpret_cast<ProcessControl>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), ntdllFunction)));
  return control && process_.hProcess && control(process_.hProcess) >= 0;
}

std::string HostProcess::Output() const {
  std::ifstream in(outputFile_);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

HWND HostProcess::SessionWindow() const {
  for (HWND w = FindWindowExA(nullptr, nullptr, "Morvane Zenkast", nullptr); w;
       w = FindWindowExA(nullptr, w, "Morvane Zenkast", nullptr)) {
    DWORD owner = 0;
    GetWindowThreadProcessId(w, &owner);
    if (owner == process_.dwProcessId) return w;
  }
  return nullptr;
}
