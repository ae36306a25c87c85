#include "CommandChannel.h"

#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>

namespace {
constexpr DWORD kPipeBuffer = 4096;
constexpr size_t kLongestLine = 64 * 1024;
// A client writes its line at once and reads its reply at once: these only
// bound how long a stalled client can hold the pipe.
constexpr DWORD kClientRequestMs = 10000;
constexpr DWORD kClientReplyMs = 5000;
constexpr DWORD kConnectMs = 10000;
// Clients served at once; one more waits to connect until a slot is free.
constexpr LONG kClientSlots = 4;

// The reply to one line from the pipe, handed from the command thread to the
// pipe thread.
class PendingReply {
 public:
  void Set(const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    text_ = text;
    done_ = true;
    ready_.notify_all();
  }
  std::string Wait() {
    std::unique_lock<std::mutex> lock(mutex_);
    ready_.wait(lock, [&] { return done_; });
    return text_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable ready_;
  bool done_ = false;
  std::string text_;
};

struct Request {
  std::string line;
  std::shared_ptr<PendingReply> reply;  // null: the line came from standard input
};

// Overlapped I/O on the pipe: waits for the operation (and for `stop` when
// given) and cancels it when it does not complete, so that its buffer may go.
bool Finish(HANDLE pipe, OVERLAPPED* overlapped, BOOL started, DWORD timeoutMs, HANDLE stop,
            DWORD* bytes) {
  *bytes = 0;
  if (!started && GetLastError() != ERROR_IO_PENDING) return false;
  HANDLE handles[2] = {overlapped->hEvent, stop};
  DWORD waited = WaitForMultipleObjects(stop ? 2 : 1, handles, FALSE, timeoutMs);
  if (waited == WAIT_OBJECT_0) return GetOverlappedResult(pipe, overlapped, bytes, FALSE) != FALSE;
  CancelIo(pipe);
  GetOverlappedResult(pipe, overlapped, bytes, TRUE);
  return false;
}

class Overlapped {
 public:
  Overlapped() { io_.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr); }
  ~Overlapped() { CloseHandle(io_.hEvent); }
  OVERLAPPED* Fresh() {
    ResetEvent(io_.hEvent);
    HANDLE event = io_.hEvent;
    io_ = OVERLAPPED{};
    io_.hEvent = event;
    return &io_;
  }

 private:
  OVERLAPPED io_ = {};
};

HANDLE CreateInstance(const std::string& pipeName, bool first, SECURITY_ATTRIBUTES* access) {
  return CreateNamedPipeA(
      pipeName.c_str(),
      PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | (first ? FILE_FLAG_FIRST_PIPE_INSTANCE : 0),
      PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS,
      PIPE_UNLIMITED_INSTANCES, kPipeBuffer, kPipeBuffer, 0, access);
}

// Windows refuses a first instance of a name that another program serves
// already; Wine does not, but it counts the instances.
bool IsOnlyInstance(HANDLE pipe) {
  DWORD instances = 0;
  return GetNamedPipeHandleStateA(pipe, nullptr, &instances, nullptr, nullptr, nullptr, 0) &&
         instances == 1;
}

void PrintReply(const std::string& reply) {
  std::printf("%s\n", reply.c_str());
  std::fflush(stdout);
}

std::string TrimLineEnd(std::string line) {
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  return line;
}
}  // namespace

// The pipe's security: every right for this process's user, none for anyone
// else.
class CommandChannel::PipeAccess {
 public:
  bool Build() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    user_.resize(size);
    bool known = size > 0 && GetTokenInformation(token, TokenUser, user_.data(), size, &size);
    CloseHandle(token);
    if (!known) return false;
    PSID sid = reinterpret_cast<TOKEN_USER*>(user_.data())->User.Sid;
    acl_.resize(sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + GetLengthSid(sid));
    ACL* acl = reinterpret_cast<ACL*>(acl_.data());
    if (!InitializeAcl(acl, static_cast<DWORD>(acl_.size()), ACL_REVISION) ||
        !AddAccessAllowedAce(acl, ACL_REVISION, GENERIC_ALL, sid) ||
        !InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorDacl(&descriptor_, TRUE, acl, FALSE))
      return false;
    attributes_ = {sizeof attributes_, &descriptor_, FALSE};
    return true;
  }
  SECURITY_ATTRIBUTES* Attributes() { return &attributes_; }

 private:
  std::vector<uint8_t> user_;  // TOKEN_USER, which the SID points into
  std::vector<uint8_t> acl_;
  SECURITY_DESCRIPTOR descriptor_ = {};
  SECURITY_ATTRIBUTES attributes_ = {};
};

struct CommandChannel::Inbox {
  std::mutex mutex;
  std::deque<Request> requests;
  bool closed = false;
  HANDLE arrived = CreateEventA(nullptr, FALSE, FALSE, nullptr);

