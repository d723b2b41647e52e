// A machine with every core taken: one spinning thread per core for as long as it lives, so
// that the threads under test get their turns late, as on a loaded desktop or a busy CI host.
#pragma once

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

class BusyMachine {
public:
    BusyMachine() {
        const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
        for (unsigned i = 0; i < cores; ++i)
            spinners_.emplace_back([this] {
                while (!stop_.load(std::memory_order_relaxed)) {
                }
            });
    }
    ~BusyMachine() {
        stop_ = true;
        for (std::thread& t : spinners_)
            t.join();
    }
    BusyMachine(const BusyMachine&) = delete;
    BusyMachine& operator=(const BusyMachine&) = delete;

private:
    std::atomic<bool> stop_{false};
    std::vector<std::thread> spinners_;
};
