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
  if (m_completion) {
    WaitUntilEnded(m_completion);
  }
  if (m_hThread.joinable()) {
    m_hThread.join();
  }
}

void CKelThread::WaitUntilEnded(const std::shared_ptr<Completion>& completion) {
  std::unique_lock<std::mutex> lock(completion->mutex);
  completion->ended.wait(lock, [&] { return completion->done; });
}

void CKelThread::Start() {
  if (m_completion) {
    WaitUntilEnded(m_completion);
  }
  if (m_hThread.joinable()) {
    m_hThread.join();
  }
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
    m_hThread.join();
  } else {
    m_hThread.detach();
  }
  m_threadId = 0;
  return 1;
}
