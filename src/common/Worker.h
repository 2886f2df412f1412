#pragma once

#include <atomic>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <stop_token>
#include <thread>

namespace vessamo {

// One piece of background work on a thread of its own: a scan, an export,
// a search, a conversion. It is asked to stop and joined when the Worker
// goes, so nothing it reads can disappear under it. The work polls its
// stop token; nothing is ever killed.
class Worker {
public:
    using Work = std::function<void(std::stop_token)>;

    Worker() = default;
    ~Worker() { stopAndJoin(); }
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;

    // Starts work; false, changing nothing, while earlier work still runs.
    bool start(Work work);
    [[nodiscard]] bool running() const { return running_.load(); }
    void requestStop() { thread_.request_stop(); }
    // Waits for the work to end; a no-op on the worker's own thread.
    void join();
    void stopAndJoin() {
        requestStop();
        join();
    }

private:
    std::jthread thread_;
    std::atomic<bool> running_{false};
};

// Any number of concurrent pieces of work of one kind (exports, search
// keystrokes). Finished ones are joined when the next one starts, the rest
// when the set goes.
class WorkerSet {
public:
    WorkerSet() = default;
    ~WorkerSet() { stopAndJoinAll(); }
    WorkerSet(const WorkerSet&) = delete;
    WorkerSet& operator=(const WorkerSet&) = delete;

    void start(Worker::Work work);
    [[nodiscard]] size_t running() const;
    void requestStopAll();
    // Waits for every piece of work started so far.
    void joinAll();
    void stopAndJoinAll() {
        requestStopAll();
        joinAll();
    }

private:
    void reapFinished();

    mutable std::mutex mutex_;
    std::list<std::unique_ptr<Worker>> workers_;
};

}  // namespace vessamo
