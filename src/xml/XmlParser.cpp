#include "xml/XmlParser.h"

#include <cstring>
#include <initializer_list>

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#include <emmintrin.h>
#define TARVEX_PARSE_SSE2 1
#endif

#include "base/LogBase.h"
#include "charset/CharsetRegistry.h"
#include "text/DataBuffer.h"
#include "charset/EncodingConvert.h"
#include "base/FatalError.h"
#include "file/FileAccess.h"
#include "base/Memory.h"
#include "text/StringBuffer.h"
#include "tree/AttributeSet.h"
#include "tree/TreeNode.h"
#include "xml/ParseEngine.h"
#include "xml/XmlSerializer.h"

namespace tarvex {

namespace {

const ByteSet kTagStop(" \t\r\n/>");
const ByteSet kAttrNameStop(" \t\r\n=/>");
const ByteSet kPseudoNameStop(" \t\r\n=?>");
const ByteSet kPseudoValueStop("\"'\r\n");
const ByteSet kDropFromTag("<");
// The stop sets widened by the bytes a name drops: one scan finds both, and
// only a name that holds such a byte takes the slow way.
const ByteSet kTagStopOrDrop(" \t\r\n/><");
const ByteSet kAttrNameStopOrDrop(" \t\r\n=/>\"'<");
const ByteSet kDropFromAttrName("\"'<");
const ByteSet kDropFromPseudoName("\"");

inline bool isWhitespace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

inline bool matchAt(const char* p, const char* end, const char* s, int32_t n) {
    return end - p >= n && std::memcmp(p, s, static_cast<size_t>(n)) == 0;
}

// The five predefined entities, as they follow the '&'.
struct PredefinedEntity {
    const char* name;
    int32_t length;
    char byte;
};
constexpr PredefinedEntity kPredefinedEntities[] = {
    {"lt;", 3, '<'}, {"gt;", 3, '>'}, {"amp;", 4, '&'}, {"quot;", 5, '"'}, {"apos;", 5, '\''},
};

// Appends (p, n) to out with the five predefined entities replaced: "&lt;",
// "&gt;", "&quot;", "&apos;" and "&amp;". One left-to-right pass gives the
// same text as replacing them one after the other, "&amp;" last: no
// replacement can form a new reference.
void appendDecoded(StringBuffer& out, const char* p, int32_t n) {
    const char* end = p + n;
    while (p < end) {
        const char* amp = static_cast<const char*>(std::memchr(p, '&', static_cast<size_t>(end - p)));
        if (!amp) {
            out.appendN(p, static_cast<int32_t>(end - p));
            return;
        }
        if (amp > p) out.appendN(p, static_cast<int32_t>(amp - p));
        // An '&' that starts none of them stays as written.
        p = amp + 1;
        char decoded = '&';
        for (const PredefinedEntity& entity : kPredefinedEntities) {
            if (matchAt(p, end, entity.name, entity.length)) {
                decoded = entity.byte;
                p += entity.length;
                break;
            }
        }
        out.appendChar(decoded);
    }
}

// The first `quote` byte in [p, end), or end; `amp` is set when an '&' comes
// before it. Sixteen bytes at a time where possible.
inline const char* scanQuoted(const char* p, const char* end, char quote, bool& amp) {
#ifdef TARVEX_PARSE_SSE2
    const __m128i q = _mm_set1_epi8(quote);
    const __m128i a = _mm_set1_epi8('&');
    while (end - p >= 16) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        unsigned quotes = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, q)));
        unsigned amps = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, a)));
        if (quotes) {
            unsigned first = quotes & (0u - quotes);   // lowest set bit
            if (amps & (first - 1)) amp = true;
#if defined(__GNUC__) || defined(__clang__)
            return p + __builtin_ctz(quotes);
#else
            while (!(quotes & 1u)) {
                quotes >>= 1;
                ++p;
            }
            return p;
#endif
        }
        if (amps) amp = true;
        p += 16;
    }
#endif
    while (p < end && *p != quote) {
        if (*p == '&') amp = true;
        ++p;
    }
    return p;
}

