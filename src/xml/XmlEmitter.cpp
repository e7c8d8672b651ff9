#include "xml/XmlEmitter.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "base/ExtPtrArray.h"
#include "text/StringBuffer.h"
#include "text/XmlEscape.h"
#include "tree/AttributeSet.h"
#include "tree/TreeNode.h"
#include "xml/TargetCharset.h"
#include "charset/Utf8.h"

namespace tarvex {

void XmlEmitter::run(TreeNode* top, int32_t index) {
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
    while (!stack.empty() && failure_ == Failure::None) {
        Frame& f = stack.back();
        if (f.children && f.next < f.children->Count()) {
            TreeNode* child = static_cast<TreeNode*>(f.children->Elements()[f.next]);
            if (f.next++ == 0) w_.put("\r\n", 2);
            open(child);
            ExtPtrArray* grandchildren = child->Children();
            if (grandchildren && grandchildren->Count() > 0) {
                stack.push_back({child, grandchildren, 0});
            } else {
                // A leaf closes at once, without a frame of its own.
                close(child);
            }
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
