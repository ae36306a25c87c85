// ZK.h as a C++ host compiles it, under -pedantic -Werror (the example
// compiles it as C99 under the same flags), and the layout it states.
#include "ZK.h"

#include <cstddef>

static_assert(sizeof(ZKEvent) == 12, "type, size and a 32-bit payload pointer");
static_assert(offsetof(ZKEvent, size) == 4 && offsetof(ZKEvent, payload) == 8,
              "the record the library fills");
static_assert(ZKSW_PAYLOAD_SIZE == 6 + ZKSW_TITLE_SIZE, "code, window, then the title");
static_assert(sizeof(ZKBool) == 1, "results are one byte");
