#pragma once

// A test fixture with one window of `Window` (made from a layout text) on a fresh headless back
// end; the window goes before the back end at the end of each test.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "uilib/headless/headless_backend.h"

template <typename Window>
class HeadlessWindowTest : public ::testing::Test {
 protected:
  explicit HeadlessWindowTest(std::string layout) : m_layout(std::move(layout)) {}

  void SetUp() override {
    m_backend = HeadlessBackend::Install();
    m_window = std::make_unique<Window>(m_layout);
    // Away from the screen's corner, so that screen and client coordinates differ.
    ASSERT_NE(m_window->Create(nullptr, L"test", 0, 0, 100, 100, 0, 0), nullptr);
  }
  void TearDown() override {
    m_window.reset();
    SetUiBackend(nullptr);
  }
  HWND Hwnd() const { return m_window->GetHWND(); }
  CControlUI* Find(const wchar_t* name) { return m_window->Find(name); }

  HeadlessBackend* m_backend = nullptr;
  std::unique_ptr<Window> m_window;

 private:
  std::string m_layout;
};
