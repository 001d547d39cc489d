// A fixed set of reusable batches passed between one producer thread and
// one consumer thread: the producer fills empty batches, the consumer
// drains full ones and gives them back. The fixed set bounds the memory in
// flight; reusing batches keeps their buffers from one use to the next.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>

namespace engine {

template <typename Batch>
class BatchQueue {
 public:
  explicit BatchQueue(std::size_t batches) {
    for (std::size_t i = 0; i < batches; ++i) empty_.push_back(std::make_unique<Batch>());
  }
  // Batches made by `make`, for batches that need their size given.
  template <typename Make>
  BatchQueue(std::size_t batches, Make make) {
    for (std::size_t i = 0; i < batches; ++i) empty_.push_back(make());
  }

  // Producer: an empty batch to fill; null once the consumer has given up.
  std::unique_ptr<Batch> takeEmpty() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return cancelled_ || !empty_.empty(); });
    if (cancelled_) return nullptr;
    std::unique_ptr<Batch> batch = std::move(empty_.front());
    empty_.pop_front();
    return batch;
  }
  void pushFull(std::unique_ptr<Batch> batch) {
    std::lock_guard<std::mutex> lock(mutex_);
    full_.push_back(std::move(batch));
    changed_.notify_all();
  }
  // Producer: no more batches; `error` tells the consumer why, if it failed.
  void finish(std::exception_ptr error = nullptr) {
    std::lock_guard<std::mutex> lock(mutex_);
    finished_ = true;
    error_ = error;
    changed_.notify_all();
  }

  // Consumer: the next full batch in order; null after the last one.
  std::unique_ptr<Batch> takeFull() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return finished_ || !full_.empty(); });
    if (full_.empty()) return nullptr;
    std::unique_ptr<Batch> batch = std::move(full_.front());
    full_.pop_front();
    return batch;
  }
  void giveBack(std::unique_ptr<Batch> batch) {
    std::lock_guard<std::mutex> lock(mutex_);
    empty_.push_back(std::move(batch));
    changed_.notify_all();
  }
  // Consumer: stops the producer at its next batch.
  void cancel() {
    std::lock_guard<std::mutex> lock(mutex_);
    cancelled_ = true;
    changed_.notify_all();
  }
  // The producer's failure, once takeFull() has returned null.
  std::exception_ptr error() {
    std::lock_guard<std::mutex> lock(mutex_);
    return error_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::unique_ptr<Batch>> empty_, full_;
  bool finished_ = false;
  bool cancelled_ = false;
  std::exception_ptr error_;
};

}  // namespace engine
