#include "platform/posted_messages.h"

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <unordered_set>

namespace {

std::mutex g_mutex;
std::condition_variable g_posted;
std::vector<PostedMessage> g_queue;
std::unordered_set<uintptr_t> g_alive;
uintptr_t g_nextHandle = 0x1000;
std::function<void()> g_wakeup;

}  // namespace

HWND CreateWindowHandle() {
  std::lock_guard<std::mutex> lock(g_mutex);
  const uintptr_t id = g_nextHandle;
  g_nextHandle += 0x10;
  g_alive.insert(id);
  return reinterpret_cast<HWND>(id);
}

void DestroyWindowHandle(HWND hwnd) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_alive.erase(reinterpret_cast<uintptr_t>(hwnd));
}

bool IsWindowHandle(HWND hwnd) {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_alive.count(reinterpret_cast<uintptr_t>(hwnd)) != 0;
}

bool PostMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  std::function<void()> wakeup;
  bool wasEmpty = false;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_alive.count(reinterpret_cast<uintptr_t>(hwnd)) == 0) {
      return false;
    }
    wasEmpty = g_queue.empty();
    g_queue.push_back({hwnd, message, wParam, lParam});
    if (wasEmpty) {
      wakeup = g_wakeup;
    }
  }
  // Whoever waits, waits for a non-empty queue: only the first message of a batch wakes them.
  if (wasEmpty) {
    g_posted.notify_all();
    if (wakeup) {
      wakeup();
    }
  }
  return true;
}

std::vector<PostedMessage> TakePostedMessages() {
  std::vector<PostedMessage> taken;
  std::lock_guard<std::mutex> lock(g_mutex);
  taken.swap(g_queue);
  return taken;
}

bool WaitForPostedMessage(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(g_mutex);
  return g_posted.wait_for(lock, timeout, [] { return !g_queue.empty(); });
}

void SetPostedMessageWakeup(std::function<void()> wakeup) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_wakeup = std::move(wakeup);
}
