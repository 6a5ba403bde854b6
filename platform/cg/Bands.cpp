#include "cg/Bands.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace bands {
namespace {

// The pool: workers that sleep until a call hands out bands.
class Pool {
 public:
  static Pool& Shared() {
    static Pool pool;
    return pool;
  }
  int threads() const { return threads_; }
  void SetThreads(int threads) {
    Stop();
    threads_ = std::max(1, threads);
    for (int k = 1; k < threads_; ++k) workers_.emplace_back([this] { Work(); });
  }
  // Runs work(band) for band = 0 .. count - 1, on this thread and the workers.
  void Run(int count, const std::function<void(int)>& work) {
    if (threads_ == 1 || count == 1) {
      for (int b = 0; b < count; ++b) work(b);
      return;
    }
    auto job = std::make_shared<Job>();
    job->work = &work;
    job->count = count;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      job_ = job;
      ++serial_;
    }
    wake_.notify_all();
    Take(*job);
    SpinUntil([&] { return job->done.load() == job->count; });
    std::unique_lock<std::mutex> lock(mutex_);
    finished_.wait(lock, [&] { return job->done.load() == job->count; });
    job_.reset();
  }
  ~Pool() { Stop(); }

 private:
  // One call's bands. A worker that comes late finds them all taken and
  // never touches the call's work, which may be gone by then.
  struct Job {
    const std::function<void(int)>* work = nullptr;
    int count = 0;
    std::atomic<int> next{0}, done{0};
  };

  // Calls come in bursts (a frame's copy, then its drawing): waiting a few
  // tens of microseconds awake saves the much longer wake-up from sleep.
  template <typename Ready>
  static void SpinUntil(Ready ready) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(50);
    for (int k = 0; !ready(); ++k)
      if (k % 64 == 63 && std::chrono::steady_clock::now() > until) return;
  }

  Pool() {
    const char* wanted = std::getenv("QUORVEL_THREADS");
    const int cores = int(std::thread::hardware_concurrency());
    SetThreads(wanted && std::atoi(wanted) > 0 ? std::atoi(wanted) : std::min(std::max(cores, 1), 16));
  }
  void Take(Job& job) {
    for (int b; (b = job.next.fetch_add(1)) < job.count;) {
      (*job.work)(b);
      std::lock_guard<std::mutex> lock(mutex_);
      if (++job.done == job.count) finished_.notify_all();
    }
  }
  void Work() {
    long seen = 0;
    for (;;) {
      SpinUntil([&] { return serial_.load() != seen; });
      std::unique_lock<std::mutex> lock(mutex_);
      wake_.wait(lock, [&] { return stopping_ || (serial_ != seen && job_ != nullptr); });
      if (stopping_) return;
      seen = serial_;
      std::shared_ptr<Job> job = job_;
      lock.unlock();
      Take(*job);
    }
  }
  void Stop() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
    }
    wake_.notify_all();
    for (std::thread& t : workers_) t.join();
    workers_.clear();
    stopping_ = false;
  }

  int threads_ = 1;
  std::vector<std::thread> workers_;
  std::mutex mutex_;
  std::condition_variable wake_, finished_;
  std::shared_ptr<Job> job_;
  std::atomic<long> serial_{0};
  bool stopping_ = false;
};

}  // namespace

int Threads() { return Pool::Shared().threads(); }
void SetThreads(int threads) { Pool::Shared().SetThreads(threads); }
void Run(int count, const std::function<void(int)>& work) { Pool::Shared().Run(count, work); }

}  // namespace bands
