#include "platform/FreedMemory.h"

#include <cstdlib>  // defines __GLIBC__ where the C library is glibc

#if defined(__GLIBC__)
#include <malloc.h>
#elif defined(__APPLE__)
#include <malloc/malloc.h>
#endif

namespace quillet {

void ReturnFreedMemoryToSystem() {
#if defined(__GLIBC__)
    ::malloc_trim(0);
#elif defined(__APPLE__)
    ::malloc_zone_pressure_relief(nullptr, 0);
#endif
}

}  // namespace quillet
