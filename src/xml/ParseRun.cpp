#include "xml/ParseRun.h"

#include <cstdio>
#include <cstring>

#include "base/LogBase.h"
#include "tree/AttributeSet.h"
#include "tree/TreeNode.h"
#include "text/StringBuffer.h"
#include "xml/ByteScan.h"
#include "xml/EntityDecoder.h"
#include "xml/ParseEngine.h"

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

inline bool isWhitespace(char c) { return ParseEngine::isSpace(c); }

TreeNode* topOf(TreeNode* node) {
    while (node->GetParent()) node = node->GetParent();
    return node;
}

// One parse over one cursor.
class ParseRun {
public:
    ParseRun(ParseEngine& cursor, LogBase* log);
    ~ParseRun();
    ParseRun(const ParseRun&) = delete;
    ParseRun& operator=(const ParseRun&) = delete;

    // The root found (possibly null); the caller owns it.
    TreeNode* run();

private:
    bool canLog();
    void logError(const char* message);
    // What content() left to do.
    enum class Next { End, Done, Markup };
    Next content();
    void appendRun(const char* p, int32_t n, const char* amp);
    bool markup();
    void cdataSection();
    bool bangMarkup();
    void processingInstruction();
    void pseudoNode(TreeNode** slot);
    void pseudoAttributes(TreeNode* node);
    void closingTag();
    void closeCurrent();
    void completeTopLevel(TreeNode* node);
    bool startTag();
    void attribute(TreeNode* node, int32_t reserve);
    bool quotedAttributes(TreeNode* node, int32_t reserve, bool& selfClosing);
    // Reads an attribute value after its '=' and the whitespace after that;
    // the bytes are decoded. `pseudo` selects the rule of the declaration's
    // pseudo-attributes.
    void value(bool pseudo, const char** text, int32_t* length);
    // After a name: skips whitespace and, when '=' follows, reads the value;
    // otherwise the value stays empty.
    void valueIfAny(bool pseudo, const char** text, int32_t* length);
    const char* strippedName(const char* name, int32_t* length, const ByteSet& stops, const ByteSet& drop);
    TreeNode* finish();

    ParseEngine& c_;
    LogBase* log_;
    int32_t logged_ = 0;
    int32_t dropped_ = 0;
    TreeNode* current_ = nullptr;
    TreeNode* pendingDecl_ = nullptr;
    TreeNode* pendingStyle_ = nullptr;
    TreeNode* result_ = nullptr;
    StringBuffer prolog_;
    int32_t prologForResult_ = 0;   // prolog bytes when the result was completed
    StringBuffer nameScratch_;
    EntityDecoder decoder_;
};

ParseRun::ParseRun(ParseEngine& cursor, LogBase* log)
    : c_(cursor), log_(log), prolog_(StringBuffer::withCapacity(2000)) {}

ParseRun::~ParseRun() {
    if (pendingDecl_) TreeNode::Destroy(pendingDecl_);
    if (pendingStyle_) TreeNode::Destroy(pendingStyle_);
    if (current_) TreeNode::Destroy(topOf(current_));
    if (result_) TreeNode::Destroy(result_);
}

