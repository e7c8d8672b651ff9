// NodeEncryption: password-encrypted and binary node content, stored as
// line-broken base64. Binary content is the caller's bytes, optionally raw
// DEFLATE compressed (entry "data.dat"), then optionally encrypted.
//
// The operations run inside the context the component's member opened and
// log there. Passwords arrive as bytes: the members decide their encoding.
#pragma once

#include <cstdint>

namespace tarvex {

class DataBuffer;
class LogBase;
class TreeNode;

class NodeEncryption {
public:
    // Replaces the content by its encrypted stored form.
    static void encryptNode(TreeNode* node, const uint8_t* password, uint32_t n, LogBase& log);
    // Restores encrypted content. False (logged, content unchanged) for
    // content that is not base64, a wrong password the padding check
    // catches, or a malformed legacy header.
    static bool decryptNode(TreeNode* node, const uint8_t* password, uint32_t n, LogBase& log);
    // Stores bytes as the content, compressed and encrypted as asked.
    static void setBinaryContent(TreeNode* node, bool zip, bool encrypt, const uint8_t* password, uint32_t n,
                                 const DataBuffer& bytes, LogBase& log);
    // Reads binary content back into `out`; false (logged) on any failure.
    static bool getBinaryContent(const TreeNode* node, bool unzip, bool decrypt, const uint8_t* password,
                                 uint32_t n, DataBuffer& out, LogBase& log);
};

}  // namespace tarvex
