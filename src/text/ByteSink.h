// ByteSink: where a producer of bytes hands them over in pieces (a file
// being written, for instance), so a large output never sits in memory whole.
#pragma once

#include <cstddef>

namespace tarvex {

class ByteSink {
public:
    virtual ~ByteSink() = default;
    // False once the bytes could not be taken; later writes are refused too.
    virtual bool write(const char* p, size_t n) = 0;
};

}  // namespace tarvex
