#include "log/ErrorLog.h"

#include "log/LogEntry2.h"
#include "text/StringBuffer.h"

namespace tarvex {

namespace {
const char kRootName[] = "OstrandLog";
}

ErrorLog::ErrorLog() { clear(); }

ErrorLog::~ErrorLog() {
    delete static_cast<LogEntry2*>(stack_.Get(0));
    stack_.Clear();
}

void ErrorLog::clear() {
    delete static_cast<LogEntry2*>(stack_.Get(0));
    stack_.Clear();
    LogEntry2* root = new LogEntry2();
    root->setContext(kRootName);
    stack_.Append(root);
}

const LogEntry2* ErrorLog::root() const { return static_cast<const LogEntry2*>(stack_.Get(0)); }

LogEntry2* ErrorLog::current() const { return static_cast<LogEntry2*>(stack_.Last()); }

bool ErrorLog::add(LogEntry2* entry) {
    if (current()->addChild(entry)) return true;
    delete entry;
    return false;
}

void ErrorLog::enterContext(const char* name) {
    LogEntry2* entry = new LogEntry2();
    entry->setContext(name);
    // Only a context the tree holds becomes current.
    if (add(entry)) stack_.Append(entry);
}

void ErrorLog::leaveContext() {
    if (stack_.Count() >= 2) stack_.Pop();
}

void ErrorLog::addMessage(char kind, const char* text) {
    if (!text) return;
    LogEntry2* entry = new LogEntry2();
    entry->setMessage(kind, text);
    add(entry);
}

bool ErrorLog::addNameValue(const char* name, const char* value) {
    StringBuffer normalised;
    normaliseName(name, normalised);
    if (normalised.getSize() == 0 || !value) return false;
    LogEntry2* entry = new LogEntry2();
    entry->setNameValue(normalised.getString(), value);
    add(entry);
    return true;
}

void ErrorLog::normaliseName(const char* name, StringBuffer& out) {
    out.setString(name);
    out.trim();
    out.replaceChar(' ', '_');
}

void ErrorLog::getText(StringBuffer& out) const { root()->renderText(out, 0); }

void ErrorLog::getHtml(StringBuffer& out) const { root()->renderHtml(out); }

void ErrorLog::getXml(StringBuffer& out) const { root()->renderXml(out); }

}  // namespace tarvex
