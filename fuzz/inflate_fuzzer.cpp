// libFuzzer target: stored compressed content, as DecompressNode and
// DecompressSubtree read it, and the raw bytes straight into the inflater.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "codec/NodeCompression.h"
#include "codec/ZipDn.h"
#include "log/Logger.h"
#include "tree/TreeNode.h"

using namespace tarvex;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20)) return 0;
    ZipDn store;
    std::unique_ptr<ZipEntryDn> entry = store.AppendCompressed("x", data, static_cast<uint32_t>(size));

    for (int subtree = 0; subtree < 2; ++subtree) {
        TreeNode* node = TreeNode::NewTree("n");
        TreeNode::AddChild(node, "c", "child");
        node->SetContent(reinterpret_cast<const char*>(data), static_cast<int32_t>(size));
        Logger log;
        if (subtree)
            NodeCompression::decompressSubtree(node, log);
        else
            NodeCompression::decompressNode(node, log);
        TreeNode::Destroy(node);
    }
    return 0;
}
