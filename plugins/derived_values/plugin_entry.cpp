// The library's entry point: the station creates the plug-in through it.
#include "plugin_host/plugin_export.h"
#include "derived_values_plugin.h"

RIGCORE_EXPORT_PLUGIN(derived_values::DerivedValuesPlugin)
