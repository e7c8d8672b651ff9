// NodeCompression: compressed node content. The stored form is the
// line-broken base64 of the raw DEFLATE (level 6) of the node's content or
// of its subtree's XML; nothing else marks a node as compressed.
//
// The operations do the work of the component's members inside the context
// the member opened; messages go to `log`. The inflater's own messages stay
// in the store's log.
#pragma once

namespace tarvex {

class LogBase;
class TreeNode;

class NodeCompression {
public:
    // Replaces the content by its stored compressed form.
    static void compressNode(TreeNode* node, LogBase& log);
    // Replaces the content by the compressed XML of the node and everything
    // below it, turns the CDATA flag on and removes the children.
    static void compressSubtree(TreeNode* node, LogBase& log);
    // Restores compressed content. False (logged, content unchanged) when it
    // is not base64 or does not inflate.
    static bool decompressNode(TreeNode* node, LogBase& log);
    // Restores a compressed subtree: the node takes the parsed root's tag,
    // content, attributes and children. Text that does not parse changes
    // nothing and still succeeds.
    static bool decompressSubtree(TreeNode* node, LogBase& log);
};

}  // namespace tarvex
