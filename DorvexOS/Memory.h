#pragma once

// The process's free memory handed back to the operating system. A request that reads a large
// tree frees many small blocks, which the allocator keeps for later; without this the driver
// would stay at its peak size for the rest of its life.
namespace dorvex::memory {

// Returns the allocator's free memory to the system where the allocator keeps it (glibc);
// elsewhere it does nothing.
void releaseFree();

} // namespace dorvex::memory
