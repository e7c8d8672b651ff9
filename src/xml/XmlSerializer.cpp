#include "xml/XmlSerializer.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <vector>

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#include <emmintrin.h>
#define TARVEX_SCAN_SSE2 1
#endif

#include "base/LogBase.h"
#include "charset/CharsetRegistry.h"
#include "text/DataBuffer.h"
#include "charset/EncodingConvert.h"
#include "file/FileAccess.h"
#include "text/StringBuffer.h"
#include "tree/AttributeSet.h"
#include "base/ExtPtrArray.h"
#include "tree/TreeNode.h"

namespace tarvex {

namespace {

// Named references written through unchanged in content (with '&' and ';').
// The five predefined names are absent on purpose: the parser replaces them
// all, so one that stands in content is text and its '&' must be escaped.
// Sorted for binary search.
const std::string_view kContentEntities[] = {
    "AElig", "Aacute", "Acirc", "Aelig", "Agrave", "Aring", "Atilde", "Auml", "Ccedil", "Cedil",
    "Cent", "Copy", "Curren", "ETH", "Eacute", "Ecirc", "Egrave", "Eth", "Euml", "Iacute",
    "Icirc", "Iexcl", "Igrave", "Iquest", "Iuml", "OElig", "Oacute", "Ocirc", "Oelig", "Ograve",
    "Ordf", "Ordm", "Oslash", "Otilde", "Ouml", "THORN", "Thorn", "Uacute", "Ucirc", "Ugrave",
    "Uml", "Utilde", "Uuml", "Yacute", "Yen", "Yuml", "aElig", "aacute", "acirc", "acute",
    "aelig", "agrave", "aring", "atilde", "auml", "brkbar", "bull", "ccedil", "cedil", "cent",
    "copy", "curren", "deg", "divide", "eTH", "eacute", "ecirc", "egrave", "eth", "euml",
    "frac12", "frac14", "frac34", "hibar", "iacute", "icirc", "iexcl", "igrave", "iquest", "iuml",
    "micro", "middot", "nbsp", "not", "ntilde", "oElig", "oacute", "ocirc", "oelig", "ograve",
    "ordf", "ordm", "oslash", "otilde", "ouml", "para", "plusmn", "pound", "raquo", "reg",
    "sect", "shy", "sup1", "sup2", "sup3", "szlig", "tHORN", "thorn", "uacute", "ucirc",
    "ugrave", "uml", "utilde", "uuml", "yacute", "yen", "yuml",
};

// Whether the '&' at p[0] (n bytes left, n >= 1) begins a reference that is
// written through: "&#..." or "&name;" with a listed name. At most 7 bytes
// after the '&' are examined.
bool isPassThroughReference(const char* p, size_t n) {
    if (n >= 2 && p[1] == '#') return true;
    size_t limit = std::min<size_t>(n, 8);
    for (size_t i = 2; i < limit; ++i) {
        if (p[i] == ';') {
            std::string_view name(p + 1, i - 1);
            return std::binary_search(std::begin(kContentEntities), std::end(kContentEntities), name);
        }
    }
    return false;
}

struct ByteTable {
    uint8_t special[256];
};

constexpr ByteTable makeTable(const char* members, bool high) {
    ByteTable t{};
    for (const char* p = members; *p; ++p) t.special[static_cast<uint8_t>(*p)] = 1;
    if (high) {
        for (int b = 0x80; b < 0x100; ++b) t.special[b] = 1;
    }
    return t;
}

constexpr ByteTable kContentTable = makeTable("<>\"'&", false);
constexpr ByteTable kContentTableHigh = makeTable("<>\"'&", true);
// Attribute values also stop at a zero byte.
ByteTable attributeTable(bool high) {
    ByteTable t = makeTable("<>\"'&", high);
    t.special[0] = 1;
    return t;
}
const ByteTable kAttrTable = attributeTable(false);
const ByteTable kAttrTableHigh = attributeTable(true);

// The index of the first byte in p[i..n) that content escaping must look at
// ('<', '>', '"', '\'', '&'), or n. Sixteen bytes at a time where possible.
size_t contentCleanEnd(const char* p, size_t i, size_t n) {
#ifdef TARVEX_SCAN_SSE2
    const __m128i two = _mm_set1_epi8(2);
    const __m128i one = _mm_set1_epi8(1);
    const __m128i angle = _mm_set1_epi8('>');   // '<' | 2 == '>' | 2 == '>'
    const __m128i apos = _mm_set1_epi8('\'');  // '&' | 1 == '\'' | 1 == '\''
    const __m128i quot = _mm_set1_epi8('"');
    while (i + 16 <= n) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        __m128i hit = _mm_or_si128(
            _mm_or_si128(_mm_cmpeq_epi8(_mm_or_si128(v, two), angle),
                         _mm_cmpeq_epi8(_mm_or_si128(v, one), apos)),
            _mm_cmpeq_epi8(v, quot));
        unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hit));
        if (mask) {
#if defined(__GNUC__) || defined(__clang__)
            return i + static_cast<size_t>(__builtin_ctz(mask));
#else
            while (!(mask & 1u)) {
                mask >>= 1;
                ++i;
            }
            return i;
#endif
        }
        i += 16;
    }
