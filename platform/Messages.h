// Window handles and posted messages: a window registers a handler and gets a handle; a message
// posted to that handle from any thread is delivered later in the GUI thread, in posting order.
#pragma once

#include <cstdint>
#include <functional>

namespace plat {

using HWND = std::uintptr_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using UINT = std::uint32_t;

constexpr UINT WM_USER = 0x0400;

using WindowProc = std::function<void(UINT msg, WPARAM wParam, LPARAM lParam)>;

// Returns a nonzero handle. The handler runs in the GUI thread.
HWND RegisterWindow(WindowProc proc);
// Messages still queued for the window are dropped when they come due.
void UnregisterWindow(HWND hwnd);

// Queues the message and returns at once; false for an unknown handle.
bool PostMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

} // namespace plat