  ~Inbox() { CloseHandle(arrived); }

  bool Add(Request request) {
    std::lock_guard<std::mutex> lock(mutex);
    if (closed) return false;
    requests.push_back(std::move(request));
    SetEvent(arrived);
    return true;
  }

  std::deque<Request> TakeAll() {
    std::lock_guard<std::mutex> lock(mutex);
    std::deque<Request> taken;
    taken.swap(requests);
    return taken;
  }
};

// Reads standard input line by line until it ends. Runs detached: it keeps
// the inbox alive itself, and reads with ReadFile rather than the C library,
// whose stream lock a blocked read would hold when the process exits.
void CommandChannel::ReadStandardInput(std::shared_ptr<Inbox> inbox) {
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  if (!input || input == INVALID_HANDLE_VALUE) return;
  std::string pending;
  char chunk[512];
  DWORD got = 0;
  while (ReadFile(input, chunk, sizeof chunk, &got, nullptr) && got > 0) {
    pending.append(chunk, got);
    for (size_t end; (end = pending.find('\n')) != std::string::npos;) {
      std::string line = TrimLineEnd(pending.substr(0, end));
      pending.erase(0, end + 1);
      if (!line.empty() && !inbox->Add(Request{line, nullptr})) return;
    }
    if (pending.size() > kLongestLine) pending.clear();
  }
  std::string last = TrimLineEnd(pending);
  if (!last.empty()) inbox->Add(Request{last, nullptr});
}

CommandChannel::CommandChannel(const std::string& name)
    : name_(name), inbox_(std::make_shared<Inbox>()) {}

CommandChannel::~CommandChannel() { Close(); }

std::string CommandChannel::PipeName(const std::string& name) { return "\\\\.\\pipe\\zkhost." + name; }

bool CommandChannel::IsValidName(const std::string& name) {
  if (name.empty() || name.size() > 100) return false;
  for (char c : name) {
    bool allowed = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                   c == '-' || c == '_' || c == '.';
    if (!allowed) return false;
  }
  return true;
}

bool CommandChannel::Open(std::string* error) {
  nameClaim_ = CreateMutexA(nullptr, FALSE, ("zkhost.name." + name_).c_str());
  if (!nameClaim_ || GetLastError() == ERROR_ALREADY_EXISTS) {
    *error = "another zkhost is named " + name_;
    return false;
  }
  access_ = std::make_unique<PipeAccess>();
  if (!access_->Build()) {
    *error = "cannot read this process's user (error " + std::to_string(GetLastError()) + ")";
    return false;
  }
  listening_ = CreateInstance(PipeName(name_), true, access_->Attributes());
  if (listening_ != INVALID_HANDLE_VALUE && !IsOnlyInstance(listening_)) {
    CloseHandle(listening_);
    listening_ = INVALID_HANDLE_VALUE;
    SetLastError(ERROR_ACCESS_DENIED);
  }
  if (listening_ == INVALID_HANDLE_VALUE) {
    DWORD code = GetLastError();
    *error = code == ERROR_ACCESS_DENIED
                 ? "another program holds the pipe " + PipeName(name_)
                 : "cannot open the pipe " + PipeName(name_) + " (error " +
                       std::to_string(code) + ")";
    return false;
  }
  stop_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  clientSlots_ = CreateSemaphoreA(nullptr, kClientSlots, kClientSlots, nullptr);
  pipeThread_ = std::thread(&CommandChannel::ServePipe, this);
  std::thread(&CommandChannel::ReadStandardInput, inbox_).detach();
  return true;
}

