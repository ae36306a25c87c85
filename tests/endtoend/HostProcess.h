#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

// A zkhost process (or another program) started by a test, its output kept in a file and its
// standard input a pipe the test writes. Ended by force if it is still
// running when the object goes. Test thread only.
class HostProcess {
 public:
  HostProcess() = default;
  ~HostProcess();
  HostProcess(const HostProcess&) = delete;
  HostProcess& operator=(const HostProcess&) = delete;

  // Runs zkhost.exe (beside the test program) with the arguments, in the
  // current directory, so that it reads the same .\ZK.ini.
  bool Start(const std::string& arguments, const std::string& outputFile);
  // The same for another program beside the test program.
  bool StartProgram(const std::string& program, const std::string& arguments,
                    const std::string& outputFile);
  // The same for a program anywhere, named by its full path.
  bool StartPath(const std::string& path, const std::string& arguments,
                 const std::string& outputFile);
  bool WriteInput(const std::string& text);
  // False when it is still running at the deadline.
  bool WaitForExit(DWORD timeoutMs, DWORD* exitCode);
  bool IsRunning() const;
  // Holds every thread of the process still until Resume: what it has not
  // answered yet stays unanswered meanwhile.
  bool Suspend() { return ControlProcess("NtSuspendProcess"); }
  bool Resume() { return ControlProcess("NtResumeProcess"); }
  DWORD ProcessId() const { return process_.dwProcessId; }
  // What the process holds, to see that it gives back what it took.
  struct Usage {
    uint64_t committedBytes = 0;  // private memory committed now
    uint64_t peakCommittedBytes = 0;
    int threads = 0;
    int handles = 0;
  };
  Usage TakeUsage() const;
  // Its session window ("Morvane Zenkast"), or null before it has one.
  HWND SessionWindow() const;
  std::string Output() const;

 private:
  bool ControlProcess(const char* ntdllFunction);

  PROCESS_INFORMATION process_ = {};
  HANDLE input_ = nullptr;
  std::string outputFile_;
};
