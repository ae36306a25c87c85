// zkhost's command channel, end to end: real `zkhost present`, `zkhost view`
// and `zkhost send` processes under Wine.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "EndToEndFixture.h"

namespace {
struct Sent {
  DWORD code = 99;
  std::string output;
};

class HostCommands : public EndToEndFixture {
 protected:
  // Runs one zkhost command to its end.
  Sent Run(const std::string& arguments) {
    HostProcess process;
    Sent sent;
    std::string file = "zkhost-" + std::to_string(++runs_) + ".txt";
    if (!process.Start(arguments, file) || !process.WaitForExit(30000, &sent.code)) return sent;
    sent.output = process.Output();
    return sent;
  }

  static bool AwaitOutput(const HostProcess& process, const std::string& text) {
    return WaitUntil([&] { return process.Output().find(text) != std::string::npos; },
                     kFirstShowSeconds);
  }

  int runs_ = 0;
};

TEST_F(HostCommands, PresentAndViewAnswerOnTheirChannelAndStopOnRequest) {
  constexpr int kPort = 5933;
  const std::string present = "present-" + std::to_string(kPort);
  HostProcess presenter, viewer;
  ASSERT_TRUE(presenter.Start("present --desktop --port " + std::to_string(kPort) + " --rect 0,0," +
                                  std::to_string(kAreaWidth) + "," + std::to_string(kAreaHeight),
                              "present.txt"));
  ASSERT_TRUE(AwaitOutput(presenter, "on port 5933 as " + present)) << presenter.Output();

  Sent help = Run("send " + present + " help");
  EXPECT_EQ(help.code, 0u);
  EXPECT_EQ(help.output.rfind("ok help [COMMAND], stop, share TITLE", 0), 0u) << help.output;
  Sent helpOne = Run("send " + present + " help unshare");
  EXPECT_EQ(helpOne.code, 0u);
  EXPECT_EQ(helpOne.output.rfind("ok unshare [TITLE]: stop sharing", 0), 0u) << helpOne.output;
  Sent unknown = Run("send " + present + " frobnicate now");
  EXPECT_EQ(unknown.code, 1u);
  EXPECT_EQ(unknown.output, "error: unknown command frobnicate\n");
  Sent nothing = Run("send " + present + " unshare");
  EXPECT_EQ(nothing.code, 1u);
  EXPECT_EQ(nothing.output, "error: nothing is shared\n");
  // The frequencies in force: zkhost's default profile, which may change
  // while the session runs; the library's own settings only at the start.
  Sent profile = Run("send " + present + " profile");
  EXPECT_EQ(profile.output.rfind("ok live: ", 0), 0u) << profile.output;
  Sent library = Run("send " + present + " profile library");
  EXPECT_EQ(library.code, 1u);
  EXPECT_EQ(library.output.rfind("error: the library's settings apply from the start only", 0),
            0u)
      << library.output;
  EXPECT_EQ(Run("send " + present + " profile quick").output, "error: unknown profile quick\n");
  Sent nobody = Run("send nobody-here help");
  EXPECT_EQ(nobody.code, 1u);
  EXPECT_NE(nobody.output.find("no zkhost is named nobody-here"), std::string::npos);
  EXPECT_EQ(Run("send").code, 2u);
  // A line on standard input is a command too; its reply goes to the output.
  ASSERT_TRUE(presenter.WriteInput("help stop\n"));
  EXPECT_TRUE(AwaitOutput(presenter, "ok stop: end this zkhost")) << presenter.Output();

  ASSERT_TRUE(viewer.Start("view --name viewer-one --at 640,0 --connect 127.0.0.1:" +
                               std::to_string(kPort),
                           "view.txt"));
  ASSERT_TRUE(AwaitOutput(viewer, "as viewer-one")) << viewer.Output();
  // A second zkhost cannot take a name in use, and says so.
  Sent taken = Run("view --name viewer-one --connect 127.0.0.1:" + std::to_string(kPort));
  EXPECT_EQ(taken.code, 1u);
  EXPECT_NE(taken.output.find("another zkhost is named viewer-one"), std::string::npos)
      << taken.output;
  Sent viewerHelp = Run("send viewer-one help");
  EXPECT_EQ(viewerHelp.output, "ok help [COMMAND], stop, profile [NAME]\n")
      << "sharing is the presenter's";
  EXPECT_EQ(Run("send viewer-one profile live").output.rfind("ok live: ", 0), 0u);

  EXPECT_EQ(Run("send viewer-one stop").output, "ok stopping\n");
  DWORD code = 99;
  ASSERT_TRUE(viewer.WaitForExit(20000, &code));
  EXPECT_EQ(code, 0u);
  EXPECT_NE(viewer.Output().find("viewer ended: stopped on request"), std::string::npos)
      << viewer.Output();
  // The old form stays: zkhost stop --port N asks present-N.
  Sent stopped = Run("stop --port " + std::to_string(kPort));
  EXPECT_EQ(stopped.code, 0u);
  EXPECT_EQ(stopped.output, "ok stopping\n");
  ASSERT_TRUE(presenter.WaitForExit(20000, &code));
  EXPECT_EQ(code, 0u);
  EXPECT_NE(presenter.Output().find("presenter ran"), std::string::npos) << presenter.Output();
}
}  // namespace
