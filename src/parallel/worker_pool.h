// A fixed set of threads that run one task at a time together with the calling thread. The
// solver starts it once per run; the searches hand it their work units.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>
#include <vector>

// The CPUs this process may run on (its affinity mask), or the machine's count when the mask
// cannot be read; at least 1.
unsigned availableCpus();

class WorkerPool {
 public:
  // Starts a thread that runs `body`; throws std::system_error when the system refuses one.
  using ThreadStarter = std::thread (*)(std::function<void()> body);

  // Aims at `workers` workers: the calling thread and workers - 1 threads. A thread that
  // cannot be started only lowers the count; the calling thread always remains, so nothing
  // is thrown and nothing is printed.
  explicit WorkerPool(unsigned workers, ThreadStarter start = &startThread);
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;
  // Joins every thread; no task may be running.
  ~WorkerPool();

  // Workers that run a task, the calling thread included.
  unsigned size() const { return static_cast<unsigned>(threads_.size()) + 1; }

  // Runs task(worker) once on every worker, worker 0 on the calling thread, and returns when
  // all have returned; what they wrote is then visible to the caller. A task that throws ends
  // the process, as the other workers would still be running it.
  template <typename Task>
  void run(Task& task) {
    runErased(&task, [](void* erased, unsigned worker) noexcept {
      (*static_cast<Task*>(erased))(worker);
    });
  }

  static std::thread startThread(std::function<void()> body) {
    return std::thread(std::move(body));
  }

 private:
  using Invoke = void (*)(void*, unsigned) noexcept;
  void runErased(void* task, Invoke invoke);
  void serve(unsigned worker);

  // The started threads, joined by the destructor.
  std::vector<std::thread> threads_;
  // The task of the current generation; written before generation_ is raised.
  void* task_ = nullptr;
  Invoke invoke_ = nullptr;
  bool stopping_ = false;
  // Raised once per task (and once to stop); the threads wait for it to change.
  std::atomic<std::uint32_t> generation_{0};
  // Threads still running the current task.
  std::atomic<std::uint32_t> busy_{0};
};
