#include "xml/XmlEmitter.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "base/ExtPtrArray.h"
#include "base/ShortCopy.h"
#include "text/StringBuffer.h"
#include "text/XmlEscape.h"
#include "tree/AttributeSet.h"
#include "tree/TreeNode.h"
#include "xml/TargetCharset.h"
#include "charset/Utf8.h"

namespace tarvex {

namespace {

// (p, n) escaped for the context at d, which has room for the longest
// replacement of every byte; byte by byte, cheaper than finding runs for
// the few bytes of most values. An attribute value ends at a zero byte.
inline char* escapeInto(EscapeContext context, const char* p, size_t n, char* d) {
    const uint8_t* table = kEscapeTables.stop[static_cast<int>(context)];
    for (size_t i = 0; i < n; ++i) {
        const char c = p[i];
        if (!table[static_cast<uint8_t>(c)]) {
            *d++ = c;
            continue;
        }
        const char* text;
        size_t length;
        if (!XmlEscape::replacement(context, p + i, n - i, &text, &length)) break;
        for (size_t j = 0; j < length; ++j) d[j] = text[j];
        d += length;
    }
    return d;
}

}  // namespace

void XmlEmitter::run(TreeNode* top, int32_t index) {
    header(top);
    if (index == 0) w_.put("\r\n", 2);
    // An explicit stack instead of recursion: any depth is safe.
    struct Frame {
        TreeNode* node;
        TreeNode* const* children;
        int32_t count;
        int32_t next;
    };
    std::vector<Frame> stack;
    stack.reserve(64);
    open(top);
    stack.push_back({top, top->ChildSlots(), top->NumChildren(), 0});
    while (!stack.empty() && failure_ == Failure::None) {
        Frame& f = stack.back();
        if (f.next < f.count) {
            TreeNode* child = f.children[f.next];
            if (f.next++ == 0) w_.put("\r\n", 2);
            // A leaf closes at once, without a frame of its own.
            const bool leaf = child->NumChildren() == 0;
            if (!target_) {
                plainElement(child, leaf);
            } else {
                open(child);
                if (leaf) close(child);
            }
            if (!leaf) stack.push_back({child, child->ChildSlots(), child->NumChildren(), 0});
        } else {
            close(f.node);
            stack.pop_back();
        }
    }
    w_.finish();
}

void XmlEmitter::content(const TreeNode* node) {
    int32_t n = node->GetContentLength();
    if (n <= 0) return;
    const char* p = node->GetContent();
    if (!node->IsCdata()) {
        escaped(EscapeContext::Content, p, static_cast<size_t>(n));
    } else if (!target_ || encodable(p, static_cast<size_t>(n))) {
        cdata(p, static_cast<size_t>(n));
    } else {
        // A section cannot hold a reference: the characters are written as
        // text that means them, the others exactly as stored.
        escaped(EscapeContext::Literal, p, static_cast<size_t>(n));
    }
}

void XmlEmitter::attributes(const AttributeSet* set) {
    if (!set) return;
    // Through the staging area like everything else: most lists are a pair
    // or two, and handing the output buffer over for each would cost more.
    int32_t cursor = 0;
    const char* name = nullptr;
    const char* value = nullptr;
    int32_t nameLen = 0, valueLen = 0;
    while (set->NextPair(&cursor, &name, &nameLen, &value, &valueLen)) {
        w_.put(' ');
        this->name(name, static_cast<size_t>(nameLen));
        w_.put("=\"", 2);
        escaped(EscapeContext::Attribute, value, static_cast<size_t>(valueLen));
        w_.put('"');
    }
}

void XmlEmitter::header(TreeNode* node) {
    TreeInfo* tree = node->GetTree();
    if (!tree || tree->root != node) return;
    // No reader decodes a reference in these lines.
    inProlog_ = true;
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
    inProlog_ = false;
}

void XmlEmitter::tag(const TreeNode* node) {
    int32_t n = node->GetTagLength();
    if (n > 0) {
        name(node->GetTag(), static_cast<size_t>(n));
    } else {
        w_.put("nothing", 7);
    }
}

void XmlEmitter::open(TreeNode* node) {
    w_.put('<');
    tag(node);
    AttributeSet* set = node->Attributes();
    if (set && set->Count() > 0) attributes(set);
    w_.put('>');
    content(node);
}

// Without a target charset nothing can fail and only the escape stops need
// a look: a start tag (a whole element for a leaf) of short pieces goes
// straight into the output in a few steps. Long pieces and CDATA sections
// take the general path.
void XmlEmitter::plainElement(TreeNode* node, bool leaf) {
    const size_t tagLen = static_cast<size_t>(node->GetTagLength());
    const size_t contentLen = static_cast<size_t>(node->GetContentLength());
    if (tagLen == 0 || tagLen > kShortText || contentLen > kShortText || (contentLen > 0 && node->IsCdata())) {
        open(node);
        if (leaf) close(node);
        return;
    }
    const char* tag = node->GetTag();
    char* d = w_.room(tagLen + 1);
    *d++ = '<';
    d = copyShort(d, tag, tagLen);
    if (const AttributeSet* set = node->Attributes()) {
        int32_t cursor = 0;
        const char* name = nullptr;
        const char* value = nullptr;
        int32_t nameLen = 0, valueLen = 0;
        while (set->NextPair(&cursor, &name, &nameLen, &value, &valueLen)) {
            w_.commit(d);
            if (static_cast<size_t>(nameLen) > kShortText || static_cast<size_t>(valueLen) > kShortText) {
                w_.put(' ');
                w_.put(name, static_cast<size_t>(nameLen));
                w_.put("=\"", 2);
                escaped(EscapeContext::Attribute, value, static_cast<size_t>(valueLen));
                w_.put('"');
                d = w_.room(0);
                continue;
            }
            d = w_.room(static_cast<size_t>(nameLen) + static_cast<size_t>(valueLen) * kLongestReplacement + 4);
            *d++ = ' ';
            d = copyShort(d, name, static_cast<size_t>(nameLen));
            *d++ = '=';
            *d++ = '"';
            d = escapeInto(EscapeContext::Attribute, value, static_cast<size_t>(valueLen), d);
            *d++ = '"';
        }
    }
    w_.commit(d);
    d = w_.room(contentLen * kLongestReplacement + tagLen + 6);
    *d++ = '>';
    if (contentLen > 0) d = escapeInto(EscapeContext::Content, node->GetContent(), contentLen, d);
    if (leaf) {
        *d++ = '<';
        *d++ = '/';
        d = copyShort(d, tag, tagLen);
        std::memcpy(d, ">\r\n", 3);
        d += 3;
    }
    w_.commit(d);
}

void XmlEmitter::close(const TreeNode* node) {
    w_.put("</", 2);
    tag(node);
    w_.put(">\r\n", 3);
}

void XmlEmitter::reference(uint32_t cp) {
    char ref[16];
    int n = std::snprintf(ref, sizeof ref, "&#x%04X;", cp);
    w_.put(ref, static_cast<size_t>(n));
}

// The character at p[0] >= 0x80 with a target charset; returns the bytes
// consumed.
size_t XmlEmitter::highChar(const char* p, size_t n) {
    uint32_t cp = 0;
    size_t len = readUtf8(p, n, &cp);
    if (len == 0) {
        w_.put(p[0]);  // not UTF-8: the converter drops it
        return 1;
    }
    if (target_->canEncode(cp)) {
        w_.put(p, len);
    } else if (inProlog_) {
        if (failure_ == Failure::None) failure_ = Failure::Prolog;
        w_.put(p, len);
    } else {
        reference(cp);
    }
    return len;
}

// Whether the target holds every character of (p, n).
bool XmlEmitter::encodable(const char* p, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        if (static_cast<uint8_t>(p[i]) < 0x80) continue;
        uint32_t cp = 0;
        size_t len = readUtf8(p + i, n - i, &cp);
        if (len == 0) continue;   // not UTF-8: the converter drops it
        if (!target_->canEncode(cp)) return false;
        i += len - 1;
    }
    return true;
}

