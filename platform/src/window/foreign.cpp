// The installed source of other programs' windows (see foreign.h).
#include "window/foreign.h"

#include <mutex>

namespace plat::window::foreign {
namespace {

std::mutex& sourceLock() {
  static std::mutex m;
  return m;
}
std::shared_ptr<Source>& installed() {
  static std::shared_ptr<Source> s;
  return s;
}

}  // namespace

void install(std::shared_ptr<Source> source) {
  std::lock_guard<std::mutex> g(sourceLock());
  installed() = std::move(source);
}

void uninstall() {
  std::shared_ptr<Source> old;
  {
    std::lock_guard<std::mutex> g(sourceLock());
    old.swap(installed());
  }
  // Released outside the lock: the last reference closes the display connection.
}

std::shared_ptr<Source> current() {
  std::lock_guard<std::mutex> g(sourceLock());
  return installed();
}

}  // namespace plat::window::foreign
