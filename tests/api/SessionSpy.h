#pragma once

// A view into the session window's thread for tests that drive the library
// only through its exports. Two thread-specific hooks on the worker record,
// in the order the worker meets them, every message it takes from its queue
// (WH_GETMESSAGE) and every message sent to its windows (WH_CALLWNDPROC).
//
// Owner: the test thread, which attaches, posts and reads; the hook
// procedures run on the worker. One spy at a time per process.

#include <windows.h>

#include <functional>
#include <mutex>
#include <vector>

class SessionSpy {
 public:
  struct Record {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    bool sent;  // sent to a window procedure rather than taken from the queue
  };

  SessionSpy();
  ~SessionSpy();
  SessionSpy(const SessionSpy&) = delete;
  SessionSpy& operator=(const SessionSpy&) = delete;

  // Hooks the thread that owns `sessionWindow`.
  bool Attach(HWND sessionWindow);
  void Detach();
  DWORD WorkerThreadId() const { return threadId_; }

  // Posts a marker behind everything posted to the session window so far and
  // waits until the worker takes it: all that was posted before has then
  // been handled, since the worker handles one message at a time.
  bool Fence(DWORD timeoutMs = 10000);
  // Posts a tick of the given session timer, so that its work runs at this
  // point in the sequence of posted messages instead of whenever it falls due.
  bool PostTick(UINT_PTR timerId) const;
  // Posts a hold behind everything posted so far and returns once the worker,
  // taking it, stands still inside the spy's hook: what is posted meanwhile
  // piles up in its queue. LetGo (or Detach) lets it run on.
  bool Hold(DWORD timeoutMs = 10000);
  void LetGo();

  void Clear();
  // Messages taken from the queue, markers left out, in order.
  std::vector<Record> Taken(const std::function<bool(const Record&)>& match) const;
  std::vector<Record> Sent(const std::function<bool(const Record&)>& match) const;
  // Waits until `count` records taken from the queue match.
  bool AwaitTaken(const std::function<bool(const Record&)>& match, size_t count,
                  DWORD timeoutMs = 10000) const;

 private:
  static LRESULT CALLBACK OnGetMessage(int code, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK OnCallWindowProc(int code, WPARAM wParam, LPARAM lParam);
  void Add(const Record& record);
  std::vector<Record> Select(bool sent, const std::function<bool(const Record&)>& match) const;

  HWND window_ = nullptr;
  DWORD threadId_ = 0;
  HHOOK getMessageHook_ = nullptr;
  HHOOK callWindowProcHook_ = nullptr;
  WPARAM nextMarker_ = 1;
  HANDLE held_;    // set by the worker as it stands still
  HANDLE letGo_;   // set to let it run on
  mutable std::mutex mutex_;
  std::vector<Record> records_;
};

// The session window of this process ("Morvane Zenkast"), or null.
HWND FindSessionWindow();
