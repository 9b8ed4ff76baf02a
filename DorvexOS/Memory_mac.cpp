#include "DorvexOS/Memory.h"

namespace dorvex::memory {

// The system allocator gives free pages back by itself.
void releaseFree() {}

} // namespace dorvex::memory
