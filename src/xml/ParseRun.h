// ParseRun: one parse over one cursor, from the first byte to the result.
// The class lives in its source file, so the compiler may inline its steps.
#pragma once

#include <cstdint>

namespace tarvex {

class LogBase;
class ParseEngine;
class TreeNode;

// The log entries one parse writes at most; one more line then says how many
// were dropped.
constexpr int32_t kMaxParseLogEntries = 1000;

// Parses the cursor's text from its position and returns the root found
// (possibly null), which the caller owns.
TreeNode* runParse(ParseEngine& cursor, LogBase* log);

}  // namespace tarvex
