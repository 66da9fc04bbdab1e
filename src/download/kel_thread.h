#pragma once

// A thread object: Start runs Run on a new thread, Wait waits for it a bounded time.
//
// One thread at a time: Start first waits until the thread it started before has ended, also
// when an earlier Wait gave up on it. Wait waits at most m_waitTimeout milliseconds and then leaves
// a thread that has not ended to finish on its own. The destructor waits until the last thread has
// ended, so that no thread outlives the object it runs on; owners stop the work first.

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

class CKelThread {
 public:
  CKelThread() = default;
  virtual ~CKelThread();
  CKelThread(const CKelThread&) = delete;
  CKelThread& operator=(const CKelThread&) = delete;

  // The thread body; the base does nothing.
  virtual void Run() {}

  void Start();
  // 0 when no thread is held; otherwise waits (bounded), lets go of the thread and returns 1.
  int32_t Wait();

  uint32_t m_threadId = 0;
  uint32_t m_waitTimeout = 10000;

 private:
  // Ended-flag of one started thread, shared with it.
  struct Completion {
    std::mutex mutex;
    std::condition_variable ended;
    bool done = false;
  };

  void WaitUntilEnded(const std::shared_ptr<Completion>& completion);

  std::thread m_hThread;                     // the thread held, if any
  std::shared_ptr<Completion> m_completion;  // of the last thread started
};

// The thread procedure: 0 at once for no object, else runs it and returns 1.
uint32_t ThreadEntry(CKelThread* thread);
