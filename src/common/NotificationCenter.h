#pragma once

#include <any>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

namespace vessamo {

// Lives only while it is being delivered: handlers that keep anything of
// it copy what they keep.
struct Notification {
    std::string_view name;
    std::any object;  // an int percentage, a record, ... as the poster defines
};

// Named notifications delivered synchronously on the posting thread.
// Safe to use from any thread: posting, adding and removing may overlap.
// Once removeObserver() returns, that handler is not running on any other
// thread and is never called again (a handler may remove itself).
class NotificationCenter {
public:
    using Handler = std::function<void(const Notification&)>;
    using Token = uint64_t;

    NotificationCenter();
    ~NotificationCenter();
    NotificationCenter(const NotificationCenter&) = delete;
    NotificationCenter& operator=(const NotificationCenter&) = delete;

    // The process-wide centre every subsystem posts to.
    static NotificationCenter& defaultCenter();

    [[nodiscard]] Token addObserver(std::string name, Handler handler);
    void removeObserver(Token token);
    void post(std::string_view name, std::any object = {});

private:
    struct Entry;
    std::mutex mutex_;
    Token nextToken_ = 1;
    // Ordered by token, which is the order observers were added: delivery follows it.
    std::map<Token, std::shared_ptr<Entry>> entries_;
};

// Removes its observer when it goes out of scope.
class ScopedObserver {
public:
    ScopedObserver() = default;
    ScopedObserver(NotificationCenter& center, std::string name,
                   NotificationCenter::Handler handler);
    ~ScopedObserver();
    ScopedObserver(ScopedObserver&& other) noexcept;
    ScopedObserver& operator=(ScopedObserver&& other) noexcept;
    ScopedObserver(const ScopedObserver&) = delete;
    ScopedObserver& operator=(const ScopedObserver&) = delete;
    void reset();

private:
    NotificationCenter* center_ = nullptr;
    NotificationCenter::Token token_ = 0;
};

}  // namespace vessamo
