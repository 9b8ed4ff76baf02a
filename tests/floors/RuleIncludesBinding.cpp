// Compiled with the include roots of the pure rules: a rule that includes a binding (or the
// boundary) must not build. The test that compiles this file expects it to fail.
#include "platform/sim/SimDesktop.h"
