// The hub may include the layers below it.
#pragma once
#include "lib/fine.h"