// Copies (p, n) into scratch without the bytes in `drop` when any is present;
// otherwise leaves the span as it is.
void stripBytes(const char*& p, int32_t& n, const ByteSet& drop, StringBuffer& scratch) {
    int32_t i = 0;
    while (i < n && !drop.has(static_cast<uint8_t>(p[i]))) ++i;
    if (i == n) return;
    scratch.clear();
    scratch.appendN(p, i);
    for (; i < n; ++i) {
        if (!drop.has(static_cast<uint8_t>(p[i]))) scratch.appendChar(p[i]);
    }
    p = scratch.getString();
    n = scratch.getSize();
}

// A growable byte block for decoded attribute values; it only grows.
class DecodeScratch {
public:
    DecodeScratch() = default;
    ~DecodeScratch() {
        if (bytes_) memFree(bytes_);
    }
    DecodeScratch(const DecodeScratch&) = delete;
    DecodeScratch& operator=(const DecodeScratch&) = delete;

    // Decodes the entities of (p, n), which holds an '&', into the block and
    // points (p, n) at the result; the same text as appendDecoded gives.
    void decode(const char*& p, int32_t& n) {
        if (n > capacity_) {
            int32_t grown = n < 256 ? 256 : n;
            void* block = memRealloc(bytes_, static_cast<size_t>(grown));
            if (!block) fatalError("out of memory decoding an attribute value");
            bytes_ = static_cast<char*>(block);
            capacity_ = grown;
        }
        const char* s = p;
        const char* end = p + n;
        char* o = bytes_;
        while (s < end) {
            char c = *s++;
            if (c == '&') {
                for (const PredefinedEntity& entity : kPredefinedEntities) {
                    if (matchAt(s, end, entity.name, entity.length)) {
                        c = entity.byte;
                        s += entity.length;
                        break;
                    }
                }
            }
            *o++ = c;
        }
        p = bytes_;
        n = static_cast<int32_t>(o - bytes_);
    }

private:
    char* bytes_ = nullptr;
    int32_t capacity_ = 0;
};

// Decodes entities of (p, n) into scratch when the span holds an '&'.
void decodeSpan(const char*& p, int32_t& n, StringBuffer& scratch) {
    if (n <= 0 || std::memchr(p, '&', static_cast<size_t>(n)) == nullptr) return;
    scratch.clear();
    appendDecoded(scratch, p, n);
    p = scratch.getString();
    n = scratch.getSize();
}

// One parse over one cursor.
class ParseRun {
public:
    ParseRun(ParseEngine& cursor, LogBase* log)
        : c_(cursor), log_(log), prolog_(StringBuffer::withCapacity(2000)) {}

    ~ParseRun() {
        if (pendingDecl_) TreeNode::Destroy(pendingDecl_);
        if (pendingStyle_) TreeNode::Destroy(pendingStyle_);
        if (current_) TreeNode::Destroy(topOf(current_));
        if (result_) TreeNode::Destroy(result_);
    }

    TreeNode* run() {
        while (!c_.atEnd()) {
            if (current_) {
                c_.skipWhitespace();
                if (!textRun()) break;
            } else {
                c_.skipWhitespace();
                if (c_.atEnd()) break;
                // Text at top level (junk, a byte-order mark) is dropped.
                c_.seekChar('<');
                c_.advance(1);
            }
            if (!markup()) break;
        }
        return finish();
    }

private:
    static TreeNode* topOf(TreeNode* node) {
        while (node->GetParent()) node = node->GetParent();
        return node;
    }

    void logError(const char* message) {
        if (log_) log_->LogError(message);
    }

    // Reads a text run of the current element up to the next '<'. Returns
    // false when the run ended at the end of the text.
    bool textRun() {
        if (c_.peek() == '<' && !c_.atEnd()) {
            c_.advance(1);  // markup follows at once: no run
            return true;
        }
        const char* p = c_.current();
        c_.seekChar('<');
        const char* end = c_.current();
        bool atLt = !c_.atEnd();
        c_.advance(1);
        while (end > p && isWhitespace(end[-1])) --end;
        if (end > p) {
            int32_t n = static_cast<int32_t>(end - p);
            StringBuffer* content = current_->ContentBuffer();
            if (content == nullptr) {
                // The first run: made at its final size.
                decodeSpan(p, n, valueScratch_);
                current_->AppendContent(p, n);
            } else {
                if (content->getSize() > 0) content->appendChar(' ');
                // Only the new run is decoded: the text already held is final.
                appendDecoded(*content, p, n);
            }
        }
        return atLt;
    }

