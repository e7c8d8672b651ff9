// ZipDn: a compressed store held in memory, the path through which node
// content is compressed and inflated. It never writes a container format.
// The store keeps its own call log: its messages never reach the caller's.
#pragma once

#include <cstdint>
#include <memory>

#include "codec/ZipEntryDn.h"
#include "log/Logger.h"

namespace tarvex {

class OutputDataBuffer;

class ZipDn {
public:
    ZipDn() = default;
    ZipDn(const ZipDn&) = delete;
    ZipDn& operator=(const ZipDn&) = delete;

    // An entry over the bytes, which it borrows: they must outlive it. None
    // for an empty name.
    std::unique_ptr<ZipEntryDn> AppendData(const char* name, const uint8_t* data, uint32_t n);
    // An entry whose data is the inflation of the raw DEFLATE bytes, done at
    // once. None for null bytes, no bytes or an empty name. When the bytes do
    // not inflate the entry still results, empty and marked as failed.
    std::unique_ptr<ZipEntryDn> AppendCompressed(const char* name, const uint8_t* data, uint32_t n);

    // Empties `out`, then writes the raw DEFLATE of the entry's data.
    bool Copy(const ZipEntryDn& entry, OutputDataBuffer& out);
    // Empties `out`, then hands it the entry's uncompressed data (an entry
    // made from compressed bytes is empty afterwards). An entry that did not
    // inflate gives nothing, and still succeeds.
    bool Inflate(ZipEntryDn& entry, OutputDataBuffer& out);

    Logger& log() { return log_; }

private:
    Logger log_;
};

}  // namespace tarvex
