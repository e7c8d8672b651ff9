// LogEntry2: one node of the call-log tree. A context ('C') owns its children;
// errors ('E'), infos ('I') and raw lines ('X') hold a text; name/value
// entries ('T') hold a name and a value. Names and texts are stored as given
// (UTF-8 by convention) and rendered byte for byte.
#pragma once

#include "log/OstrandObject.h"

namespace tarvex {

class ExtPtrArray;
class StringBuffer;

class LogEntry2 : public OstrandObject {
public:
    static constexpr char kContext = 'C';
    static constexpr char kError = 'E';
    static constexpr char kInfo = 'I';
    static constexpr char kRawLine = 'X';
    static constexpr char kNameValue = 'T';

    LogEntry2();
    ~LogEntry2() override;

    // Each fill first drops whatever the entry held.
    void setContext(const char* name);
    void setMessage(char kind, const char* text);
    void setNameValue(const char* name, const char* value);

    // Takes ownership of the child; only a context has children.
    bool addChild(LogEntry2* child);

    char kind() const { return kind_; }
    const StringBuffer* name() const { return name_; }
    const StringBuffer* text() const { return text_; }
    int32_t childCount() const;
    const LogEntry2* child(int32_t i) const;

    void renderText(StringBuffer& out, int depth) const;
    void renderHtml(StringBuffer& out) const;
    void renderXml(StringBuffer& out) const;

    // True when the XML rendering wraps this text in a CDATA section.
    static bool needsCdata(const StringBuffer* text);

private:
    void reset();

    ExtPtrArray* children_;
    char kind_;
    StringBuffer* name_;
    StringBuffer* text_;
};

}  // namespace tarvex
