// The forgiving XML parser: turns XML text into a tree of TreeNodes.
//
// It never rejects a document: it builds what it can, logs a few errors and
// returns the topmost element it found. Input bytes are first converted to
// UTF-8 (byte-order mark or the declaration's encoding decides the charset).
#pragma once

#include <cstdint>

#include "tarvex/automation.h"

namespace tarvex {

class DataBuffer;
class LogBase;
class ParseEngine;
class TreeNode;

class XmlParser {
public:
    // Rewrites the bytes in place as UTF-8. False for an empty block.
    static bool convertToUtf8(DataBuffer& data);

    // Parses the cursor's text from its position. Returns false only when
    // outRoot is null; otherwise sets *outRoot (possibly to null) and returns
    // true. The log may be null.
    static bool parseXml(ParseEngine& cursor, LogBase* log, TreeNode** outRoot);

    // Parses text that is already UTF-8.
    static bool parseUtf8(const char* text, int32_t length, LogBase* log, TreeNode** outRoot);

    // Encoding step, then parse. The block is rewritten as UTF-8. With
    // `consume` the caller is done with the block: the parse spends it (its
    // pages go to the tree) and leaves it empty.
    static bool loadXmlBytes(DataBuffer& data, LogBase* log, TreeNode** outRoot, bool consume = false);

    // Reads the whole file, converts, parses, then corrects a declared
    // "utf-16", "ucs-2" or "unicode" encoding to "utf-8".
    static bool loadXmlFile(const char* pathUtf8, LogBase* log, TreeNode** outRoot);
    static bool loadXmlFileWide(const OLECHAR* path, LogBase* log, TreeNode** outRoot);

    // A tree holds UTF-8 whatever its text declared: a declared "utf-16",
    // "ucs-2" or "unicode" encoding (any case) becomes "utf-8", so a later
    // save stays readable.
    static void declareUtf8IfUnicode(TreeNode* root);

private:
    // Converts the block to UTF-8 and parses it; false when it is too large
    // or empty.
    // With `consume`, the buffer is the parse's own to spend: the pages of
    // text already read are given back while the parse goes on.
    static bool convertAndParse(DataBuffer& data, LogBase* log, TreeNode** outRoot, bool consume = false);
    static bool finishFileLoad(DataBuffer& data, LogBase* log, TreeNode** outRoot);
};

}  // namespace tarvex