    // Markup after '<'. Returns false when the parse ends.
    bool markup() {
        char m = c_.peek();
        c_.skipWhitespace();
        if (c_.atEnd()) return false;
        switch (m) {
            case '!':
                if (current_ && c_.startsWith("![CDATA[", 8)) {
                    cdataSection();
                    return true;
                }
                return bangMarkup();
            case '?':
                c_.advance(1);
                processingInstruction();
                return true;
            case '/':
                closingTag();
                return true;
            default:
                return startTag();
        }
    }

    // A CDATA section, wherever it stands in the content: its bytes are
    // appended unchanged, with no separator, so adjacent sections join. Text
    // after "]]>" is read as an ordinary text run. The element's one CDATA
    // flag is set once any section was read, also when text runs share the
    // content: the whole content is then written back as CDATA.
    void cdataSection() {
        c_.advance(8);
        StringBuffer* content = current_->EnsureContentBuffer();
        int32_t start = c_.position();
        int32_t close = c_.find("]]>", 3, start);
        int32_t stop = close >= 0 ? close : c_.length();
        if (stop > start) content->appendN(c_.base() + start, stop - start);
        c_.setPosition(close >= 0 ? close + 3 : c_.length());
        current_->SetCdata(true);
    }

    bool bangMarkup() {
        if (c_.startsWith("!--", 3)) {
            if (c_.skipPast("-->")) return true;
            logError("Unclosed comment");
            return false;
        }
        if (c_.startsWithNoCase("!DOCTYPE", 8)) {
            prolog_.appendChar('<');
            int32_t depth = 1;
            if (!c_.captureDeclaration(depth, prolog_)) logError("Failed to parse DTD");
            prolog_.appendChar('\n');
            return true;
        }
        c_.seekChar('>');
        c_.advance(1);
        return true;
    }

    void processingInstruction() {
        if (c_.startsWithNoCase("xml ", 4)) {
            pseudoNode(&pendingDecl_);
        } else if (c_.startsWithNoCase("xml-stylesheet", 14)) {
            pseudoNode(&pendingStyle_);
        } else {
            // Kept as written, from "<?" through "?>".
            prolog_.append("<?");
            c_.capturePast("?>", prolog_);
            prolog_.appendChar('\n');
        }
    }

    void pseudoNode(TreeNode** slot) {
        const char* name = c_.current();
        int32_t nameLen = c_.spanUntilAnyOf(kTagStop);
        c_.skipWhitespace();
        if (c_.peek() == '/') c_.advance(1);
        if (*slot) TreeNode::Destroy(*slot);
        *slot = TreeNode::NewTree(name, nameLen);
        pseudoAttributes(*slot);
    }

    void pseudoAttributes(TreeNode* node) {
        c_.skipWhitespace();
        while (!c_.atEnd() && c_.peek() != '>') {
            const char* name = c_.current();
            int32_t nameLen = c_.spanUntilAnyOf(kPseudoNameStop);
            stripBytes(name, nameLen, kDropFromPseudoName, nameScratch_);
            c_.skipWhitespace();
            const char* value = "";
            int32_t valueLen = 0;
            if (c_.peek() == '=') {
                c_.advance(1);
                c_.skipWhitespace();
                if (c_.peek() == '"') c_.advance(1);
                if (c_.peek() == '\'') c_.advance(1);
                value = c_.current();
                valueLen = c_.spanUntilAnyOf(kPseudoValueStop);
                decodeSpan(value, valueLen, valueScratch_);
                if (c_.peek() == '"') c_.advance(1);
                if (c_.peek() == '\'') c_.advance(1);
            }
            if (nameLen > 0) node->EnsureAttributes()->Add(name, nameLen, value, valueLen);
            c_.skipWhitespace();
            if (c_.peek() == '?') {
                c_.advance(1);
                c_.skipWhitespace();
            }
        }
        c_.advance(1);
    }

