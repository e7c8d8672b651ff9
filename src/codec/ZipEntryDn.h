// ZipEntryDn: one entry of an in-memory compressed store (ZipDn). It holds
// uncompressed data: borrowed from the caller for an entry made from plain
// bytes, or the inflation made when an entry was added from compressed bytes.
// Deleting the entry releases it.
#pragma once

#include <cstdint>

#include "codec/OutputDataBuffer.h"
#include "text/StringBuffer.h"

namespace tarvex {

class ZipEntryDn {
public:
    static constexpr uint8_t kFromMemory = 1;
    static constexpr uint8_t kMethodDeflate = 8;

    ZipEntryDn(const char* name, uint32_t serial);
    ZipEntryDn(const ZipEntryDn&) = delete;
    ZipEntryDn& operator=(const ZipEntryDn&) = delete;

    const char* name() const { return name_.getString(); }
    uint32_t serial() const { return serial_; }
    uint8_t method() const { return kMethodDeflate; }
    int level() const { return level_; }
    // The uncompressed bytes.
    const uint8_t* data() const { return borrowed_ ? borrowed_ : inflated_.data(); }
    uint32_t size() const { return borrowed_ ? borrowedSize_ : inflated_.size(); }
    // True for an entry added from compressed bytes that did not inflate.
    bool inflateFailed() const { return inflateFailed_; }
    uint32_t compressedSize() const { return compressedSize_; }

private:
    friend class ZipDn;

    StringBuffer name_;
    uint32_t serial_;
    int level_ = 6;
    const uint8_t* borrowed_ = nullptr;
    uint32_t borrowedSize_ = 0;
    OutputDataBuffer inflated_;
    uint32_t compressedSize_ = 0;
    bool inflateFailed_ = false;
};

}  // namespace tarvex
