// Handing requests over, their serialisation on the link's lock, and stopping the thread.
#include "LinkFixture.h"

#include <chrono>

// Lets a test hold the link's lock as a GUI operation does, and see whether the thread has
// taken its wake-up.
class SerialTestAccess {
public:
    static plat::Mutex& Lock(Serial& s) { return s.Lock; }
    static bool WakePending(Serial& s) { return s.Wake.IsSet(); }
};

namespace {

using Clock = std::chrono::steady_clock;

bool WaitUntil(const std::function<bool()>& done) {
    for (const auto end = Clock::now() + std::chrono::seconds(5); !done(); plat::Sleep(1))
        if (Clock::now() > end) return false;
    return true;
}

// A request that runs for a while: no reply to the send nor to the resend.
class BusyLinkTest : public LinkTest {
protected:
    void SetUp() override {
        sim.SetPersistentFault(SimFault::NoReply);
        MakeLink(SerialRequestSet::Service, FastTiming(150, 10));
        link->PostCommand(RequestReadParams);
        ASSERT_TRUE(WaitUntil([&] { return !host.Sent().empty(); }));
    }
};

} // namespace

TEST_F(BusyLinkTest, DestructionWaitsForTheRunningRequest) {
    link.reset();
    EXPECT_EQ(host.Sent().size(), 2u); // the request ran to its end, resend included
    EXPECT_EQ(log.Drain(), (Codes{3, 1}));
}

TEST_F(BusyLinkTest, PostCommandBlocksWhileARequestRuns) {
    const auto start = Clock::now();
    link->PostCommand(RequestReadClock);
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(100));
    // The first request's result was posted before the lock came free.
    EXPECT_EQ(log.Drain(), Codes{3});
    ASSERT_TRUE(log.WaitFor(5));
    EXPECT_EQ(log.Drain(), Codes{5});
}

TEST_F(LinkTest, DestructionOfAnIdleOrStoppedThread) {
    MakeLink(SerialRequestSet::Wizard);
    link.reset();
    EXPECT_EQ(log.Drain(), Codes{1});
    MakeLink();
    EXPECT_EQ(Run(1, 1), Codes{1});
    link.reset(); // the thread has already ended: no hang, no further message
    EXPECT_EQ(log.Drain(), Codes{});
    EXPECT_TRUE(host.Sent().empty());
}

// The thread must clear a wake-up given while it waited for the lock, or the code it is about
// to run would run again, by then a result code.
TEST_F(LinkTest, OfTwoCodesHandedOverOnlyTheLaterRuns) {
    MakeLink();
    plat::Mutex& lock = SerialTestAccess::Lock(*link);
    lock.Wait(plat::INFINITE);
    link->PostCommand(RequestReadParams);
    // The thread takes the wake-up and then waits for the lock.
    ASSERT_TRUE(WaitUntil([&] { return !SerialTestAccess::WakePending(*link); }));
    link->PostCommand(RequestReadClock);
    lock.Release();
    ASSERT_TRUE(log.WaitFor(4));
    EXPECT_EQ(log.Drain(200), Codes{4});
    EXPECT_EQ(Requests(host.Sent()), (std::vector<Req>{{3, 0x040A, 7}}));
}
