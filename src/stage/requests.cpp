#include "stage/requests.h"

namespace tessaro {

void RequestQueue::push(Request request) {
  std::function<void()> waker;
  {
    std::lock_guard lock(wakeup_.mutex);
    queue_.push_back(request);
    pending_.store(queue_.size(), std::memory_order_release);
    wakeup_.woken = true;
    waker = waker_;
  }
  wakeup_.changed.notify_all();
  if (waker) waker();
}

bool RequestQueue::take(Request& request) {
  std::lock_guard lock(wakeup_.mutex);
  if (queue_.empty()) {
    wakeup_.woken = false;
    return false;
  }
  request = queue_.front();
  queue_.pop_front();
  pending_.store(queue_.size(), std::memory_order_release);
  wakeup_.woken = !queue_.empty();
  return true;
}

void RequestQueue::setWaker(std::function<void()> waker) {
  std::lock_guard lock(wakeup_.mutex);
  waker_ = std::move(waker);
}

}  // namespace tessaro
