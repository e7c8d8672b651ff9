// ErrorLog: the call-log tree and its context stack. Element 0 of the stack is
// the root context "OstrandLog"; the last element is the current context. The
// root owns the tree; the stack only refers to entries in it.
#pragma once

#include <cstdint>

#include "base/ExtPtrArray.h"

namespace tarvex {

class LogEntry2;
class StringBuffer;

class ErrorLog {
public:
    ErrorLog();
    ~ErrorLog();
    ErrorLog(const ErrorLog&) = delete;
    ErrorLog& operator=(const ErrorLog&) = delete;

    void clear();
    void enterContext(const char* name);
    void leaveContext();
    // Adds an error, info or raw-line entry; a null text adds nothing.
    void addMessage(char kind, const char* text);
    // Adds a name/value entry under the normalised name; false (and nothing
    // added) when the name normalises to empty or the value is null.
    bool addNameValue(const char* name, const char* value);

    void getText(StringBuffer& out) const;
    void getHtml(StringBuffer& out) const;
    void getXml(StringBuffer& out) const;

    int32_t depth() const { return stack_.Count(); }
    const LogEntry2* root() const;

    // Trims space, TAB, CR, LF and 0xA0 from both ends and turns the
    // remaining spaces into underscores.
    static void normaliseName(const char* name, StringBuffer& out);

private:
    LogEntry2* current() const;
    // Hands `entry` to the current context; deletes it (false) if refused.
    bool add(LogEntry2* entry);

    ExtPtrArray stack_;
};

}  // namespace tarvex
