// The program's exit handlers: resources register their release when they are acquired, and
// the handlers run once, the last added first, when the run ends.
#pragma once

#include <functional>
#include <vector>

namespace tessaro {

class ExitHandlers {
 public:
  void add(std::function<void()> handler) { handlers_.push_back(std::move(handler)); }
  // Runs every handler, the last added first, and forgets them.
  void runAll() {
    while (!handlers_.empty()) {
      auto handler = std::move(handlers_.back());
      handlers_.pop_back();
      handler();
    }
  }
  size_t size() const { return handlers_.size(); }

 private:
  std::vector<std::function<void()>> handlers_;
};

}  // namespace tessaro
