#ifndef FROTH_SOLVER_MEMORY_REUSE_H
#define FROTH_SOLVER_MEMORY_REUSE_H

namespace Quarvel {
namespace solver {

/// Lets the process keep the memory it frees for its next allocations,
/// instead of handing it back to the system. The factorisation takes and
/// frees megabytes on every Newton iteration; handed back, they are faulted
/// in and zeroed again each time, which cost a foam of a thousand bubbles a
/// fifth of its solve. Blocks above 32 MB are still mapped afresh. A program
/// that solves calls this once at its start; the
/// library itself leaves the process's allocator alone. Nothing is done
/// where the C library has no such setting.
void keep_freed_memory();

}  // namespace solver
}  // namespace Quarvel

#endif
