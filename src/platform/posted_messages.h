#pragma once

// Window handles and the queue of posted window messages.
//
// Any thread may post a message to a window handle; the messages wait in one queue, in the order
// they were posted, until the thread that runs the message loop takes them. The UI library's loop
// registers a wake-up that runs once when the queue goes from empty to non-empty (once per batch);
// without a loop (the engine's tests), a thread waits for messages directly. A message to a handle
// that is not alive is refused; one whose window goes away while it waits is dropped by the loop.

#include <chrono>
#include <functional>
#include <vector>

#include "platform/win_types.h"

struct PostedMessage {
  HWND hwnd;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
};

// A new handle, alive until DestroyWindowHandle.
HWND CreateWindowHandle();
void DestroyWindowHandle(HWND hwnd);
bool IsWindowHandle(HWND hwnd);

// Queues the message; false (and nothing queued) when the handle is not alive.
bool PostMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// Every queued message, oldest first; the queue is empty afterwards.
std::vector<PostedMessage> TakePostedMessages();

// Waits until a message is queued or the time is up; true when one is.
bool WaitForPostedMessage(std::chrono::milliseconds timeout);

// Runs `wakeup` (on the posting thread) whenever a post finds the queue empty. Pass an empty
// function to stop.
void SetPostedMessageWakeup(std::function<void()> wakeup);
