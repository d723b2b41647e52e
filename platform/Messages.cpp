#include "platform/Messages.h"

#include "platform/MainThread.h"

#include <map>
#include <memory>
#include <mutex>

namespace plat {

namespace {

struct Registry {
    std::mutex m;
    HWND next = 1;
    std::map<HWND, std::shared_ptr<WindowProc>> windows;
};

Registry& registry() {
    static Registry r;
    return r;
}

std::shared_ptr<WindowProc> find(HWND hwnd) {
    Registry& r = registry();
    std::lock_guard lock(r.m);
    auto it = r.windows.find(hwnd);
    return it == r.windows.end() ? nullptr : it->second;
}

} // namespace

HWND RegisterWindow(WindowProc proc) {
    Registry& r = registry();
    std::lock_guard lock(r.m);
    HWND h = r.next++;
    r.windows[h] = std::make_shared<WindowProc>(std::move(proc));
    return h;
}

void UnregisterWindow(HWND hwnd) {
    Registry& r = registry();
    std::lock_guard lock(r.m);
    r.windows.erase(hwnd);
}

bool PostMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (!find(hwnd)) return false;
    // The window is looked up again at delivery: it may have been destroyed meanwhile.
    MainThread::Post([hwnd, msg, wParam, lParam] {
        if (auto proc = find(hwnd)) (*proc)(msg, wParam, lParam);
    });
    return true;
}

} // namespace plat