    // Any closing tag closes the current element; its name is not compared.
    void closingTag() {
        if (c_.scanCloseTag()) {
            c_.advance(1);
        } else {
            logError("Error in closing tag");
            if (current_ && log_) log_->LogData("error_tag", current_->GetTag());
        }
        closeCurrent();
    }

    void closeCurrent() {
        if (!current_) return;
        if (current_->GetParent()) {
            current_ = current_->GetParent();
            return;
        }
        completeTopLevel(current_);
    }

    void completeTopLevel(TreeNode* node) {
        TreeInfo* tree = node->GetTree();
        if (pendingDecl_) tree->SetDeclaration(pendingDecl_);
        if (pendingStyle_) tree->SetStylesheet(pendingStyle_);
        pendingDecl_ = nullptr;
        pendingStyle_ = nullptr;
        if (prolog_.getSize() > 0) tree->SetProlog(new StringBuffer(prolog_));
        if (result_) TreeNode::Destroy(result_);
        result_ = node;
        current_ = nullptr;
    }

    bool startTag() {
        const char* const base = c_.base();
        const char* const end = base + c_.length();
        const char* tag = c_.current();
        const char* p = tag;
        while (p < end && !kTagStopOrDrop.has(static_cast<uint8_t>(*p))) ++p;
        int32_t tagLen = static_cast<int32_t>(p - tag);
        if (p < end && (*p == '>' || (*p == '/' && end - p >= 2 && p[1] == '>'))) {
            // The common tag with no attributes and nothing to drop.
            bool selfClosing = *p == '/';
            current_ = current_ ? TreeNode::AddChild(current_, tag, tagLen) : TreeNode::NewTree(tag, tagLen);
            c_.setPosition(static_cast<int32_t>(p - base) + (selfClosing ? 2 : 1));
            if (selfClosing) closeCurrent();
            return true;
        }
        c_.setPosition(static_cast<int32_t>(p - base));
        if (c_.peek() == '<' && !c_.atEnd()) {
            tagLen += c_.spanUntilAnyOf(kTagStop);
            stripBytes(tag, tagLen, kDropFromTag, nameScratch_);
        }
        if (c_.atEnd()) return false;
        bool selfClosing = false;
        c_.skipWhitespace();
        if (c_.peek() == '/') {
            selfClosing = true;
            c_.advance(1);
        }
        TreeNode* node = current_ ? TreeNode::AddChild(current_, tag, tagLen) : TreeNode::NewTree(tag, tagLen);
        current_ = node;
        c_.skipWhitespace();
        if (!c_.atEnd() && c_.peek() != '>') {
            // The attribute block is sized once, for the bytes up to the
            // first '>' (a bound for the common tag; Add grows it otherwise).
            const char* gt = static_cast<const char*>(
                std::memchr(c_.current(), '>', static_cast<size_t>(c_.remaining())));
            int32_t span = gt ? static_cast<int32_t>(gt - c_.current()) : c_.remaining();
            int32_t reserve = span < (1 << 20) ? span + 16 : 0;
            while (!c_.atEnd() && c_.peek() != '>') {
                attribute(node, reserve);
                c_.skipWhitespace();
                if (c_.peek() == '/') {
                    selfClosing = true;
                    c_.advance(1);
                    c_.skipWhitespace();
                }
            }
        }
        c_.advance(1);
        if (selfClosing) closeCurrent();
        return true;
    }

