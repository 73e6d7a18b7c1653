// A library that exports the plug-in entry name as a data object instead of a function.
// Calling it would jump into these bytes: the station must refuse the library before that.
extern "C" __attribute__((visibility("default"))) const unsigned char rigcore_plugin_entry[16] = {
    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
