// A program on top that reaches past the layer it builds on: the check must refuse it too.
#include "core/hub.h"
