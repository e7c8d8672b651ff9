#include "codec/ClsAesInterop.h"

#include <cstring>

#include "base/LogBase.h"
#include "base/Memory.h"
#include "codec/ContentCoding.h"
#include "codec/CryptHeader.h"
#include "codec/OutputDataBuffer.h"
#include "platform/Crypto.h"
#include "text/StringBuffer.h"

namespace tarvex {
namespace {

const uint8_t kZeroIv[16] = {};

// The padded length of n plaintext bytes: 1 to 16 bytes more.
uint64_t paddedLength(uint32_t n) { return (static_cast<uint64_t>(n) / 16 + 1) * 16; }

// The last block of the padded plaintext: the bytes after the whole blocks,
// then the padding.
void lastBlock(const uint8_t* data, uint32_t n, uint8_t block[16]) {
    const uint32_t rest = n % 16;
    const uint8_t pad = static_cast<uint8_t>(16 - rest);
    if (rest) std::memcpy(block, data + (n - rest), rest);
    std::memset(block + rest, pad, pad);
}

}  // namespace

ClsAesInterop::ClsAesInterop() { std::memset(key_, 0, sizeof key_); }

bool ClsAesInterop::setPassword(const uint8_t* password, uint32_t n) {
    std::memset(key_, 0, sizeof key_);
    if (!password || n == 0) return true;
    StringBuffer base64;
    ContentCoding::encodeBase64(password, n, base64);
    return platform::md5(password, n, key_) &&
           platform::md5(base64.getString(), static_cast<uint32_t>(base64.getSize()), key_ + 16);
}

bool ClsAesInterop::encryptBytes(const uint8_t* data, uint32_t n, OutputDataBuffer& out) const {
    const uint64_t total = paddedLength(n);
    if (total > out.limit() - out.size()) return false;
    platform::AesCbc aes;
    if (!aes.init(true, key_, 16, kZeroIv)) return false;
    uint32_t room = 0;
    uint8_t* at = out.reserve(static_cast<uint32_t>(total), &room);
    if (!at) return false;
    const uint32_t whole = n - n % 16;
    uint8_t block[16];
    lastBlock(data, n, block);
    if (!aes.update(data, whole, at) || !aes.update(block, 16, at + whole)) return false;
    out.commit(static_cast<uint32_t>(total));
    return true;
}

bool ClsAesInterop::encryptToBase64Lines(const uint8_t* data, uint32_t n, const ContentCoding& coding,
                                         StringBuffer& out) const {
    out.clear();
    const uint64_t cipherLength = paddedLength(n);
    if (cipherLength > 0xFFFFFFF0u) return false;
    const uint64_t textLength = coding.base64LinesSize(static_cast<uint32_t>(cipherLength));
    if (textLength >= 0x7FFFFFFFu) return false;
    platform::AesCbc aes;
    if (!aes.init(true, key_, 16, kZeroIv)) return false;

    char* text = static_cast<char*>(memAlloc(static_cast<size_t>(textLength) + 1));
    if (!text) return false;
    // Pieces of whole cipher blocks and whole base64 lines, encrypted into a
    // small buffer that stays in cache and encoded from there.
    const uint32_t lineBytes = coding.bytesPerLine();
    uint32_t piece = 16 * lineBytes;  // a multiple of both
    while (piece < 32768) piece *= 2;
    uint8_t* scratch = static_cast<uint8_t*>(memAlloc(piece + 16));
    if (!scratch) {
        memFree(text);
        return false;
    }
    char* o = text;
    const uint8_t* p = data;
    uint32_t left = n;
    bool good = true;
    while (good && left >= piece) {
        good = aes.update(p, piece, scratch);
        o = coding.encodeBase64LinesChunk(scratch, piece, o, false);
        p += piece;
        left -= piece;
    }
    if (good) {
        const uint32_t whole = left - left % 16;
        uint8_t block[16];
        lastBlock(p, left, block);
        good = aes.update(p, whole, scratch) && aes.update(block, 16, scratch + whole);
        o = coding.encodeBase64LinesChunk(scratch, whole + 16, o, true);
    }
    memFree(scratch);
    if (!good || static_cast<uint64_t>(o - text) != textLength) {
        memFree(text);
        return false;
    }
    out.adoptBlock(text, static_cast<int32_t>(textLength), static_cast<int32_t>(textLength) + 1);
    return true;
}

bool ClsAesInterop::decryptBytes(uint8_t* data, uint32_t n, uint32_t* length, LogBase& log) const {
    *length = 0;
    if (CryptHeader::isLegacy(data, n)) {
        CryptHeader header;
        uint32_t plain = 0;
        if (!header.decrypt(data, n, key_, &plain, log)) return false;
        std::memmove(data, data + CryptHeader::kSize, plain);
        *length = plain;
        return true;
    }
    if (n == 0 || n % 16 != 0) {
        log.LogError("Encrypted data is not a whole number of blocks");
        return false;
    }
    platform::AesCbc aes;
    if (!aes.init(false, key_, 16, kZeroIv) || !aes.update(data, n, data)) {
        log.LogError("Failed to decrypt data");
        return false;
    }
    // Every padding byte must hold the padding length: a wrong password
    // almost always breaks this.
    const uint8_t pad = data[n - 1];
    bool padded = pad >= 1 && pad <= 16;
    for (uint32_t i = 1; padded && i <= pad; ++i) padded = data[n - i] == pad;
    if (!padded) {
        log.LogError("Wrong password or corrupt encrypted data");
        return false;
    }
    *length = n - pad;
    return true;
}

}  // namespace tarvex
