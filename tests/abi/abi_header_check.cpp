// Builds when the public ABI header stands alone: it is the only include, and the
// build fails if it leans on anything it does not include itself.
#include "ffgl/abi.h"

static_assert(sizeof(FFResult) == 8 && sizeof(FFMixed) == 8, "result and input are 64-bit");
