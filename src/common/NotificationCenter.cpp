#include "common/NotificationCenter.h"

#include <algorithm>
#include <array>
#include <condition_variable>
#include <exception>
#include <thread>
#include <utility>
#include <vector>

#include "common/SystemLog.h"

namespace vessamo {

// One observer. Its own lock lets removal wait for calls in flight without holding the
// centre's lock, so handlers stay free to post, add and remove.
struct NotificationCenter::Entry {
    Entry(std::string observedName, Handler observerHandler)
        : name(std::move(observedName)), handler(std::move(observerHandler)) {}

    void call(const Notification& notification);
    void retire();

    const std::string name;
    // Cleared by retire() once no call is in flight, so captured resources are released when
    // removeObserver() returns rather than whenever the last posting thread lets go.
    Handler handler;

    std::mutex mutex;
    std::condition_variable changed;
    bool active = true;
    // One element per call in flight; a thread repeats when a handler re-posts its own name.
    std::vector<std::thread::id> callers;
    // Threads inside retire() for this entry.
    std::vector<std::thread::id> removers;

private:
    bool enter();
    void leave();
};

bool NotificationCenter::Entry::enter() {
    std::lock_guard lock(mutex);
    if (!active || !handler) {
        return false;
    }
    callers.push_back(std::this_thread::get_id());
    return true;
}

void NotificationCenter::Entry::leave() {
    std::lock_guard lock(mutex);
    const auto self = std::find(callers.rbegin(), callers.rend(), std::this_thread::get_id());
    callers.erase(std::next(self).base());
    if (!removers.empty()) {
        changed.notify_all();
    }
}

void NotificationCenter::Entry::call(const Notification& notification) {
    if (!enter()) {
        return;
    }
    struct Leave {
        Entry& entry;
        ~Leave() { entry.leave(); }
    } leaveOnExit{*this};
    // A throwing observer must not cost the poster, or the observers after it, their delivery.
    try {
        handler(notification);
    } catch (const std::exception& error) {
        SystemLog::write("NotificationCenter: observer of '" + name + "' threw: " + error.what());
    } catch (...) {
        SystemLog::write("NotificationCenter: observer of '" + name + "' threw");
    }
}

// Waits for every call on other threads, except calls whose thread is itself blocked removing
// this entry: two threads that each remove the handler they are running would otherwise wait
// on each other forever. The one case left that cannot be honoured is a cycle across different
// entries (A's handler removes B while B's handler removes A); that deadlocks by design.
void NotificationCenter::Entry::retire() {
    Handler released;
    {
        std::unique_lock lock(mutex);
        const auto self = std::this_thread::get_id();
        active = false;
        removers.push_back(self);
        changed.notify_all();
        changed.wait(lock, [this] {
            return std::all_of(callers.begin(), callers.end(), [this](std::thread::id caller) {
                return std::find(removers.begin(), removers.end(), caller) != removers.end();
            });
        });
        removers.erase(std::find(removers.begin(), removers.end(), self));
        if (callers.empty()) {
            released = std::move(handler);
            handler = nullptr;
        }
    }
    // `released` is destroyed here, outside the lock, in case its captures call back into us.
}

NotificationCenter::NotificationCenter() = default;
NotificationCenter::~NotificationCenter() = default;

NotificationCenter& NotificationCenter::defaultCenter() {
    static NotificationCenter center;
    return center;
}

NotificationCenter::Token NotificationCenter::addObserver(std::string name, Handler handler) {
    auto entry = std::make_shared<Entry>(std::move(name), std::move(handler));
    std::lock_guard lock(mutex_);
    const Token token = nextToken_++;
    entries_.emplace(token, std::move(entry));
    return token;
}

void NotificationCenter::removeObserver(Token token) {
    std::shared_ptr<Entry> entry;
    {
        std::lock_guard lock(mutex_);
        const auto found = entries_.find(token);
        if (found == entries_.end()) {
            return;
        }
        entry = found->second;
    }
    // Stays listed while retiring so that a second remover of the same token also waits.
    entry->retire();
    std::shared_ptr<Entry> unlisted;
    {
        std::lock_guard lock(mutex_);
        const auto found = entries_.find(token);
        if (found != entries_.end()) {
            unlisted = std::move(found->second);
            entries_.erase(found);
        }
    }
}

void NotificationCenter::post(std::string_view name, std::any object) {
    // Scans post once per record; the few observers of a name fit on the
    // stack, so a post allocates nothing.
    constexpr size_t kInline = 8;
    std::array<std::shared_ptr<Entry>, kInline> inlineMatches;
    std::vector<std::shared_ptr<Entry>> moreMatches;
    size_t count = 0;
    {
        std::lock_guard lock(mutex_);
        for (const auto& [token, entry] : entries_) {
            if (entry->name != name) {
                continue;
            }
            if (count < kInline) {
                inlineMatches[count] = entry;
            } else {
                moreMatches.push_back(entry);
            }
            ++count;
        }
    }
    if (count == 0) {
        return;
    }
    const Notification notification{name, std::move(object)};
    for (size_t i = 0; i < std::min(count, kInline); ++i) {
        inlineMatches[i]->call(notification);
    }
    for (const auto& entry : moreMatches) {
        entry->call(notification);
    }
}

ScopedObserver::ScopedObserver(NotificationCenter& center, std::string name,
                               NotificationCenter::Handler handler)
    : center_(&center), token_(center.addObserver(std::move(name), std::move(handler))) {}

ScopedObserver::~ScopedObserver() {
    reset();
}

ScopedObserver::ScopedObserver(ScopedObserver&& other) noexcept
    : center_(std::exchange(other.center_, nullptr)), token_(std::exchange(other.token_, 0)) {}

ScopedObserver& ScopedObserver::operator=(ScopedObserver&& other) noexcept {
    if (this != &other) {
        reset();
        center_ = std::exchange(other.center_, nullptr);
        token_ = std::exchange(other.token_, 0);
    }
    return *this;
}

void ScopedObserver::reset() {
    if (center_ != nullptr) {
        center_->removeObserver(token_);
    }
    center_ = nullptr;
    token_ = 0;
}

}  // namespace vessamo
