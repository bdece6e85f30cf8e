// Two pieces of work at once, one on a second thread.
#pragma once

#include <exception>
#include <thread>

namespace corvantis {

// Runs `aside` on a second thread while `here` runs on this one, and returns when both
// have ended. A failure of `here` is rethrown as it is; otherwise a failure of `aside`
// is rethrown here.
template <typename Here, typename Aside>
void runSideBySide(Here here, Aside aside) {
  std::exception_ptr asideFailure;
  std::thread second([&] {
    try {
      aside();
    } catch (...) {
      asideFailure = std::current_exception();
    }
  });
  try {
    here();
  } catch (...) {
    second.join();
    throw;
  }
  second.join();
  if (asideFailure) std::rethrow_exception(asideFailure);
}

}  // namespace corvantis
