#include "base/FatalError.h"

#include <cstdio>
#include <cstdlib>

namespace tarvex {

void fatalError(const char* what) {
    std::fprintf(stderr, "tarvex: fatal internal error: %s\n", what);
    std::fflush(stderr);
    std::abort();
}

}  // namespace tarvex
