#include "vantrel/worker_pool.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>

#if defined(__unix__)
#include <pthread.h>
#endif

namespace vantrel::detail {
namespace {

struct Job {
    Job(PartFunction part, const void* context, std::size_t parts)
        : part(part), context(context), parts(parts) {}

    PartFunction part;
    const void* context;
    std::size_t parts;
    std::atomic<std::size_t> next{0};
    std::size_t wanted = 0;    // workers still to join (pool mutex)
    std::size_t attached = 0;  // workers inside the job (pool mutex)
    std::condition_variable detached;

    // Claims parts until none is left, or, for a worker, until more threads
    // compute than there are processors: the caller finishes what is left.
    void Work(const std::atomic<std::size_t>* computing = nullptr,
              std::size_t processors = 0) noexcept {
        while (computing == nullptr || computing->load(std::memory_order_relaxed) <= processors) {
            const std::size_t p = next.fetch_add(1);
            if (p >= parts) return;
            part(context, p);
        }
    }
};

class Pool {
public:
    // Started on first use; never destroyed, so that no worker outlives the
    // state it waits on while the process exits.
    static Pool& Instance() {
        static Pool* const pool = new Pool;
        return *pool;
    }

    void Run(std::size_t parts, std::size_t helpers, PartFunction part,
             const void* context) noexcept {
        Job job(part, context, parts);
        // Every processor busy with other calls already: no worker is woken.
        if (computing_.fetch_add(1) >= processors_) helpers = 0;
        {
            std::lock_guard lock(mutex_);
            job.wanted = std::min({idle_, parts - 1, helpers});
            if (job.wanted > 0) {
                pending_.push_back(&job);
                wake_.notify_all();
            }
        }
        job.Work();
        computing_.fetch_sub(1);
        std::unique_lock lock(mutex_);
        // Every part is claimed; workers that have not joined yet must not.
        std::erase(pending_, &job);
        job.detached.wait(lock, [&] { return job.attached == 0; });
    }

private:
    Pool() : processors_(std::max(1u, std::thread::hardware_concurrency())) {
        for (std::size_t w = 1; w < processors_; ++w) {
            try {
                std::thread(&Pool::Serve, this).detach();
                ++idle_;
            } catch (const std::exception&) {
                break;  // fewer workers: callers compute more themselves
            }
        }
#if defined(__unix__)
        // A child of fork has none of the workers: it computes alone. The lock
        // is held across the fork so that the child never inherits it taken.
        pthread_atfork([] { Instance().mutex_.lock(); }, [] { Instance().mutex_.unlock(); },
                       [] {
                           Pool& pool = Instance();
                           pool.idle_ = 0;
                           pool.pending_.clear();
                           pool.mutex_.unlock();
                       });
#endif
    }

    [[noreturn]] void Serve() noexcept {
        std::unique_lock lock(mutex_);
        for (;;) {
            wake_.wait(lock, [&] { return !pending_.empty(); });
            Job* job = pending_.front();
            if (--job->wanted == 0) pending_.pop_front();
            ++job->attached;
            --idle_;
            lock.unlock();
            computing_.fetch_add(1);
            job->Work(&computing_, processors_);
            computing_.fetch_sub(1);
            lock.lock();
            ++idle_;
            // The caller may return as soon as it sees this: job is not touched after.
            if (--job->attached == 0) job->detached.notify_one();
        }
    }

    const std::size_t processors_;
    std::atomic<std::size_t> computing_{0};  // callers and workers inside a job
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Job*> pending_;
    std::size_t idle_ = 0;
};

}  // namespace

void RunParts(std::size_t parts, std::size_t helpers, PartFunction part,
              const void* context) noexcept {
    if (parts <= 1 || helpers == 0) {
        for (std::size_t p = 0; p < parts; ++p) part(context, p);
        return;
    }
    Pool::Instance().Run(parts, helpers, part, context);
}

}  // namespace vantrel::detail
