#include "download/kel_thread.h"

#include <chrono>
#include <functional>

uint32_t ThreadEntry(CKelThread* thread) {
  if (thread == nullptr) {
    return 0;
  }
  thread->Run();
  return 1;
}

CKelThread::~CKelThread() {
  Join();
}

void CKelThread::Join() {
  if (m_hThread.joinable()) {
    m_hThread.join();
  }
  m_completion.reset();
  m_threadId = 0;
}

void CKelThread::Start() {
  Join();
  auto completion = std::make_shared<Completion>();
  m_completion = completion;
  m_hThread = std::thread([this, completion] {
    ThreadEntry(this);
    std::lock_guard<std::mutex> lock(completion->mutex);
    completion->done = true;
    completion->ended.notify_all();
  });
  m_threadId = static_cast<uint32_t>(std::hash<std::thread::id>()(m_hThread.get_id()));
}

bool CKelThread::IsBusy() const {
  if (!m_completion) {
    return false;
  }
  std::lock_guard<std::mutex> lock(m_completion->mutex);
  return !m_completion->done;
}

int32_t CKelThread::Wait() {
  if (!m_hThread.joinable()) {
    return 0;
  }
  bool ended = false;
  {
    std::unique_lock<std::mutex> lock(m_completion->mutex);
    ended = m_completion->ended.wait_for(lock, std::chrono::milliseconds(m_waitTimeout),
                                         [this] { return m_completion->done; });
  }
  if (ended) {
    Join();  // the thread has left Run: joining it takes no time
  }
  return 1;
}
