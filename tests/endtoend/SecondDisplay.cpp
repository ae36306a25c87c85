#include "SecondDisplay.h"

#include <windows.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "PictureFile.h"

namespace {
const char kBash[] = "Z:\\bin\\bash";
constexpr double kStartSeconds = 180;  // the first start makes a Wine prefix
constexpr double kStepSeconds = 30;

// Z:\a\b -> /a/b: Wine maps the Linux root to Z:.
std::string UnixPath(const std::string& windowsPath) {
  std::string path =
      windowsPath.size() > 2 && windowsPath[1] == ':' ? windowsPath.substr(2) : windowsPath;
  for (char& c : path)
    if (c == '\\') c = '/';
  return path;
}

std::string ProgramFolder() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder = path;
  return folder.substr(0, folder.find_last_of("\\/") + 1);
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

void Pump() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
}
}  // namespace

SecondDisplay::SecondDisplay(const std::string& folder) {
  char current[MAX_PATH] = {};
  GetCurrentDirectoryA(MAX_PATH, current);
  folder_ = std::string(current) + "\\" + folder;
  unixFolder_ = UnixPath(folder_);
  CreateDirectoryA(folder_.c_str(), nullptr);
}

SecondDisplay::~SecondDisplay() { Stop(); }

std::string SecondDisplay::WindowsPath(const std::string& name) const {
  return folder_ + "\\" + name;
}

bool SecondDisplay::RunScript(const std::string& arguments) {
  std::string command = std::string(kBash) + " " +
                        Quoted(UnixPath(ProgramFolder()) + "second-display.sh") + " " + arguments;
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process))
    return false;
  // A Linux program gets no Windows process handles: its files tell.
  if (process.hThread) CloseHandle(process.hThread);
  if (process.hProcess) CloseHandle(process.hProcess);
  return true;
}

bool SecondDisplay::WaitForFile(const std::string& name, double seconds) const {
  const DWORD start = GetTickCount();
  while (GetFileAttributesA(WindowsPath(name).c_str()) == INVALID_FILE_ATTRIBUTES) {
    if (GetTickCount() - start > seconds * 1000) return false;
    Pump();  // the test's own windows keep answering
    Sleep(20);
  }
  return true;
}

bool SecondDisplay::Start() {
  DeleteFileA(WindowsPath("ready").c_str());
  started_ = RunScript("start " + Quoted(unixFolder_));
  return started_ && WaitForFile("ready", kStartSeconds);
}

bool SecondDisplay::RunZkhost(const std::string& name, const std::string& arguments) {
  return RunScript("run " + Quoted(unixFolder_) + " " + name + " " +
                   Quoted(UnixPath(ProgramFolder()) + "zkhost.exe") + " " + arguments);
}

bool SecondDisplay::Command(const std::string& name, const std::string& line) {
  std::ofstream in(WindowsPath(name + ".in"), std::ios::app | std::ios::binary);
  in << line << "\n";
  return static_cast<bool>(in);
}

std::string SecondDisplay::Output(const std::string& name) const {
  std::ifstream in(WindowsPath(name + ".out"));
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

bool SecondDisplay::Ended(const std::string& name, int* code) const {
  std::ifstream in(WindowsPath(name + ".exit"));
  return static_cast<bool>(in >> *code);
}

bool SecondDisplay::RunStep(const std::string& step, const std::string& arguments,
                            std::string* marker) {
  *marker = "step-" + std::to_string(++steps_);
  DeleteFileA(WindowsPath(*marker).c_str());
  return RunScript(step + " " + Quoted(unixFolder_) + " " + *marker + " " + arguments) &&
         WaitForFile(*marker, kStepSeconds);
}

bool SecondDisplay::Xdotool(const std::string& arguments) {
  std::string marker;
  return RunStep("xdotool", arguments, &marker);
}

bool SecondDisplay::Grab(int x, int y, int width, int height, Picture* out) {
  std::string marker, error;
  char box[64];
  std::snprintf(box, sizeof box, "%d %d %d %d", x, y, width, height);
  return RunStep("grab", box, &marker) &&
         ReadPictureFile(WindowsPath(marker + ".png"), *out, error);
}

bool SecondDisplay::WriteConfig(const std::string& lines) {
  std::ofstream out(WindowsPath("ZK.ini"), std::ios::binary);
  out << lines;
  return static_cast<bool>(out);
}

void SecondDisplay::Stop() {
  if (!started_) return;
  started_ = false;
  DeleteFileA(WindowsPath("stopped").c_str());
  if (RunScript("stop " + Quoted(unixFolder_))) WaitForFile("stopped", kStepSeconds);
}
