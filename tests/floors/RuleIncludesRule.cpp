// Compiled with the include roots of the pure rules: the control case, which must build, so
// that the failing case fails for the climbing include and nothing else.
#include "DorvexCore/PlatformChoice.h"
#include "platform/types/Geometry.h"
