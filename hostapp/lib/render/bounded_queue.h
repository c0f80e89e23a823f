// A first-in first-out queue between two threads that holds at most `capacity` items:
// Push waits while it is full, Pop waits while it is empty.
#ifndef FFGLHOST_BOUNDED_QUEUE_H
#define FFGLHOST_BOUNDED_QUEUE_H

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>

namespace ffglhost {

template <typename T>
class BoundedQueue {
  public:
    explicit BoundedQueue(size_t capacity) : capacity_(capacity > 0 ? capacity : 1) {}

    // Waits for room and appends; false (and `item` untouched) once the queue is closed.
    bool Push(T& item) {
        std::unique_lock<std::mutex> lock(mutex_);
        notFull_.wait(lock, [this] { return closed_ || items_.size() < capacity_; });
        if (closed_) {
            return false;
        }
        items_.push_back(std::move(item));
        notEmpty_.notify_one();
        return true;
    }

    // Waits for an item; false when the queue is closed and nothing is left in it.
    bool Pop(T& item) {
        std::unique_lock<std::mutex> lock(mutex_);
        notEmpty_.wait(lock, [this] { return closed_ || !items_.empty(); });
        if (items_.empty()) {
            return false;
        }
        item = std::move(items_.front());
        items_.pop_front();
        notFull_.notify_one();
        return true;
    }

    // No more pushes; items already queued can still be popped.
    void Close() {
        std::lock_guard<std::mutex> lock(mutex_);
        closed_ = true;
        notFull_.notify_all();
        notEmpty_.notify_all();
    }

    // Closes and drops what is queued, releasing a waiting producer at once.
    void Abandon() {
        std::lock_guard<std::mutex> lock(mutex_);
        closed_ = true;
        items_.clear();
        notFull_.notify_all();
        notEmpty_.notify_all();
    }

  private:
    const size_t capacity_;
    std::mutex mutex_;
    std::condition_variable notFull_;
    std::condition_variable notEmpty_;
    std::deque<T> items_;
    bool closed_ = false;
};

}  // namespace ffglhost

#endif  // FFGLHOST_BOUNDED_QUEUE_H
