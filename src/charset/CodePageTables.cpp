// The built-in code page tables: unpacking the stored blobs and building each
// page's decode and encode tables once per process, on first use.
#include "charset/CodePageTables.h"

#include "base/Base64Alphabet.h"

#include <bzlib.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <string>

#include "text/DataBuffer.h"
#include "charset/HashConvert.h"
#include "charset/tables/CodePageBlobs.h"

namespace tarvex {

namespace {

constexpr uint8_t kMagic[4] = {0xE1, 0xA7, 0x94, 0xB3};
// The largest payload the tables hold is well below this; anything larger is
// taken as a damaged length field.
constexpr uint32_t kMaxPayload = 16u * 1024 * 1024;

// Strict base64 (RFC 4648 alphabet, '=' padding only at the end).
bool decodeBase64(const char* text, size_t n, std::string& out) {
    while (n > 0 && text[n - 1] == '=') {
        --n;
    }
    out.clear();
    out.reserve(n / 4 * 3 + 3);
    uint32_t acc = 0;
    int bits = 0;
    for (size_t i = 0; i < n; ++i) {
        int v = base64Value(text[i]);
        if (v < 0) {
            return false;
        }
        acc = (acc << 6) | static_cast<uint32_t>(v);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out.push_back(static_cast<char>((acc >> bits) & 0xFF));
        }
    }
    // A single leftover character cannot encode a byte.
    return bits < 6;
}

uint32_t readLe32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// A bounds-checked reader over a payload.
class Reader {
public:
    Reader(const uint8_t* p, uint32_t n) : p_(p), n_(n), pos_(0) {}
    bool byte(uint8_t& v) {
        if (pos_ >= n_) return false;
        v = p_[pos_++];
        return true;
    }
    bool word(uint16_t& v) {
        if (n_ - pos_ < 2 || pos_ > n_) return false;
        v = static_cast<uint16_t>(p_[pos_] | (p_[pos_ + 1] << 8));
        pos_ += 2;
        return true;
    }

private:
    const uint8_t* p_;
    uint32_t n_;
    uint32_t pos_;
};

// A built table with the storage it points into.
struct TableStorage {
    CodePageTable table{};
    uint16_t decode256[256] = {};
    HashConvert decodeMap;
    HashConvert encodeMap;
};

void addUnitKey(HashConvert& map, uint16_t unit, const uint8_t* value, uint32_t valueLen) {
    uint8_t key[2] = {static_cast<uint8_t>(unit & 0xFF), static_cast<uint8_t>(unit >> 8)};
    map.add(key, 2, value, valueLen);
}

// Reads a 'u' payload into the storage's tables.
bool applyMapping(const DataBuffer& payload, bool doubleByte, TableStorage& s) {
    const uint8_t* p = payload.getData();
    uint32_t n = payload.getSize();
    if (p == nullptr || n < 2 || p[1] != 'u') {
        return false;
    }
    s.table.asciiBased = p[0] == 'a';
    Reader r(p + 2, n - 2);

    uint8_t byte = 0;
    uint16_t code = 0;
    for (;;) {
        uint8_t delta;
        uint16_t codeDelta;
        if (!r.byte(delta)) return false;
        if (delta == 0) break;
        if (!r.word(codeDelta)) return false;
        byte = static_cast<uint8_t>(byte + delta);
        code = static_cast<uint16_t>(code + codeDelta);
        if (code == 0) continue;
        uint8_t unit[2] = {static_cast<uint8_t>(code & 0xFF), static_cast<uint8_t>(code >> 8)};
        if (doubleByte) {
            s.decodeMap.add(&byte, 1, unit, 2);
        } else if (!s.table.asciiBased || byte >= 0x80) {
            s.decode256[byte] = code;
        }
        addUnitKey(s.encodeMap, code, &byte, 1);
    }

    uint16_t key = 0;
    code = 0;
    for (;;) {
        uint16_t keyDelta;
        uint16_t codeDelta;
        if (!r.word(keyDelta)) return false;
        if (keyDelta == 0) break;
        if (!r.word(codeDelta)) return false;
        key = static_cast<uint16_t>(key + keyDelta);
        code = static_cast<uint16_t>(code + codeDelta);
        if (!doubleByte || code == 0) continue;
        uint8_t keyBytes[2] = {static_cast<uint8_t>(key >> 8), static_cast<uint8_t>(key & 0xFF)};
        uint8_t unit[2] = {static_cast<uint8_t>(code & 0xFF), static_cast<uint8_t>(code >> 8)};
        s.decodeMap.add(keyBytes, 2, unit, 2);
        addUnitKey(s.encodeMap, code, keyBytes, 2);
    }
    return true;
}

// Applies a 'd' payload (removals, then single- and double-byte additions)
// to the encode table.
bool applyPatch(const DataBuffer& payload, HashConvert& encode) {
    const uint8_t* p = payload.getData();
    uint32_t n = payload.getSize();
    if (p == nullptr || n < 2 || p[1] != 'd') {
        return false;
    }
    Reader r(p + 2, n - 2);
    for (;;) {
        uint16_t unit;
        if (!r.word(unit)) return false;
        if (unit == 0) break;
        uint8_t key[2] = {static_cast<uint8_t>(unit & 0xFF), static_cast<uint8_t>(unit >> 8)};
        encode.remove(key, 2);
    }
    for (;;) {
        uint8_t byte;
        uint16_t unit;
        if (!r.byte(byte)) return false;
        if (byte == 0) break;
        if (!r.word(unit)) return false;
        addUnitKey(encode, unit, &byte, 1);
    }
    for (;;) {
        uint16_t value;
        uint16_t unit;
        if (!r.word(value)) return false;
        if (value == 0) break;
        if (!r.word(unit)) return false;
        uint8_t bytes[2] = {static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value & 0xFF)};
        addUnitKey(encode, unit, bytes, 2);
    }
    return true;
}

