#include "common/Worker.h"

#include <algorithm>
#include <vector>

namespace vessamo {

bool Worker::start(Work work) {
    bool idle = false;
    if (!running_.compare_exchange_strong(idle, true)) {
        return false;
    }
    if (thread_.joinable()) {
        thread_.join();  // the last run has ended; only its thread is left
    }
    thread_ = std::jthread([this, work = std::move(work)](std::stop_token stop) {
        work(stop);
        running_ = false;
    });
    return true;
}

void Worker::join() {
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) {
        thread_.join();
    }
}

void WorkerSet::start(Worker::Work work) {
    reapFinished();
    auto worker = std::make_unique<Worker>();
    worker->start(std::move(work));
    const std::lock_guard lock(mutex_);
    workers_.push_back(std::move(worker));
}

size_t WorkerSet::running() const {
    const std::lock_guard lock(mutex_);
    return static_cast<size_t>(std::count_if(workers_.begin(), workers_.end(),
                                             [](const auto& worker) { return worker->running(); }));
}

void WorkerSet::requestStopAll() {
    const std::lock_guard lock(mutex_);
    for (const auto& worker : workers_) {
        worker->requestStop();
    }
}

void WorkerSet::reapFinished() {
    std::list<std::unique_ptr<Worker>> finished;
    {
        const std::lock_guard lock(mutex_);
        for (auto it = workers_.begin(); it != workers_.end();) {
            auto next = std::next(it);
            if (!(*it)->running()) {
                finished.splice(finished.end(), workers_, it);
            }
            it = next;
        }
    }
    finished.clear();  // joins outside the lock
}

void WorkerSet::joinAll() {
    std::list<std::unique_ptr<Worker>> all;
    {
        const std::lock_guard lock(mutex_);
        all.swap(workers_);
    }
    for (const auto& worker : all) {
        worker->join();  // before the destructor, which would ask it to stop
    }
}

}  // namespace vessamo
