#include "NodeWalk.h"

#include <cstring>

namespace tarvex_cli {

size_t walkDocument(const tarvex::Tarvex& doc, const std::function<WalkStep(tarvex::Tarvex&, size_t)>& visit) {
    tarvex::Tarvex cursor = doc.root();
    if (!cursor) return 0;
    size_t visited = 0;
    size_t depth = 0;
    WalkStep step = visit(cursor, ++visited);
    while (step != WalkStep::Stop) {
        LONG found = 0;
        if (step == WalkStep::Descend) cursor->FirstChild2(&found);
        if (found) {
            ++depth;
        } else {
            // Up until a node with a next sibling; done at the root.
            for (;;) {
                if (depth == 0) return visited;
                cursor->NextSibling2(&found);
                if (found) break;
                cursor->GetParent2(&found);
                --depth;
            }
        }
        step = visit(cursor, ++visited);
    }
    return visited;
}

bool tagIs(const tarvex::Tarvex& node, BSTR tag) {
    const UINT want = SysStringLen(tag);
    if (want == 1 && tag[0] == u'*') return true;
    BSTR have = nullptr;
    node->get_Tag(&have);
    const bool same = SysStringLen(have) == want && (want == 0 || std::memcmp(have, tag, want * sizeof(OLECHAR)) == 0);
    SysFreeString(have);
    return same;
}

}  // namespace tarvex_cli
