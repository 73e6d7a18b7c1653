// The text of the error a call raises, so a test can check a refusal and its reason in one
// assertion.
#pragma once

#include <exception>
#include <string>

namespace testing_support {

// What the exception of type E thrown by `run` says; "no error" when `run` returns normally.
// Other exceptions pass through and fail the test.
template <class E = std::exception, class Run>
std::string error_of(Run&& run) {
  try {
    run();
  } catch (const E& e) {
    return e.what();
  }
  return "no error";
}

}  // namespace testing_support
