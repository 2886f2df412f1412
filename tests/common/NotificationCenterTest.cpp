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

TEST(NotificationCenterDelivery, ObserversOfTheNameHearItInOrderWithTheObjectUnchanged) {
    NotificationCenter center;
    std::string order;
    auto observe = [&](char tag) { return [&order, tag](const Notification&) { order += tag; }; };
    auto a = center.addObserver("x", observe('a'));
    auto b = center.addObserver("y", observe('b'));
    auto c = center.addObserver("x", observe('c'));
    auto d = center.addObserver("x", observe('d'));
    center.removeObserver(c);
    auto e = center.addObserver("x", observe('e'));
    std::vector<ScopedObserver> many;  // more than a post keeps on its stack
    for (char tag = 'f'; tag <= 'p'; ++tag) {
        many.emplace_back(center, "x", observe(tag));
    }
    center.post("x");
    center.post("X");
    center.post("unobserved");
    EXPECT_EQ(order, "adefghijklmnop");
    for (auto token : {a, b, d, e}) {
        center.removeObserver(token);
    }

    std::shared_ptr<Progress> received;
    ScopedObserver records(center, "record", [&](const Notification& n) {
        received = std::any_cast<std::shared_ptr<Progress>>(n.object);
    });
    auto sent = std::make_shared<Progress>(Progress{7, "messages"});
    center.post("record", sent);
    ASSERT_EQ(received, sent);  // the same object, not a copy
    EXPECT_EQ(received->stage, "messages");

    int shared = 0;
    ScopedObserver observer(NotificationCenter::defaultCenter(), "NotificationCenterTest.shared",
                            [&](const Notification& n) { shared = std::any_cast<int>(n.object); });
    NotificationCenter::defaultCenter().post("NotificationCenterTest.shared", 42);
    EXPECT_EQ(shared, 42);
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

// Once removed, an observer is never called again: not by a second
// removal, not by the rest of the post that removed it, not by an outer post
// whose list still held it when a nested post removed it.
TEST(NotificationCenterRemoval, TakesEffectAtOnceEvenDuringDelivery) {
    NotificationCenter center;
    int calls = 0;
    auto token = center.addObserver("x", [&](const Notification&) { ++calls; });
    center.post("x");
    center.removeObserver(token);
    center.removeObserver(token);  // twice is harmless
    center.removeObserver(9999);   // so is a token never issued
    center.post("x");
    EXPECT_EQ(calls, 1);

    int laterCalls = 0;
    NotificationCenter::Token later = 0;
    ScopedObserver first(center, "y", [&](const Notification&) { center.removeObserver(later); });
    later = center.addObserver("y", [&](const Notification&) { ++laterCalls; });
    center.post("y");
    EXPECT_EQ(laterCalls, 0);

    bool reposted = false;
    int onceCalls = 0;
    ScopedObserver reposter(center, "z", [&](const Notification&) {
        if (!reposted) {
            reposted = true;
            center.post("z");
        }
    });
    NotificationCenter::Token once = 0;
    once = center.addObserver("z", [&](const Notification&) {
        ++onceCalls;
        center.removeObserver(once);  // a handler may remove itself
    });
    center.post("z");
    center.post("z");
    EXPECT_EQ(onceCalls, 1);
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