void CommandChannel::Serve(const Runner& run, DWORD timeoutMs) {
  MsgWaitForMultipleObjects(1, &inbox_->arrived, FALSE, timeoutMs, QS_ALLINPUT);
  for (Request& request : inbox_->TakeAll()) {
    std::string reply = run(request.line);
    if (request.reply) {
      request.reply->Set(reply);
    } else {
      PrintReply(reply);
    }
  }
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

void CommandChannel::Wake() { SetEvent(inbox_->arrived); }

void CommandChannel::Close() {
  std::deque<Request> unanswered;
  {
    std::lock_guard<std::mutex> lock(inbox_->mutex);
    inbox_->closed = true;
    unanswered.swap(inbox_->requests);
  }
  for (Request& request : unanswered) {
    if (request.reply) request.reply->Set("error: zkhost is ending");
  }
  if (stop_) SetEvent(stop_);
  if (pipeThread_.joinable()) pipeThread_.join();
  {
    std::unique_lock<std::mutex> lock(clientsMutex_);
    clientsDone_.wait(lock, [this] { return activeClients_ == 0; });
  }
  if (listening_ != INVALID_HANDLE_VALUE) CloseHandle(listening_);
  listening_ = INVALID_HANDLE_VALUE;
  if (stop_) CloseHandle(stop_);
  stop_ = nullptr;
  if (clientSlots_) CloseHandle(clientSlots_);
  clientSlots_ = nullptr;
  if (nameClaim_) CloseHandle(nameClaim_);
  nameClaim_ = nullptr;
}

void CommandChannel::ServePipe() {
  HANDLE current = listening_;
  listening_ = INVALID_HANDLE_VALUE;
  Overlapped connect;
  HANDLE slotOrStop[2] = {clientSlots_, stop_};
  while (current != INVALID_HANDLE_VALUE &&
         WaitForMultipleObjects(2, slotOrStop, FALSE, INFINITE) == WAIT_OBJECT_0) {
    OVERLAPPED* io = connect.Fresh();
    BOOL connected = ConnectNamedPipe(current, io);
    DWORD unused;
    bool client = connected || GetLastError() == ERROR_PIPE_CONNECTED ||
                  Finish(current, io, FALSE, INFINITE, stop_, &unused);
    if (!client) break;
    // The next client can connect while this one is served.
    HANDLE next = CreateInstance(PipeName(name_), false, access_->Attributes());
    {
      std::lock_guard<std::mutex> lock(clientsMutex_);
      ++activeClients_;
    }
    std::thread(&CommandChannel::ServeClient, this, current).detach();
    current = next;
  }
  if (current != INVALID_HANDLE_VALUE) CloseHandle(current);
}

void CommandChannel::ServeClient(HANDLE pipe) {
  AnswerClient(pipe);
  DisconnectNamedPipe(pipe);
  CloseHandle(pipe);
  ReleaseSemaphore(clientSlots_, 1, nullptr);
  std::lock_guard<std::mutex> lock(clientsMutex_);
  if (--activeClients_ == 0) clientsDone_.notify_all();
}

bool CommandChannel::AnswerClient(HANDLE pipe) {
  Overlapped io;
  std::string received;
  char chunk[512];
  DWORD got = 0;
  while (received.find('\n') == std::string::npos) {
    OVERLAPPED* read = io.Fresh();
    BOOL done = ReadFile(pipe, chunk, sizeof chunk, nullptr, read);
    if (!Finish(pipe, read, done, kClientRequestMs, stop_, &got) || got == 0) return false;
    received.append(chunk, got);
    if (received.size() > kLongestLine) return false;
  }
  std::string line = TrimLineEnd(received.substr(0, received.find('\n')));
  auto reply = std::make_shared<PendingReply>();
  if (!inbox_->Add(Request{line, reply})) reply->Set("error: zkhost is ending");
  // Answered by the command thread, or by Close: the reply of `stop` still
  // goes out while the channel closes.
  std::string text = reply->Wait() + "\n";
  OVERLAPPED* write = io.Fresh();
  BOOL written = WriteFile(pipe, text.data(), static_cast<DWORD>(text.size()), nullptr, write);
  if (!Finish(pipe, write, written, kClientReplyMs, nullptr, &got)) return false;
  // Disconnecting drops what the client has not read yet: wait until it has
  // read the reply and closed its end.
  OVERLAPPED* end = io.Fresh();
  BOOL more = ReadFile(pipe, chunk, sizeof chunk, nullptr, end);
  Finish(pipe, end, more, kClientReplyMs, nullptr, &got);
  return true;
}

bool SendCommandLine(const std::string& name, const std::string& line, std::string* reply,
                     std::string* error) {
  const std::string pipeName = CommandChannel::PipeName(name);
  const DWORD start = GetTickCount();
  HANDLE pipe;
  for (;;) {
    pipe = CreateFileA(pipeName.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                       nullptr);
    if (pipe != INVALID_HANDLE_VALUE) break;
    DWORD code = GetLastError();
    if (code != ERROR_PIPE_BUSY || GetTickCount() - start > kConnectMs) {
      *error = code == ERROR_FILE_NOT_FOUND ? "no zkhost is named " + name
                                            : "cannot reach zkhost " + name + " (error " +
                                                  std::to_string(code) + ")";
      return false;
    }
    WaitNamedPipeA(pipeName.c_str(), 1000);
  }
  std::string request = line + "\n";
  DWORD count = 0;
  bool sent = WriteFile(pipe, request.data(), static_cast<DWORD>(request.size()), &count, nullptr) &&
              count == request.size();
  std::string received;
  char chunk[512];
  while (sent && received.find('\n') == std::string::npos &&
         ReadFile(pipe, chunk, sizeof chunk, &count, nullptr) && count > 0) {
    received.append(chunk, count);
  }
  CloseHandle(pipe);
  size_t end = received.find('\n');
  if (!sent || end == std::string::npos) {
    *error = "zkhost " + name + " closed the pipe without a reply";
    return false;
  }
  *reply = TrimLineEnd(received.substr(0, end));
  return true;
}
