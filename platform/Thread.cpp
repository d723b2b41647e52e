#include "platform/Thread.h"

#include "platform/MainThread.h"

namespace plat {

namespace {

std::function<void(TThread&)> startHook;

} // namespace

void TThread::SetStartHook(std::function<void(TThread&)> hook) {
    startHook = std::move(hook);
}

TThread::~TThread() {
    if (thread_.joinable()) {
        Terminate();
        WaitFor();
        thread_.join();
    }
}

void TThread::Start() {
    thread_ = std::thread([this] { Run(); });
}

void TThread::Run() {
    try {
        if (startHook) startHook(*this);
        Execute();
    } catch (...) {
        // An exception leaving a worker ends only that worker, as the framework does.
    }
    finished_.store(true);
    done_.Set();
}

void TThread::WaitFor() {
    if (!thread_.joinable()) return;
    if (MainThread::IsMainThread()) {
        // Only the synchronized calls: posted ones run after the operation that waits here.
        MainThread::ProcessUntil([this] { return done_.IsSet(); }, INFINITE,
                                 MainThread::Serve::Synchronized);
    } else {
        done_.Wait();
    }
}

void TThread::Synchronize(const std::function<void()>& fn) {
    MainThread::RunSync(fn);
}

} // namespace plat
