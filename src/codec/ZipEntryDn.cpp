#include "codec/ZipEntryDn.h"

#include "codec/Inflate.h"

namespace tarvex {

ZipEntryDn::ZipEntryDn(const char* name, uint32_t serial)
    : name_(name), serial_(serial), inflated_(Inflate::kMaxInflatedSize) {
    // Names use forward slashes, whatever the caller wrote.
    name_.replaceChar('\\', '/');
}

}  // namespace tarvex
