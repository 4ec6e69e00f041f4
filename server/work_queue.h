// A small pool of worker threads for slow, self-contained jobs (password hashing).
//
// Every hand-off between the owner's thread and the workers goes through one
// std::mutex: a job is queued under it and taken under it, and its finishing step is
// queued under it and taken under it by the owner, which runs it on its own thread.
// Nothing crosses threads inside a framework's event queue, so ThreadSanitizer sees
// every edge and can check what the jobs touch.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace server {

class TWorkQueue {
public:
    explicit TWorkQueue(int threads);
    // Drops the jobs not started yet, waits for the running ones, and drops every
    // finishing step that has not been taken.
    ~TWorkQueue();
    TWorkQueue(const TWorkQueue&) = delete;
    TWorkQueue& operator=(const TWorkQueue&) = delete;

    // Queues `work` for a worker; once it has run, `done` waits to be run by TakeDone
    // on the owner's thread. Both may own what they capture: the queue keeps them
    // until they have run or been dropped.
    void Post(std::function<void()> work, std::function<void()> done);
    // Runs, on the calling thread and in the order the jobs finished, the finishing
    // step of every job that has finished. Returns how many ran.
    size_t TakeDone();
    // Jobs posted whose finishing step has not been taken yet.
    size_t Outstanding() const;
    // Drops what has not started, waits for what runs; later posts are dropped.
    void Stop();

private:
    struct TJob {
        std::function<void()> Work, Done;
    };
    void Run();

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::deque<TJob> waiting_;
    std::deque<std::function<void()>> finished_;
    size_t running_ = 0;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

}  // namespace server
