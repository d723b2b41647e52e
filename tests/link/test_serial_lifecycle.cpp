// Handing requests over, their serialisation on the link's lock, and stopping the thread.
#include "LinkFixture.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>

namespace {

using Clock = std::chrono::steady_clock;

SerialTiming SlowTiming() {
    SerialTiming t = FastTiming();
    t.ReplyWait = 150;
    t.ReplyStep = 10;
    return t;
}

bool WaitUntil(const std::function<bool()>& done, int ms = 5000) {
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (Clock::now() > end) return false;
        plat::Sleep(1);
    }
    return true;
}

} // namespace

// A GUI operation that holds the link's lock while codes are handed over.
class SerialTestAccess {
public:
    static plat::Mutex& Lock(Serial& s) { return s.Lock; }
};

TEST(SerialLifecycle, DestructionWaitsForTheRunningRequest) {
    NotifyLog log;
    RecorderSim sim;
    FakeHost host{sim};
    sim.SetPersistentFault(SimFault::NoReply);
    auto link =
        std::make_unique<Serial>(log.Handle(), host, SerialRequestSet::Service, SlowTiming());
    link->PostCommand(RequestReadParams);
    ASSERT_TRUE(WaitUntil([&] { return host.PutCalls() >= 1; }));
    link.reset();
    EXPECT_EQ(host.SentCount(), 2); // the request ran to its end, resend included
    EXPECT_EQ(log.Drain(), (std::vector<int>{3, 1}));
}

TEST(SerialLifecycle, DestructionOfAnIdleOrStoppedThread) {
    NotifyLog log;
    RecorderSim sim;
    FakeHost host{sim};
    { Serial link(log.Handle(), host, SerialRequestSet::Wizard, FastTiming()); }
    EXPECT_EQ(log.Drain(), (std::vector<int>{1}));
    log.Clear();
    {
        Serial link(log.Handle(), host, SerialRequestSet::Service, FastTiming());
        link.PostCommand(RequestStop);
        ASSERT_TRUE(log.WaitFor(1));
    } // the thread has already ended: no hang
    EXPECT_EQ(log.Drain(), (std::vector<int>{1}));
    EXPECT_EQ(host.PutCalls(), 0);
}

TEST(SerialLifecycle, PostCommandBlocksWhileARequestRuns) {
    NotifyLog log;
    RecorderSim sim;
    FakeHost host{sim};
    sim.SetPersistentFault(SimFault::NoReply);
    Serial link(log.Handle(), host, SerialRequestSet::Service, SlowTiming());
    link.PostCommand(RequestReadParams);
    ASSERT_TRUE(WaitUntil([&] { return host.PutCalls() >= 1; }));
    const auto start = Clock::now();
    link.PostCommand(RequestReadClock);
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(100));
    // The first request's result was posted before the lock came free.
    plat::MainThread::ProcessPending();
    EXPECT_EQ(log.Codes(), (std::vector<int>{3}));
    ASSERT_TRUE(log.WaitFor(5));
    EXPECT_EQ(log.Drain(), (std::vector<int>{3, 5}));
}

TEST(SerialLifecycle, OfTwoCodesHandedOverOnlyTheLaterRuns) {
    NotifyLog log;
    RecorderSim sim;
    FakeHost host{sim};
    Serial link(log.Handle(), host, SerialRequestSet::Service, FastTiming());
    SerialTestAccess::Lock(link).Wait(plat::INFINITE);
    link.PostCommand(RequestReadParams);
    plat::Sleep(30); // the thread wakes and waits for the lock
    link.PostCommand(RequestReadClock);
    SerialTestAccess::Lock(link).Release();
    ASSERT_TRUE(log.WaitFor(4));
    // Neither a second run of the later code nor its result run as a request.
    EXPECT_EQ(log.Drain(200), (std::vector<int>{4}));
    ASSERT_EQ(host.SentCount(), 1);
    EXPECT_EQ(host.Sent()[0][3], 0x0A);
}

TEST(SerialLifecycle, GettersWaitForTheRequestAndSeeItsResult) {
    NotifyLog log;
    RecorderSim sim;
    FakeHost host{sim};
    sim.SetMeasurement(7, 7.5f);
    Serial link(log.Handle(), host, SerialRequestSet::Service, SlowTiming());
    link.PostCommand(RequestReadMeasurements);
    ASSERT_TRUE(WaitUntil([&] { return host.PutCalls() >= 1; }));
    Measurements m{};
    link.GetMeasurements(m); // blocks until both blocks are in
    EXPECT_EQ(m[7], 7.5f);
    EXPECT_EQ(host.SentCount(), 2);
}