#endif
    const uint8_t* table = kContentTable.special;
    while (i < n && !table[static_cast<uint8_t>(p[i])]) ++i;
    return i;
}

// Staging area in front of the output buffer: many small pieces become few
// appends.
class Writer {
public:
    explicit Writer(StringBuffer& out) : out_(out) {}
    ~Writer() { flush(); }
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;

    void put(const char* p, size_t n) {
        if (n > kSize - used_ || n >= kDirect) {
            // Long runs go straight to the output: one copy, not two.
            flush();
            if (n >= kDirect) {
                appendLarge(p, n);
                return;
            }
        }
        std::memcpy(buf_ + used_, p, n);
        used_ += n;
    }
    void put(std::string_view s) { put(s.data(), s.size()); }
    StringBuffer& target() { return out_; }
    void put(char c) {
        if (used_ == kSize) flush();
        buf_[used_++] = c;
    }
    void flush() {
        if (used_) {
            reserve(used_);
            out_.appendN(buf_, static_cast<int32_t>(used_));
        }
        used_ = 0;
    }

    // Room is reserved ahead geometrically (the output doubles at most once
    // per doubling of its size), so a large document is copied a bounded
    // number of times; pages reserved but not yet written cost no memory.
    void reserve(size_t n) {
        int64_t spare = static_cast<int64_t>(out_.getCapacity()) - out_.getSize() - 1;
        if (static_cast<int64_t>(n) <= spare) return;
        int64_t want = std::max<int64_t>(static_cast<int64_t>(n), std::max<int64_t>(out_.getSize(), kSize * 4));
        want = std::min<int64_t>(want, 0x7FFFFFF0LL - out_.getSize() - out_.getGrowthIncrement() - 2);
        if (want > static_cast<int64_t>(n)) out_.ensureCapacity(static_cast<int32_t>(want));
    }

private:
    void appendLarge(const char* p, size_t n) {
        while (n > 0) {
            int32_t chunk = static_cast<int32_t>(std::min<size_t>(n, 0x40000000));
            reserve(static_cast<size_t>(chunk));
            out_.appendN(p, chunk);
            p += chunk;
            n -= static_cast<size_t>(chunk);
        }
    }

    static constexpr size_t kSize = 16384;
    static constexpr size_t kDirect = 1024;
    StringBuffer& out_;
    size_t used_ = 0;
    char buf_[kSize];
};

// Which characters a target code page holds; used only when a save found
// characters the encoding lacks.
class TargetCharset {
public:
    explicit TargetCharset(uint32_t codePage)
        : codePage_(codePage),
          unicode_(codePage == codepage::kUtf16Le || codePage == codepage::kUtf16Be ||
                   codePage == codepage::kUtf32Le || codePage == codepage::kUtf32Be ||
                   codePage == codepage::kUtf7 || codePage == codepage::kUtf8),
          state_(unicode_ ? 0 : 0x10000, 0) {}

