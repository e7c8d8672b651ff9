// libFuzzer target: any bytes through parse, serialize, re-parse and free,
// on both the UTF-8 route and the byte route (encoding step first).
#include <cstddef>
#include <cstdint>

#include "text/DataBuffer.h"
#include "text/StringBuffer.h"
#include "tree/TreeNode.h"
#include "xml/XmlParser.h"
#include "xml/XmlSerializer.h"

using namespace tarvex;

namespace {

void serializeAndReparse(TreeNode* root) {
    StringBuffer out;
    XmlSerializer::serializeNode(root, out, 0);
    TreeNode* again = nullptr;
    XmlParser::parseUtf8(out.getString(), out.getSize(), nullptr, &again);
    if (again) {
        StringBuffer second;
        XmlSerializer::serializeNode(again, second, 0);
        TreeNode::Destroy(again);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 24)) return 0;
    TreeNode* root = nullptr;
    XmlParser::parseUtf8(reinterpret_cast<const char*>(data), static_cast<int32_t>(size), nullptr, &root);
    if (root) {
        serializeAndReparse(root);
        TreeNode::Destroy(root);
    }

    DataBuffer bytes;
    bytes.append(data, static_cast<uint32_t>(size));
    root = nullptr;
    if (XmlParser::loadXmlBytes(bytes, nullptr, &root) && root) {
        DataBuffer saved;
        XmlSerializer::encodeForSave(root, saved, nullptr);
        TreeNode::Destroy(root);
    }
    return 0;
}
