// The sanitizers' options for every test binary, built in rather than passed through the
// environment, so a test run by hand behaves as under ctest: leaks are errors and undefined
// behaviour prints where it happened.
extern "C" const char* __asan_default_options() {
  return "detect_leaks=1";
}
extern "C" const char* __ubsan_default_options() {
  return "print_stacktrace=1";
}
