// ParseRun: one parse over one cursor, from the first byte to the result.
#pragma once

#include <cstdint>

#include "text/StringBuffer.h"
#include "xml/EntityDecoder.h"

namespace tarvex {

class ByteSet;
class LogBase;
class ParseEngine;
class TreeNode;

class ParseRun {
public:
    // The log entries one parse writes at most; one more line then says how
    // many were dropped.
    static constexpr int32_t kMaxLogEntries = 1000;

    ParseRun(ParseEngine& cursor, LogBase* log);
    ~ParseRun();
    ParseRun(const ParseRun&) = delete;
    ParseRun& operator=(const ParseRun&) = delete;

    // The root found (possibly null); the caller owns it.
    TreeNode* run();

private:
    bool canLog();
    void logError(const char* message);
    bool textRun();
    bool markup();
    void cdataSection();
    bool bangMarkup();
    void processingInstruction();
    void pseudoNode(TreeNode** slot);
    void pseudoAttributes(TreeNode* node);
    void closingTag();
    void closeCurrent();
    void completeTopLevel(TreeNode* node);
    bool startTag();
    void attribute(TreeNode* node, int32_t reserve);
    // Reads an attribute value after its '=' and the whitespace after that;
    // the bytes are decoded. `pseudo` selects the rule of the declaration's
    // pseudo-attributes.
    void value(bool pseudo, const char** text, int32_t* length);
    const char* strippedName(const char* name, int32_t* length, const ByteSet& stops, const ByteSet& drop);
    TreeNode* finish();

    ParseEngine& c_;
    LogBase* log_;
    int32_t logged_ = 0;
    int32_t dropped_ = 0;
    TreeNode* current_ = nullptr;
    TreeNode* pendingDecl_ = nullptr;
    TreeNode* pendingStyle_ = nullptr;
    TreeNode* result_ = nullptr;
    StringBuffer prolog_;
    int32_t prologForResult_ = 0;   // prolog bytes when the result was completed
    StringBuffer nameScratch_;
    EntityDecoder decoder_;
};

}  // namespace tarvex