// A name holding a byte that is not UTF-8, or a character the target
// lacks, cannot be written.
void XmlEmitter::name(const char* p, size_t n) {
    if (target_ && failure_ == Failure::None) {
        for (size_t i = 0; i < n; ++i) {
            if (static_cast<uint8_t>(p[i]) < 0x80) continue;
            uint32_t cp = 0;
            size_t len = readUtf8(p + i, n - i, &cp);
            if (len == 0 || !target_->canEncode(cp)) {
                failure_ = inProlog_ ? Failure::Prolog : Failure::Name;
                break;
            }
            i += len - 1;
        }
    }
    w_.put(p, n);
}

void XmlEmitter::escaped(EscapeContext context, const char* p, size_t n) {
    if (!target_ && n <= kShortText) {
        shortEscaped(context, p, n);
        return;
    }
    const bool high = target_ != nullptr;
    size_t i = 0;
    while (i < n) {
        size_t start = i;
        i = XmlEscape::cleanEnd(context, p, i, n, high);
        if (i > start) w_.put(p + start, i - start);
        if (i >= n) break;
        if (static_cast<uint8_t>(p[i]) >= 0x80) {
            i += highChar(p + i, n - i);
            continue;
        }
        const char* text;
        size_t length;
        if (!XmlEscape::replacement(context, p + i, n - i, &text, &length)) return;
        w_.put(text, length);
        ++i;
    }
}

void XmlEmitter::shortEscaped(EscapeContext context, const char* p, size_t n) {
    w_.commit(escapeInto(context, p, n, w_.room(n * kLongestReplacement)));
}

// One CDATA section; a "]]>" inside is split across two sections.
void XmlEmitter::cdata(const char* p, size_t n) {
    w_.put("<![CDATA[", 9);
    size_t i = 0;
    while (i < n) {
        const void* hit = std::memchr(p + i, ']', n - i);
        size_t stop = hit ? static_cast<size_t>(static_cast<const char*>(hit) - p) : n;
        if (stop > i) w_.put(p + i, stop - i);
        i = stop;
        if (i >= n) break;
        if (i + 2 < n && p[i + 1] == ']' && p[i + 2] == '>') {
            w_.put("]]]]><![CDATA[>", 15);
            i += 3;
        } else {
            w_.put(']');
            ++i;
        }
    }
    w_.put("]]>", 3);
}

void XmlEmitter::rawText(const char* p, size_t n) {
    if (target_ && failure_ == Failure::None && !encodable(p, n)) failure_ = Failure::Prolog;
    w_.put(p, n);
}

}  // namespace tarvex
