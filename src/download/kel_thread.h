#pragma once

// A thread object: Start runs Run on a new thread, Wait waits for it a bounded time.
//
// One thread at a time: Start first waits until the thread it started before has ended. Wait
// waits at most m_waitTimeout milliseconds; a thread that has not ended by then stays held, to be
// joined by a later Wait, Start or Join, and is never detached, so no thread outlives the object
// it runs on. A class that derives from this one and gives its thread members of its own joins
// the thread in its own destructor (Join), before those members go.

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

// How long the UI thread waits for a worker that was told to stop, in milliseconds.
constexpr uint32_t kWorkerWaitMs = 250;

class CKelThread {
 public:
  CKelThread() = default;
  virtual ~CKelThread();
  CKelThread(const CKelThread&) = delete;
  CKelThread& operator=(const CKelThread&) = delete;

  // The thread body; the base does nothing.
  virtual void Run() {}

  void Start();
  // 0 when no thread is held. Otherwise waits at most m_waitTimeout for it and returns 1; a thread
  // that ended is let go of, one that did not stays held.
  int32_t Wait();
  // Whether a thread is held that has not finished Run yet.
  bool IsBusy() const;
  // Waits, without bound, until the thread held (if any) has ended, and lets go of it.
  void Join();

  uint32_t m_threadId = 0;
  uint32_t m_waitTimeout = kWorkerWaitMs;

 private:
  // Ended-flag of one started thread, shared with it.
  struct Completion {
    std::mutex mutex;
    std::condition_variable ended;
    bool done = false;
  };

  std::thread m_hThread;                     // the thread held, if any
  std::shared_ptr<Completion> m_completion;  // of the thread held
};

// The thread procedure: 0 at once for no object, else runs it and returns 1.
uint32_t ThreadEntry(CKelThread* thread);
