#include "codec/ZipDn.h"

#include <atomic>
#include <cstring>

#include "codec/Deflate.h"
#include "codec/Inflate.h"
#include "codec/OutputDataBuffer.h"

namespace tarvex {
namespace {

std::atomic<uint32_t> entrySerial{0};

}  // namespace

std::unique_ptr<ZipEntryDn> ZipDn::AppendData(const char* name, const uint8_t* data, uint32_t n) {
    if (!name || !*name) {
        log_.LogError("No filename was provided");
        return nullptr;
    }
    std::unique_ptr<ZipEntryDn> entry(new ZipEntryDn(name, ++entrySerial));
    static const uint8_t kNothing = 0;
    entry->borrowed_ = data ? data : &kNothing;
    entry->borrowedSize_ = data ? n : 0;
    return entry;
}

std::unique_ptr<ZipEntryDn> ZipDn::AppendCompressed(const char* name, const uint8_t* data, uint32_t n) {
    if (!data) {
        log_.LogError("null parameter");
        return nullptr;
    }
    if (n == 0) {
        log_.LogError("Data length must be > 0");
        return nullptr;
    }
    if (!name || !*name) {
        log_.LogError("No filename was provided");
        return nullptr;
    }
    std::unique_ptr<ZipEntryDn> entry(new ZipEntryDn(name, ++entrySerial));
    entry->compressedSize_ = n;
    // Room for eight times the compressed size to start with (capped): text
    // rarely inflates beyond that, and a first guess that holds saves copying
    // the output when it grows. Pages never written cost no memory, and the
    // slack is trimmed when the bytes are handed on.
    const uint64_t guess = static_cast<uint64_t>(n) * 8;
    entry->inflated_.reserveTotal(guess < 100000000u ? guess : 100000000u);
    if (!tarvex::Inflate::inflateBytes(data, n, entry->inflated_, log_)) {
        log_.LogError("Failed to inflate data");
        entry->inflated_.clear();
        entry->inflateFailed_ = true;
    }
    return entry;
}

bool ZipDn::Copy(const ZipEntryDn& entry, OutputDataBuffer& out) {
    out.clear();
    return Deflate::deflateBytes(entry.data(), entry.size(), &out, entry.level());
}

bool ZipDn::Inflate(ZipEntryDn& entry, OutputDataBuffer& out) {
    out.clear();
    if (entry.borrowed_) return out.append(entry.borrowed_, entry.borrowedSize_);
    out.takeOver(entry.inflated_);
    return true;
}

}  // namespace tarvex
