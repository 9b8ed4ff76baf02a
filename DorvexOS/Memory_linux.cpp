#include "DorvexOS/Memory.h"

#include <malloc.h>

namespace dorvex::memory {

void releaseFree() {
    ::malloc_trim(0);
}

} // namespace dorvex::memory
