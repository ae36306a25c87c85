#pragma once

#include <string>

#include "PictureLayout.h"

// A second machine beside the test's: its own virtual display and its own
// Wine (tests/endtoend/second-display.sh), where `zkhost view` processes run
// as on a participant's computer. What a viewer does with the keyboard and
// the pointer there never reaches the presenter's desktop except through the
// session, and keys the presenter injects never reach the viewer.
//
// The test talks to it through files in a folder: each program's standard
// input and output, and markers for finished steps. Test thread only.
class SecondDisplay {
 public:
  explicit SecondDisplay(const std::string& folder);
  ~SecondDisplay();
  SecondDisplay(const SecondDisplay&) = delete;
  SecondDisplay& operator=(const SecondDisplay&) = delete;

  // Starts the display and its Wine; false when it is not ready in time
  // (the first start makes the Wine prefix).
  bool Start();
  // Runs zkhost (the one beside the test program) there, named `name` for
  // its files; its current folder holds the second machine's ZK.ini.
  bool RunZkhost(const std::string& name, const std::string& arguments);
  // A line on the program's standard input: a command of its channel.
  bool Command(const std::string& name, const std::string& line);
  std::string Output(const std::string& name) const;
  // True once the program has ended; its exit code in `code`.
  bool Ended(const std::string& name, int* code) const;
  // Runs xdotool there to its end, like a person at that machine.
  bool Xdotool(const std::string& arguments);
  // What its screen shows in the rectangle (the width a multiple of 4).
  bool Grab(int x, int y, int width, int height, Picture* out);
  // Settings of the second machine's library.
  bool WriteConfig(const std::string& lines);
  void Stop();

 private:
  bool RunScript(const std::string& arguments);
  bool WaitForFile(const std::string& name, double seconds) const;
  std::string WindowsPath(const std::string& name) const;
  // Runs a step of the script that leaves a marker file when it is done.
  bool RunStep(const std::string& step, const std::string& arguments, std::string* marker);

  std::string folder_;      // Windows path, for the test's own file access
  std::string unixFolder_;  // the same folder for the script
  int steps_ = 0;
  bool started_ = false;
};
