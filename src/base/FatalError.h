// The one way out for a broken internal invariant (memory exhausted, a size
// beyond what a buffer can hold): a line on stderr, then abort.
#pragma once

namespace tarvex {

[[noreturn]] void fatalError(const char* what);

}  // namespace tarvex
