#include "http/MimeHeader.h"

#include <cstring>

#include "text/StringBuffer.h"

namespace tarvex {
namespace {

bool sameNoCase(const std::string& a, const char* b) {
    size_t n = std::strlen(b);
    if (a.size() != n) return false;
    for (size_t i = 0; i < n; ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x + 32);
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y + 32);
        if (x != y) return false;
    }
    return true;
}

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string trimmed(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && isBlank(s[b])) ++b;
    while (e > b && isBlank(s[e - 1])) --e;
    return s.substr(b, e - b);
}

void eraseAll(std::string& s, const char* what) {
    size_t n = std::strlen(what);
    for (size_t at; (at = s.find(what)) != std::string::npos;) s.erase(at, n);
}

}  // namespace

void MimeHeader::setField(const char* name, const char* value) {
    for (size_t i = fields_.size(); i-- > 0;)
        if (sameNoCase(fields_[i].first, name)) fields_.erase(fields_.begin() + static_cast<ptrdiff_t>(i));
    std::string v(value ? value : "");
    if (!trimmed(v).empty()) fields_.emplace_back(name, v);
}

bool MimeHeader::hasField(const char* name) const {
    for (const auto& f : fields_)
        if (sameNoCase(f.first, name)) return true;
    return false;
}

bool MimeHeader::getField(const char* name, StringBuffer& value) const {
    value.clear();
    for (const auto& f : fields_) {
        if (sameNoCase(f.first, name)) {
            value.appendN(f.second.data(), static_cast<int32_t>(f.second.size()));
            return true;
        }
    }
    return false;
}

void MimeHeader::render(StringBuffer& out) const {
    std::string text;
    for (const auto& f : fields_) text += f.first + ": " + f.second + "\r\n";
    while (text.size() >= 2 && text[text.size() - 1] == '\n' && text[text.size() - 2] == '\r') text.resize(text.size() - 2);
    out.appendN(text.data(), static_cast<int32_t>(text.size()));
}

void MimeHeader::addParsed(const std::string& line) {
    size_t colon = line.find(':');
    if (colon == std::string::npos) return;
    std::string name = trimmed(line.substr(0, colon));
    for (char& c : name)
        if (c == ' ' || c == '<' || c == '>' || c == '"' || c == '\'') c = '-';
    size_t v = colon + 1;
    if (v < line.size() && (line[v] == ' ' || line[v] == '\t')) ++v;
    std::string value = trimmed(line.substr(v));
    eraseAll(value, "\r\n\t");
    eraseAll(value, "\r\n ");
    fields_.emplace_back(std::move(name), std::move(value));
}

void MimeHeader::keepLastContentType() {
    // One pass at the end: dropping earlier ones as each line came would
    // rescan the list per line, and a header of many such lines would cost
    // quadratic time.
    size_t last = fields_.size();
    for (size_t i = fields_.size(); i-- > 0;) {
        if (sameNoCase(fields_[i].first, "content-type")) {
            last = i;
            break;
        }
    }
    if (last == fields_.size()) return;
    size_t kept = 0;
    for (size_t i = 0; i < fields_.size(); ++i) {
        if (i != last && sameNoCase(fields_[i].first, "content-type")) continue;
        if (kept != i) fields_[kept] = std::move(fields_[i]);
        ++kept;
    }
    fields_.resize(kept);
}

void MimeHeader::parse(const char* text, size_t length) {
    std::string all(text, length);
    size_t end = all.find("\r\n\r\n");
    if (end == std::string::npos) end = all.find("\n\r\n");
    if (end == std::string::npos) end = all.find("\r\n\r");
    std::string block = end == std::string::npos ? all : all.substr(0, end);

    std::string current;
    bool collecting = false;
    size_t pos = 0;
    while (pos <= block.size()) {
        size_t eol = block.find("\r\n", pos);
        std::string line = block.substr(pos, eol == std::string::npos ? std::string::npos : eol - pos);
        pos = eol == std::string::npos ? block.size() + 1 : eol + 2;
        if (line.compare(0, 5, "From ") == 0) continue;
        if (!line.empty() && (line[0] == ' ' || line[0] == '\t')) {
            // A continuation line: one blank dropped, or all of them before
            // an encoded word.
            size_t first = line.find_first_not_of(" \t");
            if (first != std::string::npos && line.compare(first, 2, "=?") == 0)
                current += line.substr(first);
            else
                current += line.substr(1);
            continue;
        }
        if (collecting) addParsed(current);
        current = line;
        collecting = true;
    }
    if (collecting) addParsed(current);
    // A later Content-Type replaces an earlier one.
    keepLastContentType();
}

}  // namespace tarvex
