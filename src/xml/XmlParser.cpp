#include "xml/XmlParser.h"

#include <cstring>
#include <initializer_list>

#include "base/LogBase.h"
#include "charset/CharsetRegistry.h"
#include "text/DataBuffer.h"
#include "charset/EncodingConvert.h"
#include "base/FatalError.h"
#include "file/FileAccess.h"
#include "base/Memory.h"
#include "base/SpareRegion.h"
#include "text/StringBuffer.h"
#include "tree/AttributeSet.h"
#include "tree/TreeNode.h"
#include "xml/ParseEngine.h"
#include "xml/ParseRun.h"

namespace tarvex {

namespace {

inline char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

// Finds "<?xml" ASCII case-insensitively in (p, n); -1 when absent.
int32_t findDeclaration(const char* p, int32_t n) {
    const char* end = p + n;
    const char* s = p;
    while (end - s >= 5) {
        const char* q = static_cast<const char*>(std::memchr(s + 1, '?', static_cast<size_t>(end - s - 4)));
        if (!q) return -1;
        if (q[-1] == '<' && lowerAscii(q[1]) == 'x' && lowerAscii(q[2]) == 'm' && lowerAscii(q[3]) == 'l')
            return static_cast<int32_t>(q - 1 - p);
        s = q;
    }
    return -1;
}

// The declared encoding, lower-cased and without spaces; empty when none.
void declaredEncoding(const char* p, int32_t n, StringBuffer& out) {
    out.clear();
    int32_t at = findDeclaration(p, n);
    if (at < 0) return;
    const char* gt = static_cast<const char*>(std::memchr(p + at, '>', static_cast<size_t>(n - at)));
    if (!gt) return;
    StringBuffer decl;
    for (const char* s = p + at; s < gt; ++s) {
        if (*s != ' ') decl.appendChar(*s);
    }
    decl.toLowerCase();
    const char* text = decl.getString();
    int32_t len = decl.getSize();
    const char* hit = nullptr;
    for (const char* quote : {"encoding=\"", "encoding='"}) {
        for (int32_t i = 0; i + 10 <= len && !hit; ++i) {
            if (std::memcmp(text + i, quote, 10) == 0) hit = text + i;
        }
        if (hit) break;
    }
    if (!hit) return;
    const char* v = hit + 10;
    const char* vend = text + len;
    const char* stop = static_cast<const char*>(std::memchr(v, '"', static_cast<size_t>(vend - v)));
    if (!stop) stop = static_cast<const char*>(std::memchr(v, '\'', static_cast<size_t>(vend - v)));
    if (!stop) return;
    out.appendN(v, static_cast<int32_t>(stop - v));
}

bool replaceWithConversion(DataBuffer& data, uint32_t from, uint32_t skip) {
    DataBuffer out;
    out.ensureCapacity(data.getSize() * 2 + 16);
    EncodingConvert conv;
    conv.convert(from, codepage::kUtf8, data.getData() + skip, data.getSize() - skip, out);
    data.takeOver(out);
    return true;
}

}  // namespace

bool XmlParser::convertToUtf8(DataBuffer& data) {
    uint32_t size = data.getSize();
    if (size == 0) return false;
    const uint8_t* b = data.getData();
    // UTF-32 marks are tested first: FF FE 00 00 would otherwise pass for UTF-16.
    if (size >= 4 && b[0] == 0xFF && b[1] == 0xFE && b[2] == 0 && b[3] == 0)
        return replaceWithConversion(data, codepage::kUtf32Le, 4);
    if (size >= 4 && b[0] == 0 && b[1] == 0 && b[2] == 0xFE && b[3] == 0xFF)
        return replaceWithConversion(data, codepage::kUtf32Be, 4);
    if (size >= 2 && b[0] == 0xFF && b[1] == 0xFE) return replaceWithConversion(data, codepage::kUtf16Le, 0);
    if (size >= 2 && b[0] == 0xFE && b[1] == 0xFF) return replaceWithConversion(data, codepage::kUtf16Be, 0);
    if (size >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) {
        data.removeFront(3);
        return true;
    }
    StringBuffer name;
    declaredEncoding(reinterpret_cast<const char*>(b), static_cast<int32_t>(size), name);
    if (name.getSize() == 0 || name.equalsNoCase("utf-8") || !isKnownCharset(name.getString())) return true;
    uint32_t cp = codePageForName(name.getString());
    // The declaration was found as single bytes, so the text cannot be in a
    // 16- or 32-bit form whatever it claims; converting would garble it.
    if (cp == codepage::kUtf16Le || cp == codepage::kUtf16Be || cp == codepage::kUtf32Le ||
        cp == codepage::kUtf32Be)
        return true;
    DataBuffer out;
    out.ensureCapacity(size * 2 + 16);
    EncodingConvert conv;
    conv.convertFromName(name.getString(), codepage::kUtf8, b, size, out);
    data.takeOver(out);
    return true;
}

bool XmlParser::parseXml(ParseEngine& cursor, LogBase* log, TreeNode** outRoot) {
    if (outRoot == nullptr) return false;
    *outRoot = nullptr;
    // The document text ends at its first NUL byte.
    cursor.endAtNul();
    *outRoot = runParse(cursor, log);
    return true;
}

bool XmlParser::parseUtf8(const char* text, int32_t length, LogBase* log, TreeNode** outRoot) {
    ParseEngine cursor;
    cursor.borrow(text, length);
    return parseXml(cursor, log, outRoot);
}

bool XmlParser::convertAndParse(DataBuffer& data, LogBase* log, TreeNode** outRoot, bool consume) {
    if (outRoot) *outRoot = nullptr;
    if (data.getSize() >= 0x7FFFFFF0u || !convertToUtf8(data) || data.getSize() >= 0x7FFFFFF0u) return false;
    ParseEngine cursor;
    cursor.borrow(reinterpret_cast<const char*>(data.getData()), static_cast<int32_t>(data.getSize()));
    if (!consume) {
        parseXml(cursor, log, outRoot);
        return true;
    }
    // The text's own allocation becomes a region the tree may build in; the
    // parse holds it until it ends, the tree for as long as it uses it.
    SpareRegion* region = nullptr;
    if (!data.isBorrowed() && data.getData() != nullptr) {
        region = SpareRegion::Adopt(data.getData(), data.getCapacity());
        if (region) data.detach();
    }
    cursor.allowDiscard(region);
    parseXml(cursor, log, outRoot);
    if (region) region->Release();
    return true;
}

bool XmlParser::loadXmlBytes(DataBuffer& data, LogBase* log, TreeNode** outRoot, bool consume) {
    if (!convertAndParse(data, log, outRoot, consume)) {
        if (log) log->LogError("Failed to convert XML data to utf-8 internal representation");
        return false;
    }
    return outRoot != nullptr;
}

bool XmlParser::finishFileLoad(DataBuffer& data, LogBase* log, TreeNode** outRoot) {
    // The file's bytes are read once and dropped after the parse, so the text
    // behind the parse need not stay resident beside the tree being built.
    if (!convertAndParse(data, log, outRoot, true) || outRoot == nullptr) return false;
    declareUtf8IfUnicode(*outRoot);
    return true;
}

void XmlParser::declareUtf8IfUnicode(TreeNode* root) {
    if (root == nullptr) return;
    StringBuffer encoding;
    TreeInfo* tree = root->GetTree();
    if (!tree->GetDeclarationAttribute("encoding", encoding)) return;
    if (encoding.equalsNoCase("utf-16") || encoding.equalsNoCase("ucs-2") || encoding.equalsNoCase("unicode"))
        tree->SetDeclarationAttribute("encoding", "utf-8");
}

bool XmlParser::loadXmlFile(const char* pathUtf8, LogBase* log, TreeNode** outRoot) {
    if (outRoot) *outRoot = nullptr;
    DataBuffer data;
    if (!loadFile(pathUtf8, data, log)) return false;
    return finishFileLoad(data, log, outRoot);
}

bool XmlParser::loadXmlFileWide(const OLECHAR* path, LogBase* log, TreeNode** outRoot) {
    if (outRoot) *outRoot = nullptr;
    DataBuffer data;
    if (!loadFileWide(path, data, log)) return false;
    return finishFileLoad(data, log, outRoot);
}

}  // namespace tarvex
