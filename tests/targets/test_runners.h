// Exchange runners for the lists' tests: one that runs every work on its own
// thread, and one that holds the works until the test runs them.
#pragma once

#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "targets/verify_list_model.h"

namespace vcq::test {

class ThreadRunner : public ExchangeRunner {
  public:
    ~ThreadRunner() override {
        for (auto& thread : threads_)
            thread.join();
    }
    void Post(std::function<void()> work) override {
        std::lock_guard lock(mutex_);
        threads_.emplace_back(std::move(work));
        ++posted_;
    }
    size_t Posted() const {
        std::lock_guard lock(mutex_);
        return posted_;
    }

  private:
    mutable std::mutex mutex_;
    std::vector<std::thread> threads_;
    size_t posted_ = 0;
};

// Works never run unless the test asks; those left are dropped unrun, so
// addresses outside loopback are never contacted.
class HeldRunner : public ExchangeRunner {
  public:
    void Post(std::function<void()> work) override { works_.push_back(std::move(work)); }
    size_t Posted() const { return works_.size(); }
    // Runs work `n` on a thread of its own and waits for it.
    void Run(size_t n) {
        std::thread worker(std::move(works_.at(n)));
        worker.join();
    }

  private:
    std::vector<std::function<void()>> works_;
};

}  // namespace vcq::test
