// The XML serializer: writes a node and its subtree as XML text (UTF-8) into
// a StringBuffer, and saves a document in its declared encoding.
//
// Output is deterministic: no indentation, CR LF in fixed places, explicit
// closing tags. The walk is iterative, so any depth is safe.
#pragma once

#include <cstdint>

namespace tarvex {

class AttributeSet;
class DataBuffer;
class LogBase;
class StringBuffer;
class TreeNode;

class XmlSerializer {
public:
    // Appends the node's XML. Top-level callers pass index 0. When the node is
    // its tree's root the declaration, stylesheet and prolog lines come first.
    static void serializeNode(TreeNode* node, StringBuffer& out, int32_t index);

    // Appends the node's content, escaped (or as a CDATA section).
    static void escapeContent(const TreeNode* node, StringBuffer& out);

    // Appends every pair as ` name="escaped value"`.
    static void writeAttributes(const AttributeSet* attributes, StringBuffer& out);

    // The bytes a save writes: the declared encoding is read (and set to
    // "utf-8" when absent), the node serialized and converted into that
    // encoding, with a byte-order mark for the 16- and 32-bit forms.
    // Characters the encoding cannot hold are written as character
    // references in content and attribute values. False, with `out` empty,
    // when the encoding is unknown or a name cannot be encoded.
    static bool encodeForSave(TreeNode* node, DataBuffer& out, LogBase* log);

    // encodeForSave, then the whole-file write. Nothing is written on failure.
    static bool saveXml(TreeNode* node, const char* pathUtf8, LogBase* log);
};

}  // namespace tarvex
