#include "codec/NodeEncryption.h"

#include <memory>
#include <utility>

#include "base/LogBase.h"
#include "codec/ClsAesInterop.h"
#include "codec/ContentCoding.h"
#include "codec/OutputDataBuffer.h"
#include "codec/ZipDn.h"
#include "text/DataBuffer.h"
#include "text/StringBuffer.h"
#include "tree/TreeNode.h"

namespace tarvex {
namespace {

const char kBinaryEntry[] = "data.dat";

// Decodes the node's content into `out`; false when it is not base64.
bool decodeContent(const TreeNode* node, OutputDataBuffer& out) {
    const uint32_t n = static_cast<uint32_t>(node->GetContentLength());
    uint32_t room = 0;
    uint8_t* at = out.reserve(n / 4 * 3 + 3, &room);
    uint32_t written = 0;
    if (!at || !ContentCoding::decodeBase64Block(node->GetContent(), n, true, at, &written)) return false;
    out.commit(written);
    return true;
}

bool keyFor(ClsAesInterop& cipher, const uint8_t* password, uint32_t n, LogBase& log) {
    if (cipher.setPassword(password, n)) return true;
    log.LogError("Failed to derive the key");
    return false;
}

}  // namespace

void NodeEncryption::encryptNode(TreeNode* node, const uint8_t* password, uint32_t n, LogBase& log) {
    ClsAesInterop cipher;
    if (!keyFor(cipher, password, n, log)) return;
    ContentCoding coding;
    StringBuffer text;
    if (!cipher.encryptToBase64Lines(reinterpret_cast<const uint8_t*>(node->GetContent()),
                                     static_cast<uint32_t>(node->GetContentLength()), coding, text)) {
        log.LogError("Failed to encrypt data");
        return;
    }
    *node->EnsureContentBuffer() = std::move(text);
}

bool NodeEncryption::decryptNode(TreeNode* node, const uint8_t* password, uint32_t n, LogBase& log) {
    ClsAesInterop cipher;
    if (!keyFor(cipher, password, n, log)) return false;
    OutputDataBuffer bytes;
    if (!decodeContent(node, bytes)) {
        log.LogError("Invalid Base64 data");
        return false;
    }
    uint32_t length = 0;
    if (!cipher.decryptBytes(bytes.data(), bytes.size(), &length, log)) return false;
    bytes.cutTo(length);
    bytes.moveTo(*node->EnsureContentBuffer());
    return true;
}

void NodeEncryption::setBinaryContent(TreeNode* node, bool zip, bool encrypt, const uint8_t* password, uint32_t n,
                                      const DataBuffer& bytes, LogBase& log) {
    const uint8_t* data = bytes.getData();
    uint32_t size = bytes.getSize();
    OutputDataBuffer compressed;
    if (zip) {
        ZipDn store;
        std::unique_ptr<ZipEntryDn> entry = store.AppendData(kBinaryEntry, data, size);
        if (!entry) {
            log.LogError("Failed to append data to Zip object");
            return;
        }
        // Empty bytes stay empty rather than becoming the stream of nothing.
        if (size > 0 && !store.Copy(*entry, compressed)) {
            log.LogError("Failed to compress data");
            return;
        }
        data = compressed.data();
        size = compressed.size();
    }
    ContentCoding coding;
    StringBuffer text;
    if (encrypt && size > 0) {
        ClsAesInterop cipher;
        if (!keyFor(cipher, password, n, log)) return;
        if (!cipher.encryptToBase64Lines(data, size, coding, text)) {
            log.LogError("Failed to encrypt data");
            return;
        }
    } else {
        coding.encodeBase64Lines(data, size, text);
    }
    *node->EnsureContentBuffer() = std::move(text);
}

bool NodeEncryption::getBinaryContent(const TreeNode* node, bool unzip, bool decrypt, const uint8_t* password,
                                      uint32_t n, DataBuffer& out, LogBase& log) {
    OutputDataBuffer bytes;
    if (!node->HasContent() || !decodeContent(node, bytes)) {
        log.LogError("Failed to decode base64 data");
        return false;
    }
    if (decrypt) {
        ClsAesInterop cipher;
        if (!keyFor(cipher, password, n, log)) return false;
        uint32_t length = 0;
        if (!cipher.decryptBytes(bytes.data(), bytes.size(), &length, log)) return false;
        bytes.cutTo(length);
    }
    if (unzip) {
        ZipDn store;
        std::unique_ptr<ZipEntryDn> entry = store.AppendCompressed(kBinaryEntry, bytes.data(), bytes.size());
        if (!entry) {
            log.LogError("Failed append compressed data");
            return false;
        }
        OutputDataBuffer plain;
        if (entry->inflateFailed() || !store.Inflate(*entry, plain)) {
            log.LogError("Failed to unzip data");
            return false;
        }
        plain.moveTo(out);
        return true;
    }
    bytes.moveTo(out);
    return true;
}

}  // namespace tarvex
