#include "log/LogEntry2.h"

#include "text/StringBuffer.h"
#include "text/XmlEscape.h"
#include "base/ExtPtrArray.h"

namespace tarvex {

namespace {

const char kCdataOpen[] = "<![CDATA[";
const char kCdataClose[] = "]]>";

void appendIndent(StringBuffer& out, int depth) {
    if (depth > 0) out.appendCharN(' ', 2 * depth);
}

void appendHtmlEscaped(StringBuffer& out, const StringBuffer& text) {
    XmlEscape::append(EscapeContext::LogText, text.getString(), static_cast<size_t>(text.getSize()), out);
}

void appendXmlValue(StringBuffer& out, const StringBuffer& text) {
    if (LogEntry2::needsCdata(&text)) {
        out.appendN(kCdataOpen, sizeof kCdataOpen - 1);
        out.appendBuffer(text);
        out.appendN(kCdataClose, sizeof kCdataClose - 1);
    } else {
        out.appendBuffer(text);
    }
}

}  // namespace

LogEntry2::LogEntry2() : children_(nullptr), kind_(kInfo), name_(nullptr), text_(nullptr) {}

LogEntry2::~LogEntry2() { reset(); }

void LogEntry2::reset() {
    if (children_) {
        children_->DeleteAll<LogEntry2>();
        delete children_;
        children_ = nullptr;
    }
    delete name_;
    name_ = nullptr;
    delete text_;
    text_ = nullptr;
}

void LogEntry2::setContext(const char* name) {
    reset();
    kind_ = kContext;
    if (name) name_ = new StringBuffer(name);
    children_ = new ExtPtrArray();
}

void LogEntry2::setMessage(char kind, const char* text) {
    reset();
    kind_ = kind;
    if (text) text_ = new StringBuffer(text);
}

void LogEntry2::setNameValue(const char* name, const char* value) {
    reset();
    kind_ = kNameValue;
    if (name) name_ = new StringBuffer(name);
    if (value) text_ = new StringBuffer(value);
}

bool LogEntry2::addChild(LogEntry2* child) {
    if (!child || !children_) return false;
    children_->Append(child);
    return true;
}

int32_t LogEntry2::childCount() const { return children_ ? children_->Count() : 0; }

const LogEntry2* LogEntry2::child(int32_t i) const {
    return children_ ? static_cast<const LogEntry2*>(children_->Get(i)) : nullptr;
}

bool LogEntry2::needsCdata(const StringBuffer* text) {
    if (!text) return false;
    if (text->contains(kCdataOpen) && text->contains(kCdataClose)) return false;
    const char* p = text->getString();
    for (int32_t i = 0, n = text->getSize(); i < n; ++i) {
        char c = p[i];
        if (c == '\n' || c == '\t' || c == '&' || c == '>' || c == '<') return true;
    }
    return false;
}

void LogEntry2::renderText(StringBuffer& out, int depth) const {
    switch (kind_) {
    case kContext:
        if (!children_ || !name_) return;
        appendIndent(out, depth);
        out.appendBuffer(*name_);
        out.appendN(":\r\n", 3);
        for (int32_t i = 0; i < children_->Count(); ++i)
            static_cast<const LogEntry2*>(children_->Get(i))->renderText(out, depth + 1);
        return;
    case kNameValue:
        if (!name_ || !text_) return;
        appendIndent(out, depth);
        out.appendBuffer(*name_);
        out.appendN(": ", 2);
        out.appendBuffer(*text_);
        out.appendN("\r\n", 2);
        return;
    default:
        if (!text_) return;
        appendIndent(out, depth);
        out.appendBuffer(*text_);
        out.appendN("\r\n", 2);
        return;
    }
}

void LogEntry2::renderHtml(StringBuffer& out) const {
    switch (kind_) {
    case kContext:
        if (!children_ || !name_) return;
        out.appendBuffer(*name_);
        out.append(":<blockquote>\r\n");
        for (int32_t i = 0; i < children_->Count(); ++i)
            static_cast<const LogEntry2*>(children_->Get(i))->renderHtml(out);
        out.append("</blockquote>\r\n");
        return;
    case kNameValue:
        if (!name_ || !text_) return;
        out.appendBuffer(*name_);
        out.appendN(": ", 2);
        appendHtmlEscaped(out, *text_);
        out.append("<br>\r\n");
        return;
    default:
        if (!text_) return;
        appendHtmlEscaped(out, *text_);
        out.append("<br>\r\n");
        return;
    }
}

void LogEntry2::renderXml(StringBuffer& out) const {
    switch (kind_) {
    case kContext:
        if (!children_ || !name_) return;
        out.appendChar('<');
        out.appendBuffer(*name_);
        out.appendN(">\r\n", 3);
        for (int32_t i = 0; i < children_->Count(); ++i)
            static_cast<const LogEntry2*>(children_->Get(i))->renderXml(out);
        out.appendN("</", 2);
        out.appendBuffer(*name_);
        out.appendN(">\r\n", 3);
        return;
    case kNameValue:
        if (!name_ || !text_) return;
        out.appendChar('<');
        out.appendBuffer(*name_);
        out.appendChar('>');
        appendXmlValue(out, *text_);
        out.appendN("</", 2);
        out.appendBuffer(*name_);
        out.appendN(">\r\n", 3);
        return;
    case kError:
        if (!text_) return;
        out.append("<error>");
        appendXmlValue(out, *text_);
        out.append("</error>\r\n");
        return;
    case kInfo:
        if (!text_) return;
        out.append("<info>");
        appendXmlValue(out, *text_);
        out.append("</info>\r\n");
        return;
    case kRawLine:
        if (!text_) return;
        out.appendBuffer(*text_);
        out.appendN("\r\n", 2);
        return;
    default:
        return;
    }
}

}  // namespace tarvex
