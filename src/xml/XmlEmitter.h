// XmlEmitter: writes one subtree as XML text. With a target charset,
// characters the target lacks become character references where a reader
// decodes them (content and attribute values; a CDATA section that cannot
// hold one is written as escaped text instead), and the run fails where no
// reader would (names, the declaration, the stylesheet line, the prolog).
#pragma once

#include <cstddef>
#include <cstdint>

#include "text/XmlEscape.h"
#include "xml/OutputStage.h"

namespace tarvex {

class AttributeSet;
class StringBuffer;
class TargetCharset;
class TreeNode;

class XmlEmitter {
public:
    enum class Failure { None, Name, Prolog };

    XmlEmitter(StringBuffer& out, TargetCharset* target) : w_(out), target_(target) {}
    // Streams the output: `out` is the staging buffer, emptied into `sink`
    // as it fills; run() hands over the rest before it returns.
    XmlEmitter(StringBuffer& out, TargetCharset* target, ByteSink* sink) : w_(out, sink), target_(target) {}

    Failure failure() const { return failure_; }

    // The node's XML; index 0 puts a CR LF before it.
    void run(TreeNode* top, int32_t index);
    // The node's content, escaped or as a CDATA section.
    void content(const TreeNode* node);
    // Every pair as ` name="escaped value"`.
    void attributes(const AttributeSet* set);

private:
    void header(TreeNode* node);
    void tag(const TreeNode* node);
    void open(TreeNode* node);
    void plainElement(TreeNode* node, bool leaf);
    void close(const TreeNode* node);
    void reference(uint32_t cp);
    size_t highChar(const char* p, size_t n);
    bool encodable(const char* p, size_t n);
    void name(const char* p, size_t n);
    void escaped(EscapeContext context, const char* p, size_t n);
    // A short text, without a target charset.
    void shortEscaped(EscapeContext context, const char* p, size_t n);
    void cdata(const char* p, size_t n);
    void rawText(const char* p, size_t n);

    static constexpr size_t kLongestReplacement = 6;   // "&quot;"
    static constexpr size_t kShortText = 64;

    OutputStage w_;
    TargetCharset* target_;
    Failure failure_ = Failure::None;
    bool inProlog_ = false;   // unencodable characters fail the run here
};

}  // namespace tarvex
