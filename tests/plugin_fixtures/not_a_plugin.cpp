// An ordinary shared library without the plug-in entry point.
extern "C" __attribute__((visibility("default"))) int not_a_plugin_answer() {
  return 42;
}