    bool canEncode(uint32_t ch) {
        if (ch >= 0xD800 && ch <= 0xDFFF) return false;
        // The Unicode forms hold every character; the code-page tables only
        // characters of the Basic Multilingual Plane.
        if (unicode_) return true;
        if (ch > 0xFFFF) return false;
        uint8_t& s = state_[ch];
        if (s == 0) {
            uint8_t unit[2] = {static_cast<uint8_t>(ch & 0xFF), static_cast<uint8_t>(ch >> 8)};
            DataBuffer out;
            EncodingConvert conv;
            bool ok = conv.convert(codepage::kUtf16Le, codePage_, unit, 2, out) && out.getSize() > 0;
            s = ok ? 1 : 2;
        }
        return s == 1;
    }

private:
    uint32_t codePage_;
    bool unicode_;
    std::vector<uint8_t> state_;
};

// Reads one UTF-8 sequence at p (n bytes left, p[0] >= 0x80). Returns its
// length and code point, or 0 when the bytes are not a valid sequence.
size_t readUtf8(const char* p, size_t n, uint32_t* cp) {
    uint8_t b0 = static_cast<uint8_t>(p[0]);
    size_t len;
    uint32_t v;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        len = 2;
        v = b0 & 0x1F;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        len = 3;
        v = b0 & 0x0F;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        len = 4;
        v = b0 & 0x07;
    } else {
        return 0;
    }
    if (n < len) return 0;
    for (size_t i = 1; i < len; ++i) {
        uint8_t b = static_cast<uint8_t>(p[i]);
        if ((b & 0xC0) != 0x80) return 0;
        v = (v << 6) | (b & 0x3F);
    }
    if ((len == 3 && v < 0x800) || (len == 4 && (v < 0x10000 || v > 0x10FFFF))) return 0;
    *cp = v;
    return len;
}

// Writes one subtree. With a target charset, characters the target lacks
// become character references, and a name holding one fails the run.
class Emitter {
public:
    Emitter(StringBuffer& out, TargetCharset* target) : w_(out), target_(target) {}

    bool failed() const { return failed_; }

    void run(TreeNode* top, int32_t index) {
        header(top);
        if (index == 0) w_.put("\r\n", 2);
        // An explicit stack instead of recursion: any depth is safe.
        struct Frame {
            TreeNode* node;
            ExtPtrArray* children;
            int32_t next;
        };
        std::vector<Frame> stack;
        stack.reserve(64);
        open(top);
        stack.push_back({top, top->Children(), 0});
        while (!stack.empty() && !failed_) {
            Frame& f = stack.back();
            if (f.children && f.next < f.children->Count()) {
                TreeNode* child = static_cast<TreeNode*>(f.children->Elements()[f.next]);
                if (f.next++ == 0) w_.put("\r\n", 2);
                open(child);
                stack.push_back({child, child->Children(), 0});
            } else {
                close(f.node);
                stack.pop_back();
            }
        }
    }

    void content(const TreeNode* node) {
        int32_t n = node->GetContentLength();
        if (n <= 0) return;
        const char* p = node->GetContent();
        if (node->IsCdata()) {
            cdata(p, static_cast<size_t>(n));
        } else {
            contentText(p, static_cast<size_t>(n));
        }
    }

    void attributes(const AttributeSet* set) {
        if (!set) return;
        if (!target_) {
            // The list writes itself in one linear pass.
            w_.flush();
            w_.reserve(4096);
            set->Write(w_.target());
            return;
        }
        int32_t count = set->Count();
        for (int32_t i = 0; i < count; ++i) {
            int32_t nameLen = 0, valueLen = 0;
            const char* name = set->NamePtr(i, &nameLen);
            const char* value = set->ValuePtr(i, &valueLen);
            w_.put(' ');
            this->name(name, static_cast<size_t>(nameLen));
            w_.put("=\"", 2);
            attributeValue(value, static_cast<size_t>(valueLen));
            w_.put('"');
        }
    }

private:
    void header(TreeNode* node) {
        TreeInfo* tree = node->GetTree();
        if (!tree || tree->root != node) return;
        if (TreeNode* decl = tree->declaration) {
            w_.put("<?xml", 5);
            if (AttributeSet* set = decl->Attributes()) {
                // "standalone" is always written last; the tree keeps the order.
                if (set->Has("standalone")) {
                    StringBuffer value;
                    set->GetValue("standalone", value);
                    set->Remove("standalone");
                    set->Add("standalone", value.getString());
                }
                attributes(set);
            }
            w_.put(" ?>\r\n", 5);
        }
        if (TreeNode* style = tree->stylesheet) {
            w_.put("<?xml-stylesheet", 16);
            attributes(style->Attributes());
            w_.put(" ?>\r\n", 5);
        }
        if (tree->prolog && tree->prolog->getSize() > 0) {
            rawText(tree->prolog->getString(), static_cast<size_t>(tree->prolog->getSize()));
            w_.put("\r\n", 2);
        }
    }

