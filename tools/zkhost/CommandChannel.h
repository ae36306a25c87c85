#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <thread>

// CommandChannel: the one way into a running zkhost. Command lines come from
// two sources, standard input (for a person at a console; its end of file
// just ends that source) and the named pipe \\.\pipe\zkhost.NAME (for
// scripts and tests, through `zkhost send`). Each line gets one reply line:
// written back on the pipe, or printed on standard output.
//
// Threads: the owner opens, serves and closes the channel on its command
// thread, where every command runs, one at a time, in arrival order; the
// pipe has a thread of its own, and standard input a reader thread that may
// stay blocked in its read until the process ends (it never touches the
// channel after Close).
class CommandChannel {
 public:
  using Runner = std::function<std::string(const std::string& line)>;

  explicit CommandChannel(const std::string& name);
  ~CommandChannel();
  CommandChannel(const CommandChannel&) = delete;
  CommandChannel& operator=(const CommandChannel&) = delete;

  // Fails when another zkhost has the name.
  bool Open(std::string* error);
  // Runs every command that has arrived, then waits up to timeoutMs for the
  // next one while dispatching the calling thread's window messages.
  void Serve(const Runner& run, DWORD timeoutMs);
  // No command runs after it returns; lines still waiting are answered with
  // an error.
  void Close();

  static std::string PipeName(const std::string& name);
  // Names are what a pipe name and a command line can carry unchanged.
  static bool IsValidName(const std::string& name);

 private:
  struct Inbox;
  static void ReadStandardInput(std::shared_ptr<Inbox> inbox);
  void ServePipe();
  bool ServeClient(HANDLE pipe);

  const std::string name_;
  // Held while the channel is open: the pipe alone cannot tell that another
  // zkhost has the name everywhere it runs.
  HANDLE nameClaim_ = nullptr;
  std::shared_ptr<Inbox> inbox_;
  HANDLE listening_ = INVALID_HANDLE_VALUE;
  HANDLE stop_ = nullptr;
  std::thread pipeThread_;
};

// `zkhost send`: one line to the zkhost of that name and its reply. False
// (with the reason in `error`) when there is none or the pipe fails.
bool SendCommandLine(const std::string& name, const std::string& line, std::string* reply,
                     std::string* error);