TreeNode* ParseRun::run() {
    while (!c_.atEnd()) {
        // Between constructs nothing points into the text already read: the
        // tree being built may take its pages.
        if (c_.discardDue()) c_.discardPassed(current_ ? current_->GetTree()->Heap() : nullptr);
        if (current_) {
            const Next next = content();
            if (next == Next::End) break;
            if (next == Next::Done) continue;
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

// Whether one more entry fits this parse's share of the log.
bool ParseRun::canLog() {
    if (!log_) return false;
    if (logged_ < kMaxParseLogEntries) {
        ++logged_;
        return true;
    }
    ++dropped_;
    return false;
}

void ParseRun::logError(const char* message) {
    if (canLog()) log_->LogError(message);
}

// Content of the current element: a text run up to the next '<', then the
// markup after it. The run and the common closing tag are read with a local
// pointer, the position stored once. Markup other than a closing tag is left
// to the caller, the position just after its '<'.
ParseRun::Next ParseRun::content() {
    const char* const base = c_.base();
    const char* const end = base + c_.length();
    const char* p = c_.current();
    while (p < end && isWhitespace(*p)) ++p;
    if (p < end && *p != '<') {
        const char* amp;
        const char* lt = scanUntil(p, end, '<', amp);
        const char* last = lt;
        while (last > p && isWhitespace(last[-1])) --last;
        if (last > p) appendRun(p, static_cast<int32_t>(last - p), amp);
        p = lt;
    }
    if (p >= end) {
        c_.setPosition(c_.length());
        return Next::End;
    }
    ++p;   // past '<'
    if (p < end && *p == '/') {
        // Any closing tag closes the current element; its name is not compared.
        const char* q = scanTagEnd(p + 1, end);
        if (q < end && *q == '>') {
            c_.moveTo(q + 1);
            closeCurrent();
            return Next::Done;
        }
    }
    c_.moveTo(p);
    return Next::Markup;
}

// Adds a text run (n > 0 bytes, trimmed; `amp` its first '&' or null: an
// '&' is never among the trimmed blanks) to the current element's content.
void ParseRun::appendRun(const char* p, int32_t n, const char* amp) {
    StringBuffer* content = current_->ContentBuffer();
    if (content == nullptr) {
        // The first run: made at its final size.
        if (amp) decoder_.decode(p, n, amp);
        current_->AppendContent(p, n);
        return;
    }
    if (content->getSize() > 0) content->appendChar(' ');
    // Only the new run is decoded: the text already held is final.
    if (current_->IsCdata()) {
        EntityDecoder::appendCharacters(*content, p, n, true);
    } else {
        decoder_.append(*content, p, n);
    }
}

// Markup after '<'. Returns false when the parse ends.
bool ParseRun::markup() {
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

// A CDATA section, wherever it stands in the content: its bytes are appended
// unchanged, with no separator, so adjacent sections join. Text after "]]>"
// is read as an ordinary text run. Once a section was read the whole content
// is written back as one section, so the text that joins it is stored as the
// characters it denotes, references replaced.
void ParseRun::cdataSection() {
    c_.advance(8);
    StringBuffer* content = current_->EnsureContentBuffer();
    if (!current_->IsCdata() && content->getSize() > 0 &&
        std::memchr(content->getString(), '&', static_cast<size_t>(content->getSize()))) {
        StringBuffer characters;
        EntityDecoder::appendCharacters(characters, content->getString(), content->getSize(), false);
        content->clear();
        content->appendBuffer(characters);
    }
    int32_t start = c_.position();
    int32_t close = c_.find("]]>", 3, start);
    int32_t stop = close >= 0 ? close : c_.length();
    if (stop > start) content->appendN(c_.base() + start, stop - start);
    c_.setPosition(close >= 0 ? close + 3 : c_.length());
    current_->SetCdata(true);
}

bool ParseRun::bangMarkup() {
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

void ParseRun::processingInstruction() {
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

void ParseRun::pseudoNode(TreeNode** slot) {
    const char* name = c_.current();
    int32_t nameLen = c_.spanUntilAnyOf(kTagStop);
    c_.skipWhitespace();
    if (c_.peek() == '/') c_.advance(1);
    if (*slot) TreeNode::Destroy(*slot);
    *slot = TreeNode::NewTree(name, nameLen);
    pseudoAttributes(*slot);
}

void ParseRun::pseudoAttributes(TreeNode* node) {
    c_.skipWhitespace();
    while (!c_.atEnd() && c_.peek() != '>') {
        int32_t nameLen = 0;
        const char* name = strippedName(c_.current(), &nameLen, kPseudoNameStop, kDropFromPseudoName);
        const char* text = "";
        int32_t length = 0;
        valueIfAny(true, &text, &length);
        if (nameLen > 0) node->EnsureAttributes()->Add(name, nameLen, text, length);
        c_.skipWhitespace();
        if (c_.peek() == '?') {
            c_.advance(1);
            c_.skipWhitespace();
        }
    }
    c_.advance(1);
}

// Any closing tag closes the current element; its name is not compared.
void ParseRun::closingTag() {
    if (c_.scanCloseTag()) {
        c_.advance(1);
    } else {
        logError("Error in closing tag");
        if (current_ && canLog()) log_->LogData("error_tag", current_->GetTag());
    }
    closeCurrent();
}

void ParseRun::closeCurrent() {
    if (!current_) return;
    if (current_->GetParent()) {
        current_ = current_->GetParent();
        return;
    }
    completeTopLevel(current_);
}

void ParseRun::completeTopLevel(TreeNode* node) {
    TreeInfo* tree = node->GetTree();
    if (pendingDecl_) tree->SetDeclaration(pendingDecl_);
    if (pendingStyle_) tree->SetStylesheet(pendingStyle_);
    pendingDecl_ = nullptr;
    pendingStyle_ = nullptr;
    // The prolog text as it stands now is the result's; it is copied once,
    // when the parse ends.
    prologForResult_ = prolog_.getSize();
    if (result_) TreeNode::Destroy(result_);
    result_ = node;
    current_ = nullptr;
}

bool ParseRun::startTag() {
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
        c_.moveTo(p + (selfClosing ? 2 : 1));
        if (selfClosing) closeCurrent();
        return true;
    }
    c_.moveTo(p);
    if (c_.peek() == '<' && !c_.atEnd()) {
        c_.moveTo(tag);
        tag = strippedName(tag, &tagLen, kTagStop, kDropFromTag);
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
        // The attribute block is sized once, for the bytes up to the first
        // '>': a quoted pair takes at most the bytes it was written with (two
        // length bytes against '=' and the quotes), so this bounds the common
        // tag without slack; Add grows the block otherwise.
        const char* gt = findByte(c_.current(), c_.current() + c_.remaining(), '>');
        int32_t span = gt ? static_cast<int32_t>(gt - c_.current()) : c_.remaining();
        int32_t reserve = span < (1 << 20) ? span + 1 : 0;
        if (quotedAttributes(node, reserve, selfClosing)) {
            if (selfClosing) closeCurrent();
            return true;
        }
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

// The name at the position up to a byte of `stops`, without the bytes of
// `drop`; the position moves past it. Most names hold no such byte and are
// returned in place.
const char* ParseRun::strippedName(const char* name, int32_t* length, const ByteSet& stops, const ByteSet& drop) {
    int32_t n = c_.spanUntilAnyOf(stops);
    int32_t i = 0;
    while (i < n && !drop.has(static_cast<uint8_t>(name[i]))) ++i;
    if (i < n) {
        nameScratch_.clear();
        nameScratch_.appendN(name, i);
        for (; i < n; ++i) {
            if (!drop.has(static_cast<uint8_t>(name[i]))) nameScratch_.appendChar(name[i]);
        }
        name = nameScratch_.getString();
        n = nameScratch_.getSize();
    }
    *length = n;
    return name;
}

// The common attribute list, name="value" pairs up to '>' or "/>", read
// with a local pointer. Returns true when the tag was read to its end;
// otherwise the position is left at the first pair (or stray byte) it could
// not take, for the general loop.
bool ParseRun::quotedAttributes(TreeNode* node, int32_t reserve, bool& selfClosing) {
    const char* const base = c_.base();
    const char* const end = base + c_.length();
    const char* p = c_.current();
    for (;;) {
        while (p < end && isWhitespace(*p)) ++p;
        if (p >= end) break;
        if (*p == '>' || (*p == '/' && end - p >= 2 && p[1] == '>')) {
            selfClosing = selfClosing || *p == '/';
            c_.moveTo(p + (*p == '/' ? 2 : 1));
            return true;
        }
        const char* name = p;
        while (p < end && !kAttrNameStopOrDrop.has(static_cast<uint8_t>(*p))) ++p;
        const int32_t nameLen = static_cast<int32_t>(p - name);
        while (p < end && isWhitespace(*p)) ++p;
        if (nameLen == 0 || p >= end || *p != '=') {
            p = name;
            break;
        }
        ++p;
        while (p < end && isWhitespace(*p)) ++p;
        if (p >= end || (*p != '"' && *p != '\'')) {
            p = name;
            break;
        }
        const char quote = *p++;
        const char* amp;
        const char* q = scanUntil(p, end, quote, amp);
        if (q >= end) {
            p = name;
            break;
        }
        const char* text = p;
        int32_t length = static_cast<int32_t>(q - p);
        if (amp) decoder_.decode(text, length, amp);
        node->EnsureAttributes(reserve)->Add(name, nameLen, text, length);
        p = q + 1;
    }
    c_.moveTo(p);
    return false;
}

void ParseRun::attribute(TreeNode* node, int32_t reserve) {
    const char* const base = c_.base();
    const char* const end = base + c_.length();
    const char* name = c_.current();
    const char* p = name;
    while (p < end && !kAttrNameStopOrDrop.has(static_cast<uint8_t>(*p))) ++p;
    int32_t nameLen = static_cast<int32_t>(p - name);
    c_.moveTo(p);
    char stop = c_.peek();
    if ((stop == '"' || stop == '\'' || stop == '<') && !c_.atEnd()) {
        c_.moveTo(name);
        name = strippedName(name, &nameLen, kAttrNameStop, kDropFromAttrName);
    }
    const char* text = "";
    int32_t length = 0;
    valueIfAny(false, &text, &length);
    if (nameLen > 0) node->EnsureAttributes(reserve)->Add(name, nameLen, text, length);
}

[[gnu::always_inline]] inline void ParseRun::valueIfAny(bool pseudo, const char** text, int32_t* length) {
    c_.skipWhitespace();
    if (c_.peek() != '=') return;
    c_.advance(1);
    c_.skipWhitespace();
    value(pseudo, text, length);
}

// Inlined into both callers: the quoted value is the hot path of every tag.
[[gnu::always_inline]] inline void ParseRun::value(bool pseudo, const char** text, int32_t* length) {
    const char* const base = c_.base();
    const char* start;
    int32_t n;
    bool decode = true;           // whether the value may hold an entity
    const char* amp = nullptr;    // its first '&', when the scan saw it
    if (pseudo) {
        // Up to any quote or line end; quotes around it are stepped over.
        if (c_.peek() == '"') c_.advance(1);
        if (c_.peek() == '\'') c_.advance(1);
        start = c_.current();
        n = c_.spanUntilAnyOf(kPseudoValueStop);
        if (c_.peek() == '"') c_.advance(1);
        if (c_.peek() == '\'') c_.advance(1);
    } else if (char quote = c_.peek(); (quote == '"' || quote == '\'') && !c_.atEnd()) {
        c_.advance(1);
        start = c_.current();
        const char* q = scanUntil(start, base + c_.length(), quote, amp);
        decode = amp != nullptr;
        n = static_cast<int32_t>(q - start);
        c_.moveTo(q);
        c_.advance(1);
    } else {
        // An unquoted value ends at whitespace, '>' or "/>".
        start = c_.current();
        while (!c_.atEnd()) {
            char ch = c_.peek();
            if (isWhitespace(ch) || ch == '>' || (ch == '/' && c_.peekAt(1) == '>')) break;
            c_.advance(1);
        }
        n = static_cast<int32_t>(c_.current() - start);
    }
    if (decode) {
        if (amp) decoder_.decode(start, n, amp);
        else decoder_.decode(start, n);
    }
    *text = start;
    *length = n;
}

TreeNode* ParseRun::finish() {
    if (result_) {
        // A second, unfinished top-level element is dropped.
        if (current_) TreeNode::Destroy(topOf(current_));
        current_ = nullptr;
    } else if (current_) {
        // Unclosed elements are closed implicitly.
        completeTopLevel(topOf(current_));
    }
    if (result_ && prologForResult_ > 0)
        result_->GetTree()->SetProlog(new StringBuffer(prolog_.getString(), prologForResult_, 0));
    if (dropped_ > 0 && log_) {
        char line[96];
        std::snprintf(line, sizeof line, "%d more log entries of this parse were dropped", dropped_);
        log_->LogInfo(line);
    }
    TreeNode* root = result_;
    result_ = nullptr;
    return root;
}

}  // namespace

TreeNode* runParse(ParseEngine& cursor, LogBase* log) {
    ParseRun run(cursor, log);
    return run.run();
}

}  // namespace tarvex