    void tag(const TreeNode* node) {
        int32_t n = node->GetTagLength();
        if (n > 0) {
            name(node->GetTag(), static_cast<size_t>(n));
        } else {
            w_.put("nothing", 7);
        }
    }

    void open(TreeNode* node) {
        w_.put('<');
        tag(node);
        AttributeSet* set = node->Attributes();
        if (set && set->Count() > 0) attributes(set);
        w_.put('>');
        content(node);
    }

    void close(const TreeNode* node) {
        w_.put("</", 2);
        tag(node);
        w_.put(">\r\n", 3);
    }

    void reference(uint32_t cp) {
        char ref[16];
        int n = std::snprintf(ref, sizeof ref, "&#x%04X;", cp);
        w_.put(ref, static_cast<size_t>(n));
    }

    // Handles the byte at p[0] >= 0x80 with a target charset; returns the
    // bytes consumed. CDATA closes its section around a reference.
    size_t highChar(const char* p, size_t n, bool inCdata) {
        uint32_t cp = 0;
        size_t len = readUtf8(p, n, &cp);
        if (len == 0) {
            w_.put(p[0]);  // not UTF-8: the converter drops it
            return 1;
        }
        if (target_->canEncode(cp)) {
            w_.put(p, len);
        } else if (inCdata) {
            w_.put("]]>", 3);
            reference(cp);
            w_.put("<![CDATA[", 9);
        } else {
            reference(cp);
        }
        return len;
    }

    void name(const char* p, size_t n) {
        if (target_) {
            for (size_t i = 0; i < n; ++i) {
                if (static_cast<uint8_t>(p[i]) < 0x80) continue;
                uint32_t cp = 0;
                size_t len = readUtf8(p + i, n - i, &cp);
                if (len == 0 || !target_->canEncode(cp)) {
                    failed_ = true;
                    break;
                }
                i += len - 1;
            }
        }
        w_.put(p, n);
    }

    // Writes the entity of '<', '>', '"' or '\''; false for any other byte.
    bool markupEntity(char c) {
        switch (c) {
            case '<': w_.put("&lt;", 4); return true;
            case '>': w_.put("&gt;", 4); return true;
            case '"': w_.put("&quot;", 6); return true;
            case '\'': w_.put("&apos;", 6); return true;
            default: return false;
        }
    }

    void contentText(const char* p, size_t n) {
        const uint8_t* table = target_ ? kContentTableHigh.special : kContentTable.special;
        size_t i = 0;
        while (i < n) {
            size_t start = i;
            if (target_) {
                while (i < n && !table[static_cast<uint8_t>(p[i])]) ++i;
            } else {
                i = contentCleanEnd(p, i, n);
            }
            if (i > start) w_.put(p + start, i - start);
            if (i >= n) break;
            const char c = p[i];
            if (c == '&') {
                if (isPassThroughReference(p + i, n - i)) {
                    w_.put('&');
                } else {
                    w_.put("&amp;", 5);
                }
            } else if (!markupEntity(c)) {
                i += highChar(p + i, n - i, false);
                continue;
            }
            ++i;
        }
    }

