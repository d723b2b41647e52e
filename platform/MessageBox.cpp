#include "platform/MessageBox.h"

#include "platform/MainThread.h"

#include <cstdio>
#include <mutex>

namespace plat {

namespace {

std::mutex hookMutex;
MessageBoxHook currentHook;

int defaultBox(const std::string& text, const std::string& caption, unsigned) {
    std::fprintf(stderr, "[%s] %s\n", caption.c_str(), text.c_str());
    return IDOK;
}

} // namespace

MessageBoxHook SetMessageBoxHook(MessageBoxHook hook) {
    std::lock_guard lock(hookMutex);
    auto previous = std::move(currentHook);
    currentHook = std::move(hook);
    return previous;
}

int MessageBox(const std::string& text, const std::string& caption, unsigned flags) {
    MessageBoxHook hook;
    {
        std::lock_guard lock(hookMutex);
        hook = currentHook;
    }
    if (!hook) hook = defaultBox;
    int answer = IDOK;
    MainThread::RunSync([&] { answer = hook(text, caption, flags); });
    return answer;
}

} // namespace plat
