#include "xml/XmlSerializer.h"

#include "base/LogBase.h"
#include "charset/CharsetRegistry.h"
#include "charset/EncodingConvert.h"
#include "file/FileAccess.h"
#include "text/ByteSink.h"
#include "text/DataBuffer.h"
#include "text/StringBuffer.h"
#include "tree/TreeNode.h"
#include "xml/TargetCharset.h"
#include "xml/XmlEmitter.h"

namespace tarvex {

namespace {

// The byte-order mark a saved file starts with, by code page.
void appendByteOrderMark(uint32_t codePage, DataBuffer& out) {
    static const uint8_t le16[] = {0xFF, 0xFE};
    static const uint8_t be16[] = {0xFE, 0xFF};
    static const uint8_t le32[] = {0xFF, 0xFE, 0x00, 0x00};
    static const uint8_t be32[] = {0x00, 0x00, 0xFE, 0xFF};
    switch (codePage) {
        case codepage::kUtf16Le: out.append(le16, 2); break;
        case codepage::kUtf16Be: out.append(be16, 2); break;
        case codepage::kUtf32Le: out.append(le32, 4); break;
        case codepage::kUtf32Be: out.append(be32, 4); break;
        default: break;
    }
}

bool hasFourByteLead(const StringBuffer& text) {
    const uint8_t* p = reinterpret_cast<const uint8_t*>(text.getString());
    int32_t n = text.getSize();
    for (int32_t i = 0; i < n; ++i) {
        if (p[i] >= 0xF0) return true;
    }
    return false;
}

constexpr int32_t kStageBytes = 512 * 1024;

// The encoding the tree declares; a tree declaring none is given "utf-8".
void declaredEncoding(TreeNode* node, StringBuffer& encoding) {
    TreeInfo* tree = node->GetTree();
    if (!tree->GetDeclarationAttribute("encoding", encoding)) {
        tree->SetDeclarationAttribute("encoding", "utf-8");
        encoding.setString("utf-8");
    }
}

}  // namespace

void XmlSerializer::serializeNode(TreeNode* node, StringBuffer& out, int32_t index) {
    if (!node) return;
    XmlEmitter emitter(out, nullptr);
    emitter.run(node, index);
}

void XmlSerializer::escapeContent(const TreeNode* node, StringBuffer& out) {
    if (!node) return;
    XmlEmitter emitter(out, nullptr);
    emitter.content(node);
}

void XmlSerializer::writeAttributes(const AttributeSet* attributes, StringBuffer& out) {
    XmlEmitter emitter(out, nullptr);
    emitter.attributes(attributes);
}

bool XmlSerializer::encodeForSave(TreeNode* node, DataBuffer& out, LogBase* log) {
    out.clear();
    if (!node) return false;
    StringBuffer encoding;
    declaredEncoding(node, encoding);
    StringBuffer xml;
    serializeNode(node, xml, 0);
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(xml.getString());
    if (encoding.equalsNoCase("utf-8")) {
        out.append(bytes, static_cast<uint32_t>(xml.getSize()));
        return true;
    }
    uint32_t codePage = codePageForName(encoding.getString());
    if (codePage == 0 || !EncodingConvert::isSupported(codePage)) return false;
    out.ensureCapacity(static_cast<uint32_t>(xml.getSize()) * (codePage == codepage::kUtf32Le || codePage == codepage::kUtf32Be ? 4u : 2u) + 16);
    appendByteOrderMark(codePage, out);
    EncodingConvert conv;
    bool complete = conv.convert(codepage::kUtf8, codePage, bytes, static_cast<uint32_t>(xml.getSize()), out);
    if (codePage == codepage::kUtf8 || (complete && !hasFourByteLead(xml))) return true;

    // Some character has no place in the target: write those as references.
    out.clear();
    xml.clear();
    TargetCharset target(codePage);
    {
        XmlEmitter emitter(xml, &target);
        emitter.run(node, 0);
        if (emitter.failure() != XmlEmitter::Failure::None) {
            if (log) {
                log->LogError(emitter.failure() == XmlEmitter::Failure::Name
                                  ? "Cannot encode a name in the document's encoding"
                                  : "Cannot encode the prolog in the document's encoding");
                log->LogData("encoding", encoding.getString());
            }
            return false;
        }
    }
    appendByteOrderMark(codePage, out);
    conv.convert(codepage::kUtf8, codePage, reinterpret_cast<const uint8_t*>(xml.getString()),
                 static_cast<uint32_t>(xml.getSize()), out);
    return true;
}

bool XmlSerializer::saveXml(TreeNode* node, const char* pathUtf8, LogBase* log) {
    if (!node) return false;
    StringBuffer encoding;
    declaredEncoding(node, encoding);
    if (encoding.equalsNoCase("utf-8")) {
        // The text needs no conversion: it streams to the file through a
        // small buffer instead of being held whole (twice) first.
        return writeFileStreamed(
            pathUtf8,
            [node](ByteSink& sink) {
                StringBuffer stage = StringBuffer::withCapacity(kStageBytes);
                XmlEmitter emitter(stage, nullptr, &sink);
                emitter.run(node, 0);
                return true;
            },
            log);
    }
    DataBuffer data;
    if (!encodeForSave(node, data, log)) return false;
    return writeFile(pathUtf8, data.getData(), data.getSize(), log);
}

}  // namespace tarvex
