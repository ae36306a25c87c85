#pragma once

#include <windows.h>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <memory>
#include <string>
#include <thread>

// CommandChannel: the one way into a running zkhost. Command lines come from
// two sources, standard input (for a person at a console; its end of file
// just ends that source) and the named pipe \\.\pipe\zkhost.NAME (for
// scripts and tests, through `zkhost send`). Each line gets one reply line:
// written back on the pipe, or printed on standard output.
//
// The pipe is this user's alone: it is created as the first instance of its
// name (a program that took the name before cannot answer in zkhost's
// place), open to this user only, and refuses clients on other machines.
// Each client is served on its own, so one that connects and says nothing
// holds up nobody else.
//
// Threads: the owner opens, serves and closes the channel on its command
// thread, where every command runs, one at a time, in arrival order; the
// pipe has a thread that accepts clients and one per client it serves, and
// standard input a reader thread that may stay blocked in its read until the
// process ends (it never touches the channel after Close).
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
  // Makes a Serve under way return, so that its owner looks again at
  // whether to go on. Any thread.
  void Wake();
  // No command runs after it returns; lines still waiting are answered with
  // an error.
  void Close();

  static std::string PipeName(const std::string& name);
  // Names are what a pipe name and a command line can carry unchanged.
  static bool IsValidName(const std::string& name);

 private:
  struct Inbox;
  class PipeAccess;
  static void ReadStandardInput(std::shared_ptr<Inbox> inbox);
  void ServePipe();
  void ServeClient(HANDLE pipe);
  bool AnswerClient(HANDLE pipe);

  const std::string name_;
  // Held while the channel is open: the pipe alone cannot tell that another
  // zkhost has the name everywhere it runs.
  HANDLE nameClaim_ = nullptr;
  std::shared_ptr<Inbox> inbox_;
  std::unique_ptr<PipeAccess> access_;
  HANDLE listening_ = INVALID_HANDLE_VALUE;
  HANDLE stop_ = nullptr;
  HANDLE clientSlots_ = nullptr;  // a semaphore: clients served at once
  std::thread pipeThread_;
  // Client threads run detached; Close waits until none is left.
  std::mutex clientsMutex_;
  std::condition_variable clientsDone_;
  int activeClients_ = 0;
};

// `zkhost send`: one line to the zkhost of that name and its reply. False
// (with the reason in `error`) when there is none or the pipe fails.
bool SendCommandLine(const std::string& name, const std::string& line, std::string* reply,
                     std::string* error);
