// The worker threads of TWorkQueue.
#include "work_queue.h"

#include <algorithm>

namespace server {

TWorkQueue::TWorkQueue(int threads)
{
    for (int i = 0; i < std::max(threads, 1); ++i)
        threads_.emplace_back([this] { Run(); });
}

TWorkQueue::~TWorkQueue()
{
    Stop();
    {
        std::lock_guard lock(mutex_);
        finished_.clear();
    }
    for (std::thread& t : threads_)
        t.join();
}

void TWorkQueue::Post(std::function<void()> work, std::function<void()> done)
{
    {
        std::lock_guard lock(mutex_);
        if (stopping_)
            return;
        waiting_.push_back({std::move(work), std::move(done)});
    }
    wake_.notify_one();
}

size_t TWorkQueue::TakeDone()
{
    std::deque<std::function<void()>> ready;
    {
        std::lock_guard lock(mutex_);
        ready.swap(finished_);
    }
    for (auto& done : ready)
        done();
    return ready.size();
}

size_t TWorkQueue::Outstanding() const
{
    std::lock_guard lock(mutex_);
    return waiting_.size() + running_ + finished_.size();
}

void TWorkQueue::Stop()
{
    std::unique_lock lock(mutex_);
    stopping_ = true;
    waiting_.clear();
    wake_.notify_all();
    idle_.wait(lock, [this] { return running_ == 0; });
}

void TWorkQueue::Run()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || !waiting_.empty(); });
        if (waiting_.empty())
            return;  // stopping, nothing left to do
        TJob job = std::move(waiting_.front());
        waiting_.pop_front();
        ++running_;
        lock.unlock();
        job.Work();
        job.Work = nullptr;  // what the work captured is released on this thread
        lock.lock();
        --running_;
        if (!stopping_)
            finished_.push_back(std::move(job.Done));
        if (running_ == 0)
            idle_.notify_all();
    }
}

}  // namespace server