    void attribute(TreeNode* node, int32_t reserve) {
        const char* const base = c_.base();
        const char* const end = base + c_.length();
        const char* name = c_.current();
        const char* p = name;
        while (p < end && !kAttrNameStopOrDrop.has(static_cast<uint8_t>(*p))) ++p;
        int32_t nameLen = static_cast<int32_t>(p - name);
        c_.setPosition(static_cast<int32_t>(p - base));
        char stop = c_.peek();
        if ((stop == '"' || stop == '\'' || stop == '<') && !c_.atEnd()) {
            nameLen += c_.spanUntilAnyOf(kAttrNameStop);
            stripBytes(name, nameLen, kDropFromAttrName, nameScratch_);
        }
        c_.skipWhitespace();
        const char* value = "";
        int32_t valueLen = 0;
        if (c_.peek() == '=') {
            c_.advance(1);
            c_.skipWhitespace();
            char quote = c_.peek();
            if (quote == '"' || quote == '\'') {
                c_.advance(1);
                value = c_.current();
                bool amp = false;
                const char* q = scanQuoted(value, end, quote, amp);
                valueLen = static_cast<int32_t>(q - value);
                c_.setPosition(static_cast<int32_t>(q - base));
                c_.advance(1);
                if (amp) attrScratch_.decode(value, valueLen);
            } else {
                // An unquoted value ends at whitespace, '>' or "/>".
                value = c_.current();
                while (!c_.atEnd()) {
                    char ch = c_.peek();
                    if (isWhitespace(ch) || ch == '>' || (ch == '/' && c_.peekAt(1) == '>')) break;
                    c_.advance(1);
                }
                valueLen = static_cast<int32_t>(c_.current() - value);
                decodeSpan(value, valueLen, valueScratch_);
            }
        }
        if (nameLen > 0) {
            AttributeSet* attributes = node->Attributes();
            if (!attributes) {
                attributes = node->EnsureAttributes();
                attributes->ReserveBytes(reserve);
            }
            attributes->Add(name, nameLen, value, valueLen);
        }
    }

    TreeNode* finish() {
        if (result_) {
            // A second, unfinished top-level element is dropped.
            if (current_) TreeNode::Destroy(topOf(current_));
            current_ = nullptr;
        } else if (current_) {
            // Unclosed elements are closed implicitly.
            completeTopLevel(topOf(current_));
        }
        TreeNode* root = result_;
        result_ = nullptr;
        return root;
    }

    ParseEngine& c_;
    LogBase* log_;
    TreeNode* current_ = nullptr;
    TreeNode* pendingDecl_ = nullptr;
    TreeNode* pendingStyle_ = nullptr;
    TreeNode* result_ = nullptr;
    StringBuffer prolog_;
    StringBuffer nameScratch_;
    StringBuffer valueScratch_;
    DecodeScratch attrScratch_;
};

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
    ParseRun run(cursor, log);
    *outRoot = run.run();
    return true;
}

bool XmlParser::parseUtf8(const char* text, int32_t length, LogBase* log, TreeNode** outRoot) {
    ParseEngine cursor;
    cursor.borrow(text, length);
    return parseXml(cursor, log, outRoot);
}

bool XmlParser::convertAndParse(DataBuffer& data, LogBase* log, TreeNode** outRoot) {
    if (outRoot) *outRoot = nullptr;
    if (data.getSize() >= 0x7FFFFFF0u || !convertToUtf8(data) || data.getSize() >= 0x7FFFFFF0u) return false;
    parseUtf8(reinterpret_cast<const char*>(data.getData()), static_cast<int32_t>(data.getSize()), log, outRoot);
    return true;
}

bool XmlParser::loadXmlBytes(DataBuffer& data, LogBase* log, TreeNode** outRoot) {
    if (!convertAndParse(data, log, outRoot)) {
        if (log) log->LogError("Failed to convert XML data to utf-8 internal representation");
        return false;
    }
    return outRoot != nullptr;
}

bool XmlParser::finishFileLoad(DataBuffer& data, LogBase* log, TreeNode** outRoot) {
    if (!convertAndParse(data, log, outRoot) || outRoot == nullptr) return false;
    declareUtf8IfUnicode(*outRoot);
    return true;
}

void XmlParser::declareUtf8IfUnicode(TreeNode* root) {
    if (root == nullptr) return;
    StringBuffer encoding;
    if (!XmlSerializer::getDeclarationAttribute(root, "encoding", encoding)) return;
    if (encoding.equalsNoCase("utf-16") || encoding.equalsNoCase("ucs-2") || encoding.equalsNoCase("unicode"))
        XmlSerializer::setDeclarationAttribute(root, "encoding", "utf-8");
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
