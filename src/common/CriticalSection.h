#pragma once

// A recursive lock: the owning thread may enter again while it holds it.
// Win32 builds wrap a critical section, native builds a recursive mutex.
class CriticalSection {
 public:
  CriticalSection();
  virtual ~CriticalSection();
  CriticalSection(const CriticalSection&) = delete;
  CriticalSection& operator=(const CriticalSection&) = delete;

  void Enter();
  void Leave();

 private:
  alignas(8) unsigned char storage_[48];
};

// Holds a CriticalSection for the lifetime of a scope.
class CriticalSectionLock {
 public:
  explicit CriticalSectionLock(CriticalSection& lock) : lock_(lock) { lock_.Enter(); }
  ~CriticalSectionLock() { lock_.Leave(); }
  CriticalSectionLock(const CriticalSectionLock&) = delete;
  CriticalSectionLock& operator=(const CriticalSectionLock&) = delete;

 private:
  CriticalSection& lock_;
};
