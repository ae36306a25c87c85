#pragma once

#include "ZKEvents.h"

// One protocol message: the record that native hosts pass through the
// exported queue functions, declared once for them and for the library.
using Event = ZKEvent;
