// A bottom-layer header that reaches up into the hub: the layering check must refuse it.
#pragma once
#include "core/hub.h"
#include "lib/fine.h"