    // Attribute values: '&' passes only before '#'; a zero byte ends the value.
    void attributeValue(const char* p, size_t n) {
        const uint8_t* table = target_ ? kAttrTableHigh.special : kAttrTable.special;
        size_t i = 0;
        while (i < n) {
            size_t start = i;
            while (i < n && !table[static_cast<uint8_t>(p[i])]) ++i;
            if (i > start) w_.put(p + start, i - start);
            if (i >= n) break;
            const char c = p[i];
            if (c == '\0') return;
            if (c == '&') {
                if (i + 1 < n && p[i + 1] == '#') {
                    w_.put('&');
                } else {
                    w_.put("&amp;", 5);
                }
            } else if (!markupEntity(c)) {
                i += highChar(p + i, n - i, false);
                continue;
            }
            ++i;
        }
    }

    // One CDATA section; a "]]>" inside is split across two sections.
    void cdata(const char* p, size_t n) {
        w_.put("<![CDATA[", 9);
        size_t i = 0;
        while (i < n) {
            size_t start = i;
            if (target_) {
                while (i < n && p[i] != ']' && static_cast<uint8_t>(p[i]) < 0x80) ++i;
            } else {
                const void* hit = std::memchr(p + i, ']', n - i);
                i = hit ? static_cast<size_t>(static_cast<const char*>(hit) - p) : n;
            }
            if (i > start) w_.put(p + start, i - start);
            if (i >= n) break;
            if (p[i] == ']') {
                if (i + 2 < n && p[i + 1] == ']' && p[i + 2] == '>') {
                    w_.put("]]]]><![CDATA[>", 15);
                    i += 3;
                } else {
                    w_.put(']');
                    ++i;
                }
            } else {
                i += highChar(p + i, n - i, true);
            }
        }
        w_.put("]]>", 3);
    }

    void rawText(const char* p, size_t n) {
        if (!target_) {
            w_.put(p, n);
            return;
        }
        size_t i = 0;
        while (i < n) {
            size_t start = i;
            while (i < n && static_cast<uint8_t>(p[i]) < 0x80) ++i;
            if (i > start) w_.put(p + start, i - start);
            if (i < n) i += highChar(p + i, n - i, false);
        }
    }

    Writer w_;
    TargetCharset* target_;
    bool failed_ = false;
};

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

}  // namespace

void XmlSerializer::serializeNode(TreeNode* node, StringBuffer& out, int32_t index) {
    if (!node) return;
    Emitter emitter(out, nullptr);
    emitter.run(node, index);
}

void XmlSerializer::escapeContent(const TreeNode* node, StringBuffer& out) {
    if (!node) return;
    Emitter emitter(out, nullptr);
    emitter.content(node);
}

void XmlSerializer::writeAttributes(const AttributeSet* attributes, StringBuffer& out) {
    Emitter emitter(out, nullptr);
    emitter.attributes(attributes);
}

bool XmlSerializer::getDeclarationAttribute(const TreeNode* node, const char* name, StringBuffer& out) {
    out.clear();
    if (!node || !node->GetTree() || !node->GetTree()->declaration) return false;
    AttributeSet* set = node->GetTree()->declaration->Attributes();
    return set && set->GetValue(name, out);
}

void XmlSerializer::setDeclarationAttribute(TreeNode* node, const char* name, const char* value) {
    if (!node || !node->GetTree()) return;
    TreeInfo* tree = node->GetTree();
    if (!tree->declaration) {
        TreeNode* decl = TreeNode::NewTree("xml");
        decl->EnsureAttributes()->Add("version", "1.0");
        tree->SetDeclaration(decl);
    }
    tree->declaration->EnsureAttributes()->Update(name, value);
}

bool XmlSerializer::encodeForSave(TreeNode* node, DataBuffer& out, LogBase* log) {
    out.clear();
    if (!node) return false;
    StringBuffer encoding;
    if (!getDeclarationAttribute(node, "encoding", encoding)) {
        setDeclarationAttribute(node, "encoding", "utf-8");
        encoding.setString("utf-8");
    }
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
        Emitter emitter(xml, &target);
        emitter.run(node, 0);
        if (emitter.failed()) {
            if (log) {
                log->LogError("Cannot encode a name in the document's encoding");
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
    DataBuffer data;
    if (!encodeForSave(node, data, log)) return false;
    return writeFile(pathUtf8, data.getData(), data.getSize(), log);
}

}  // namespace tarvex
