#include "foundation/zr_error_window.h"

#include <cstdio>
#include <deque>
#include <mutex>

#include "foundation/platform/message_box.h"

namespace {

std::mutex& WindowLock() {
  static std::mutex* mu = new std::mutex();  // never destroyed: used until exit
  return *mu;
}

std::deque<std::string>& Entries() {  // guarded by WindowLock()
  static std::deque<std::string>* entries = new std::deque<std::string>();
  return *entries;
}

}  // namespace

void ZrErrorWindowAdd(const char* message) {
  std::lock_guard<std::mutex> l(WindowLock());
  auto& e = Entries();
  while (e.size() > kErrorWindowEntries - 1) e.pop_back();
  e.emplace_front(message);
  std::fprintf(stderr, "%s\n", message);
  std::fflush(stderr);
  pv::ShowErrorWindow(std::vector<std::string>(e.begin(), e.end()));
}

std::vector<std::string> ZrErrorWindowEntries() {
  std::lock_guard<std::mutex> l(WindowLock());
  return std::vector<std::string>(Entries().begin(), Entries().end());
}

void ZrErrorWindowClose() {
  std::lock_guard<std::mutex> l(WindowLock());
  Entries().clear();
  pv::ShowErrorWindow({});
}
