// Japanese fallback tables.
#include "ul_jcode_table.h"

// The Japanese converters and their vendor rows are not built yet: there is
// no table to build.
int ul_jcode_transfer_init() { return 0; }
