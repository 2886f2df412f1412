#include "common/NotificationCenter.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "common/SystemLog.h"

namespace vessamo {
namespace {

using namespace std::chrono_literals;

struct Progress {
    int done = 0;
    std::string stage;
};

TEST(NotificationCenterDelivery, OnlyObserversOfThePostedNameAreCalled) {
    NotificationCenter center;
    std::vector<std::string> seen;
    auto a = center.addObserver(
        "progress", [&](const Notification& n) { seen.push_back("a:" + std::string(n.name)); });
    auto b = center.addObserver(
        "finished", [&](const Notification& n) { seen.push_back("b:" + std::string(n.name)); });
    center.post("progress");
    center.post("progres");
    center.post("unobserved");
    EXPECT_EQ(seen, std::vector<std::string>{"a:progress"});
    center.removeObserver(a);
    center.removeObserver(b);
}

TEST(NotificationCenterDelivery, CarriesTheObjectUnchanged) {
    NotificationCenter center;
    int percent = -1;
    std::shared_ptr<Progress> received;
    ScopedObserver ints(center, "percent",
                        [&](const Notification& n) { percent = std::any_cast<int>(n.object); });
    ScopedObserver records(center, "record", [&](const Notification& n) {
        received = std::any_cast<std::shared_ptr<Progress>>(n.object);
    });
    auto sent = std::make_shared<Progress>(Progress{7, "messages"});
    center.post("percent", 42);
    center.post("record", sent);
    EXPECT_EQ(percent, 42);
    ASSERT_EQ(received, sent);  // the same object, not a copy
    EXPECT_EQ(received->stage, "messages");
}

TEST(NotificationCenterDelivery, FollowsTheOrderObserversWereAdded) {
    NotificationCenter center;
    std::string order;
    auto observe = [&](char tag) { return [&order, tag](const Notification&) { order += tag; }; };
    auto a = center.addObserver("x", observe('a'));
    auto b = center.addObserver("y", observe('b'));
    auto c = center.addObserver("x", observe('c'));
    auto d = center.addObserver("x", observe('d'));
    center.removeObserver(c);
    auto e = center.addObserver("x", observe('e'));
    center.post("x");
    EXPECT_EQ(order, "ade");
    for (auto token : {a, b, d, e}) {
        center.removeObserver(token);
    }
}

TEST(NotificationCenterDelivery, ThrowingObserverIsLoggedAndOthersStillRun) {
    NotificationCenter center;
    SystemLog::Capture log;
    int after = 0;
    auto thrower = center.addObserver(
        "x", [](const Notification&) { throw std::runtime_error("observer exploded"); });
    ScopedObserver next(center, "x", [&](const Notification&) { ++after; });
    center.post("x");
    center.post("x");
    EXPECT_EQ(after, 2);
    EXPECT_TRUE(log.contains("observer exploded"));
    center.removeObserver(thrower);  // would hang if the thrown call were still counted as running
}

TEST(NotificationCenterDelivery, DefaultCenterIsShared) {
    int calls = 0;
    ScopedObserver observer(NotificationCenter::defaultCenter(), "NotificationCenterTest.shared",
                            [&](const Notification&) { ++calls; });
    NotificationCenter::defaultCenter().post("NotificationCenterTest.shared");
    EXPECT_EQ(calls, 1);
}

TEST(NotificationCenterRemoval, RemovedObserverIsNotCalled) {
    NotificationCenter center;
    int calls = 0;
    auto token = center.addObserver("x", [&](const Notification&) { ++calls; });
    center.post("x");
    center.removeObserver(token);
    center.removeObserver(token);  // twice is harmless
    center.removeObserver(9999);   // so is a token never issued
    center.post("x");
    EXPECT_EQ(calls, 1);
}

TEST(NotificationCenterRemoval, HandlerMayRemoveItself) {
    NotificationCenter center;
    int calls = 0;
    NotificationCenter::Token token = 0;
    token = center.addObserver("x", [&](const Notification&) {
        ++calls;
        center.removeObserver(token);
    });
    center.post("x");
    center.post("x");
    EXPECT_EQ(calls, 1);
}

TEST(NotificationCenterRemoval, RemovalDuringDeliveryAppliesToTheRestOfThatPost) {
    NotificationCenter center;
    int laterCalls = 0;
    NotificationCenter::Token later = 0;
    ScopedObserver first(center, "x", [&](const Notification&) { center.removeObserver(later); });
    later = center.addObserver("x", [&](const Notification&) { ++laterCalls; });
    center.post("x");
    EXPECT_EQ(laterCalls, 0);
}

// The outer post still holds the observer in its list after a nested post removed it.
TEST(NotificationCenterRemoval, ObserverRemovedInNestedPostIsSkippedByTheOuterPost) {
    NotificationCenter center;
    bool reposted = false;
    int calls = 0;
    ScopedObserver reposter(center, "x", [&](const Notification&) {
        if (!reposted) {
            reposted = true;
            center.post("x");
        }
    });
    NotificationCenter::Token once = 0;
    once = center.addObserver("x", [&](const Notification&) {
        ++calls;
        center.removeObserver(once);
    });
    center.post("x");
    EXPECT_EQ(calls, 1);
}

TEST(NotificationCenterRemoval, HandlerMayAddObserversAndPost) {
    NotificationCenter center;
    std::vector<std::string> seen;
    std::vector<ScopedObserver> added;
    ScopedObserver starter(center, "start", [&](const Notification&) {
        seen.push_back("start");
        added.emplace_back(center, "start", [&](const Notification&) { seen.push_back("late"); });
        added.emplace_back(center, "nested",
                           [&](const Notification&) { seen.push_back("nested"); });
        center.post("nested");
    });
    center.post("start");  // the observer added while delivering joins from the next post
    EXPECT_EQ(seen, (std::vector<std::string>{"start", "nested"}));
    added.clear();
    center.post("start");
    EXPECT_EQ(seen.size(), 4u);  // "start" then a further "nested"
}

TEST(NotificationCenterRemoval, ScopedObserverRemovesAtScopeEndAndOnMove) {
    NotificationCenter center;
    int first = 0;
    int second = 0;
    {
        ScopedObserver scoped(center, "x", [&](const Notification&) { ++first; });
        ScopedObserver moved(std::move(scoped));
        center.post("x");  // the moved-from object must not have removed anything
        EXPECT_EQ(first, 1);

        ScopedObserver target(center, "x", [&](const Notification&) { ++second; });
        target = std::move(moved);  // drops target's own observer, takes over `first`
        center.post("x");
        EXPECT_EQ(first, 2);
        EXPECT_EQ(second, 0);
    }
    center.post("x");
    EXPECT_EQ(first, 2);

    ScopedObserver early(center, "x", [&](const Notification&) { ++second; });
    early.reset();
    center.post("x");
    EXPECT_EQ(second, 0);
}

TEST(NotificationCenterThreads, ConcurrentPostsAreCountedExactly) {
    NotificationCenter center;
    std::atomic<int> calls{0};
    ScopedObserver counter(center, "tick", [&](const Notification&) { ++calls; });
    std::atomic<bool> stop{false};
    std::thread churn([&] {
        while (!stop) {
            ScopedObserver transient(center, "tick", [](const Notification&) {});
        }
    });
    std::vector<std::thread> posters;
    for (int t = 0; t < 4; ++t) {
        posters.emplace_back([&] {
            for (int i = 0; i < 1000; ++i) {
                center.post("tick", i);
            }
        });
    }
    for (auto& poster : posters) {
        poster.join();
    }
    stop = true;
    churn.join();
    EXPECT_EQ(calls.load(), 4000);
}

TEST(NotificationCenterThreads, RemoveWaitsForHandlerRunningOnAnotherThread) {
    NotificationCenter center;
    std::atomic<bool> started{false};
    std::atomic<bool> removed{false};
    std::atomic<bool> ranAfterRemoval{false};
    std::atomic<int> completed{0};
    auto token = center.addObserver("tick", [&](const Notification&) {
        if (removed) {
            ranAfterRemoval = true;
        }
        started = true;
        std::this_thread::sleep_for(20ms);
        if (removed) {
            ranAfterRemoval = true;
        }
        ++completed;
    });
    std::atomic<bool> stop{false};
    std::thread poster([&] {
        while (!stop) {
            center.post("tick");
        }
    });
    while (!started) {
        std::this_thread::yield();
    }
    center.removeObserver(token);
    removed = true;
    const int completedAtRemoval = completed;
    std::this_thread::sleep_for(30ms);
    stop = true;
    poster.join();
    EXPECT_FALSE(ranAfterRemoval);
    EXPECT_GE(completedAtRemoval, 1);  // the call in flight was waited for, not abandoned
    EXPECT_EQ(completed.load(), completedAtRemoval);
}

// Two workers inside the same handler, each removing it: neither may wait for the other forever.
TEST(NotificationCenterThreads, ConcurrentSelfRemovalDoesNotDeadlock) {
    struct Shared {
        NotificationCenter center;
        NotificationCenter::Token token = 0;
        std::atomic<int> inside{0};
        std::atomic<int> finished{0};
    };
    auto shared = std::make_shared<Shared>();
    shared->token = shared->center.addObserver("x", [raw = shared.get()](const Notification&) {
        ++raw->inside;
        const auto giveUp = std::chrono::steady_clock::now() + 1s;
        while (raw->inside < 2 && std::chrono::steady_clock::now() < giveUp) {
            std::this_thread::yield();
        }
        raw->center.removeObserver(raw->token);
    });
    auto post = [shared] {
        shared->center.post("x");
        ++shared->finished;
    };
    std::thread a(post);
    std::thread b(post);
    const auto deadline = std::chrono::steady_clock::now() + 2s;
    while (shared->finished < 2 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(1ms);
    }
    if (shared->finished < 2) {
        a.detach();  // deadlocked: leak them; `shared` keeps their state alive
        b.detach();
        FAIL() << "workers removing the handler they were running deadlocked";
    }
    a.join();
    b.join();
    EXPECT_EQ(shared->inside.load(), 2);
    shared->center.post("x");
    EXPECT_EQ(shared->inside.load(), 2);
}

}  // namespace
}  // namespace vessamo

namespace vessamo {
namespace {

// More observers than a post keeps on its stack still hear it, in order.
TEST(NotificationCenterDelivery, ManyObserversOfOneName) {
    NotificationCenter center;
    std::vector<int> heard;
    std::vector<ScopedObserver> observers;
    for (int i = 0; i < 11; ++i) {
        observers.emplace_back(center, "Many",
                               [&heard, i](const Notification&) { heard.push_back(i); });
    }
    center.post("Many");
    EXPECT_EQ(heard, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
}

}  // namespace
}  // namespace vessamo
