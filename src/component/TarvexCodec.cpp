// CTarvex members for compressed, encrypted, binary and encoded-word node
// content. The work is in codec/; the members convert the arguments, keep the
// call-log shape and set the out-values.
#include "component/CTarvex.h"

#include "charset/WideString.h"
#include "codec/ContentCoding.h"
#include "codec/NodeCompression.h"
#include "codec/NodeEncryption.h"
#include "text/DataBuffer.h"
#include "text/StringBuffer.h"
#include "tree/TreeNode.h"

namespace tarvex {
namespace {

const uint8_t* bytesOf(const StringBuffer& text) { return reinterpret_cast<const uint8_t*>(text.getString()); }
uint32_t sizeOf(const StringBuffer& text) { return static_cast<uint32_t>(text.getSize()); }

// The encoded-word members: the bytes of `content` as one word labelled with
// the charset name (taken in the ANSI code page).
void encodeWordContent(TreeNode* node, BSTR charset, const VARIANT& content, bool base64) {
    DataBuffer bytes;
    bytes.appendVariant(&content);
    if (bytes.getSize() == 0) {
        node->SetContentBytes(nullptr, 0);
        return;
    }
    StringBuffer name = StringBuffer::fromBstrAnsi(charset);
    StringBuffer word;
    if (base64)
        ContentCoding::makeBWord(bytes.getData(), bytes.getSize(), name.getString(), word);
    else
        ContentCoding::makeQWord(bytes.getData(), bytes.getSize(), name.getString(), word);
    node->SetContent(word.getString(), word.getSize());
}

}  // namespace

// ---------------------------------------------------------------------------
// Compression

HRESULT CTarvex::CompressNode() {
    if (!current_->HasContent()) return S_OK;  // the previous log stays
    Context scope(log_, "CompressNode");
    NodeCompression::compressNode(current_, log_);
    return S_OK;
}

HRESULT CTarvex::CompressSubtree() {
    Context scope(log_, "CompressSubtree");
    NodeCompression::compressSubtree(current_, log_);
    return S_OK;
}

HRESULT CTarvex::DecompressNode(LONG* success) {
    if (success == nullptr) {
        LogNullParameter("DecompressNode");
        return S_OK;
    }
    *success = 0;
    if (!current_->HasContent()) {
        *success = 1;
        return S_OK;
    }
    Context scope(log_, "DecompressNode");
    *success = NodeCompression::decompressNode(current_, log_) ? 1 : 0;
    return S_OK;
}

HRESULT CTarvex::DecompressSubtree(LONG* success) {
    if (success == nullptr) {
        LogNullParameter("DecompressSubtree");
        return S_OK;
    }
    *success = 0;
    if (!current_->HasContent()) {
        *success = 1;
        return S_OK;
    }
    Context scope(log_, "DecompressSubtree");
    *success = NodeCompression::decompressSubtree(current_, log_) ? 1 : 0;
    return S_OK;
}

// ---------------------------------------------------------------------------
// Encryption. EncryptNode and DecryptNode take the password in the ANSI code
// page, the binary-content members in UTF-8.

HRESULT CTarvex::EncryptNode(BSTR password) {
    if (!current_->HasContent()) return S_OK;
    Context scope(log_, "EncryptNode");
    if (scope.RefuseNull(password == nullptr)) return S_OK;
    StringBuffer key = StringBuffer::fromBstrAnsi(password);
    NodeEncryption::encryptNode(current_, bytesOf(key), sizeOf(key), log_);
    return S_OK;
}

HRESULT CTarvex::DecryptNode(BSTR password, LONG* success) {
    if (success) *success = 0;
    if (success && !current_->HasContent()) {
        *success = 1;
        return S_OK;
    }
    Context scope(log_, "DecryptNode");
    if (scope.RefuseNull(password == nullptr || success == nullptr)) return S_OK;
    StringBuffer key = StringBuffer::fromBstrAnsi(password);
    *success = NodeEncryption::decryptNode(current_, bytesOf(key), sizeOf(key), log_) ? 1 : 0;
    return S_OK;
}

HRESULT CTarvex::SetBinaryContent(LONG zipFlag, LONG encryptFlag, BSTR password, VARIANT Content) {
    Context scope(log_, "SetBinaryContent", false);
    StringBuffer key;
    appendBstrUtf8(password, key);
    DataBuffer bytes;
    bytes.appendVariant(&Content);
    NodeEncryption::setBinaryContent(current_, zipFlag != 0, encryptFlag != 0, bytesOf(key), sizeOf(key), bytes,
                                     log_);
    return S_OK;
}

HRESULT CTarvex::GetBinaryContent(LONG unzipFlag, LONG decryptFlag, BSTR password, VARIANT* Content) {
    if (Content) VariantInit(Content);
    Context scope(log_, "GetBinaryContent", false);
    if (scope.RefuseNull(Content == nullptr)) return S_OK;
    StringBuffer key;
    appendBstrUtf8(password, key);
    DataBuffer bytes;
    if (NodeEncryption::getBinaryContent(current_, unzipFlag != 0, decryptFlag != 0, bytesOf(key), sizeOf(key),
                                         bytes, log_))
        bytes.toVariant(Content);
    return S_OK;
}

// ---------------------------------------------------------------------------
// Encoded words: these three never log.

HRESULT CTarvex::QEncodeContent(BSTR charset, VARIANT Content) {
    encodeWordContent(current_, charset, Content, false);
    return S_OK;
}

HRESULT CTarvex::BEncodeContent(BSTR charset, VARIANT Content) {
    encodeWordContent(current_, charset, Content, true);
    return S_OK;
}

HRESULT CTarvex::DecodeContent(VARIANT* Content) {
    if (Content == nullptr) return S_OK;
    VariantInit(Content);
    DataBuffer bytes;
    const StringBuffer* content = current_->ContentBuffer();
    if (content && (content->containsNoCase("?Q?") || content->containsNoCase("?B?")))
        ContentCoding::decodeWords(*content, bytes);
    else if (content)
        bytes.append(content->getString(), static_cast<uint32_t>(content->getSize()));
    bytes.toVariant(Content);
    return S_OK;
}

}  // namespace tarvex