bool unpackPieces(const char* const* pieces, uint32_t count, DataBuffer& payload) {
    if (pieces == nullptr || count == 0) {
        return false;
    }
    if (count == 1) {
        return unpackTableBlob(pieces[0], payload);
    }
    std::string joined;
    for (uint32_t i = 0; i < count; ++i) {
        joined += pieces[i];
    }
    return unpackTableBlob(joined.c_str(), payload);
}

const CodePageTable* buildTable(const tables::CodePageBlobEntry& entry) {
    std::unique_ptr<TableStorage> s(new (std::nothrow) TableStorage);
    if (!s) {
        return nullptr;
    }
    s->table.codePage = entry.codePage;
    s->table.doubleByte = entry.doubleByte;
    s->encodeMap.setBucketCount(entry.encodeBuckets);
    if (entry.doubleByte) {
        s->decodeMap.setBucketCount(entry.decodeBuckets);
    }

    DataBuffer payload;
    if (!unpackPieces(entry.pieces, entry.pieceCount, payload) ||
        !applyMapping(payload, entry.doubleByte, *s)) {
        return nullptr;
    }
    if (entry.patchPieces != nullptr) {
        DataBuffer patch;
        if (!unpackPieces(entry.patchPieces, entry.patchPieceCount, patch) ||
            !applyPatch(patch, s->encodeMap)) {
            return nullptr;
        }
    }

    if (entry.doubleByte) {
        s->table.decode = &s->decodeMap;
    } else {
        // Bytes below 0x80 of an ASCII-based page are themselves.
        if (s->table.asciiBased) {
            for (uint16_t b = 1; b < 0x80; ++b) {
                s->decode256[b] = b;
            }
        }
        s->table.decode256 = s->decode256;
    }
    s->table.encode = &s->encodeMap;
    return &s.release()->table;   // kept for the life of the process
}

// One slot per built-in page, parallel to the blob index.
struct Slot {
    std::once_flag once;
    std::atomic<const CodePageTable*> table{nullptr};
};

std::atomic<uint32_t> gTablesBuilt{0};

Slot* slots() {
    // Never freed: tables live until the process ends.
    static Slot* const all = new Slot[tables::kCodePageBlobCount];
    return all;
}

int findEntry(uint32_t codePage) {
    uint32_t lo = 0;
    uint32_t hi = tables::kCodePageBlobCount;
    while (lo < hi) {
        uint32_t mid = (lo + hi) / 2;
        if (tables::kCodePageBlobs[mid].codePage < codePage) {
            lo = mid + 1;
        } else {
            hi = mid;
        }
    }
    if (lo < tables::kCodePageBlobCount && tables::kCodePageBlobs[lo].codePage == codePage) {
        return static_cast<int>(lo);
    }
    return -1;
}

}  // namespace

bool unpackTableBlob(const char* blob, DataBuffer& payload) {
    payload.clear();
    if (blob == nullptr || blob[0] == '\0') {
        return false;
    }
    std::string decoded;
    if (!decodeBase64(blob + 1, std::strlen(blob + 1), decoded)) {
        return false;
    }
    if (blob[0] == 'x') {
        payload.append(decoded.data(), static_cast<uint32_t>(decoded.size()));
        return !decoded.empty();
    }

    if (decoded.size() < 8) {
        return false;
    }
    const uint8_t* head = reinterpret_cast<const uint8_t*>(decoded.data());
    if (std::memcmp(head, kMagic, 4) != 0) {
        return false;
    }
    uint32_t length = readLe32(head + 4);
    if (length == 0 || length > kMaxPayload || decoded.size() - 8 > 0xFFFFFFFFu) {
        return false;
    }
    std::unique_ptr<char[]> out(new (std::nothrow) char[length]);
    if (!out) {
        return false;
    }
    unsigned int outLength = length;
    int rc = BZ2_bzBuffToBuffDecompress(out.get(), &outLength, &decoded[8],
                                        static_cast<unsigned int>(decoded.size() - 8), 0, 0);
    if (rc != BZ_OK || outLength != length) {
        return false;
    }
    payload.append(out.get(), length);
    return true;
}

const CodePageTable* codePageTable(uint32_t codePage) {
    int i = findEntry(codePage);
    if (i < 0) {
        return nullptr;
    }
    Slot& slot = slots()[i];
    const CodePageTable* t = slot.table.load(std::memory_order_acquire);
    if (t != nullptr) {
        return t;
    }
    std::call_once(slot.once, [&slot, i] {
        const CodePageTable* built = buildTable(tables::kCodePageBlobs[i]);
        if (built != nullptr) {
            gTablesBuilt.fetch_add(1, std::memory_order_relaxed);
        }
        slot.table.store(built, std::memory_order_release);
    });
    return slot.table.load(std::memory_order_acquire);
}

bool hasCodePageTable(uint32_t codePage) {
    return findEntry(codePage) >= 0;
}

bool isCodePageTableBuilt(uint32_t codePage) {
    int i = findEntry(codePage);
    return i >= 0 && slots()[i].table.load(std::memory_order_acquire) != nullptr;
}

uint32_t codePageTablesBuilt() {
    return gTablesBuilt.load(std::memory_order_relaxed);
}

}  // namespace tarvex
