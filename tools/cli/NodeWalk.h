// NodeWalk: visits every element of a document in document order (an element
// before its children, children in order) with one moving cursor, so a walk
// over n nodes costs O(n) member calls and makes no result objects.
#pragma once

#include <functional>
#include <string>

#include "tarvex/tarvex.hpp"

namespace tarvex_cli {

// What the visitor wants next.
enum class WalkStep { Descend, SkipChildren, Stop };

// Walks the tree of `doc` from its root. The visitor gets the cursor (on the
// node being visited; it must leave the cursor there) and the running count.
// Returns the number of nodes visited.
size_t walkDocument(const tarvex::Tarvex& doc, const std::function<WalkStep(tarvex::Tarvex&, size_t)>& visit);

// Compares the cursor's tag with `tag` (a BSTR made once by the caller);
// "*" matches every tag.
bool tagIs(const tarvex::Tarvex& node, BSTR tag);

}  // namespace tarvex_cli
