#include "solver/memory_reuse.h"

#include <cstdlib>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace Quarvel {
namespace solver {

void keep_freed_memory() {
#if defined(__GLIBC__)
  // Blocks up to 32 MB (the most the C library allows) from the heap rather
  // than from mappings of their own, and the heap's free top kept up to a
  // gigabyte.
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, 1 << 30);
#endif
}

}  // namespace solver
}  // namespace Quarvel
