#include "base/Memory.h"

namespace tarvex {

std::atomic<long> gMemBlocks{0};

}  // namespace tarvex
