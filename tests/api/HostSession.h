#pragma once

// The fixture of the host-interface tests: ZK.dll loaded as a host loads it,
// an optional ".\ZK.ini", one session at a time, and a spy on its worker.
// Every test leaves no configuration file, no session and no queued event
// behind, so that tests may also run one after another in one process.

#include <gtest/gtest.h>
#include <windows.h>

#include "HostEvents.h"
#include "SessionSpy.h"
#include "ZKApi.h"

class HostSessionTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // ZK_Init (with `parent` as the host window) with `config` written to
  // ".\ZK.ini" first (null: no file); then finds the session window and
  // hooks its thread.
  ::testing::AssertionResult Start(const char* config = nullptr, HWND parent = nullptr);
  // ZK_Release, then the events it left are taken and freed.
  void Stop();

  // Posts a tick of the update timer and waits until the worker has run it:
  // every event posted before has then been dispatched.
  ::testing::AssertionResult DispatchNow();
  // ZK_SetPosition with show, then waits until the worker has placed and shown
  // the window.
  ::testing::AssertionResult ShowAt(int x, int y, int width, int height);

  static void WriteConfig(const char* text);

  const ZKApi& zk() const { return *zk_; }

  const ZKApi* zk_ = nullptr;
  HWND window_ = nullptr;
  SessionSpy spy_;
};

