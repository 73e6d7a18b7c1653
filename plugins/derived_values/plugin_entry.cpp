// The library's entry point: the station creates the plug-in through it.
#include "derived_values_plugin.h"
#include "plugin_host/plugin_export.h"

RIGCORE_EXPORT_PLUGIN(derived_values::DerivedValuesPlugin)
