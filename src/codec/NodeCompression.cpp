#include "codec/NodeCompression.h"

#include <memory>
#include <utility>

#include "base/LogBase.h"
#include "codec/ContentCoding.h"
#include "codec/OutputDataBuffer.h"
#include "codec/ZipDn.h"
#include "text/StringBuffer.h"
#include "tree/TreeNode.h"
#include "xml/XmlParser.h"
#include "xml/XmlSerializer.h"

namespace tarvex {
namespace {

// Entries of the four members are named "x"; the name never reaches the data.
const char kEntryName[] = "x";

// Deflates the bytes and returns their stored text; false when the store
// refuses them (logged) or nothing came out.
bool compressToText(const char* bytes, int32_t n, StringBuffer& text, LogBase& log) {
    ZipDn store;
    std::unique_ptr<ZipEntryDn> entry =
        store.AppendData(kEntryName, reinterpret_cast<const uint8_t*>(bytes), static_cast<uint32_t>(n));
    if (!entry) {
        log.LogError("Failed to get Zip entry");
        return false;
    }
    OutputDataBuffer compressed;
    if (!store.Copy(*entry, compressed) || compressed.size() == 0) return false;
    ContentCoding coding;
    coding.encodeBase64Lines(compressed.data(), compressed.size(), text);
    if (text.getSize() > 0) return true;
    log.LogError("Compressed data is too large to store");  // beyond a 2 GB text
    return false;
}

// Decodes and inflates the node's content into `out`. False, logged, when
// the content is not base64 or does not inflate.
bool inflateContent(const TreeNode* node, OutputDataBuffer& out, LogBase& log) {
    const uint32_t n = static_cast<uint32_t>(node->GetContentLength());
    OutputDataBuffer decoded;
    uint32_t room = 0;
    uint8_t* at = decoded.reserve(n / 4 * 3 + 3, &room);
    uint32_t written = 0;
    if (!at || !ContentCoding::decodeBase64Block(node->GetContent(), n, true, at, &written)) {
        log.LogError("Invalid Base64 data");
        return false;
    }
    decoded.commit(written);
    ZipDn store;
    std::unique_ptr<ZipEntryDn> entry = store.AppendCompressed(kEntryName, decoded.data(), decoded.size());
    if (!entry || entry->inflateFailed()) {
        log.LogError("Failed to inflate data");
        return false;
    }
    store.Inflate(*entry, out);
    return true;
}

}  // namespace

void NodeCompression::compressNode(TreeNode* node, LogBase& log) {
    StringBuffer text;
    if (!compressToText(node->GetContent(), node->GetContentLength(), text, log)) return;
    *node->EnsureContentBuffer() = std::move(text);
}

void NodeCompression::compressSubtree(TreeNode* node, LogBase& log) {
    StringBuffer xml;
    XmlSerializer::serializeNode(node, xml, 0);
    StringBuffer text;
    if (!compressToText(xml.getString(), xml.getSize(), text, log)) return;
    *node->EnsureContentBuffer() = std::move(text);
    node->SetCdata(true);
    // The children leave as trees of their own, destroyed at once unless an
    // object still points into them.
    while (node->NumChildren() > 0) {
        TreeNode* child = node->GetChild(0);
        TreeNode::DetachFromParent(child);
        if (TreeNode::TreeTotal(child) == 0) TreeNode::Destroy(child);
    }
}

bool NodeCompression::decompressNode(TreeNode* node, LogBase& log) {
    OutputDataBuffer plain;
    if (!inflateContent(node, plain, log)) return false;
    // Raw bytes, no conversion; empty output leaves the content as it was.
    if (plain.size() > 0) plain.moveTo(*node->EnsureContentBuffer());
    return true;
}

bool NodeCompression::decompressSubtree(TreeNode* node, LogBase& log) {
    OutputDataBuffer plain;
    if (!inflateContent(node, plain, log)) return false;
    if (plain.size() == 0) return true;
    StringBuffer xml;
    plain.moveTo(xml);
    // Parsed as LoadXml parses text, with its messages dropped.
    TreeNode* root = nullptr;
    XmlParser::parseUtf8(xml.getString(), xml.getSize(), nullptr, &root);
    if (!root) return true;
    const bool cdata = node->IsCdata();
    TreeNode::SwapChildren(node, root);
    node->SetCdata(cdata);
    // The parsed root now holds the former children; objects may still point
    // at them, and then keep that tree alive.
    if (TreeNode::TreeTotal(root) == 0) TreeNode::Destroy(root);
    return true;
}

}  // namespace tarvex
