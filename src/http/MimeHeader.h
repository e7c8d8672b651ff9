// MimeHeader: an ordered list of header fields, as sent in a request or
// received in a response. Names compare ignoring ASCII case.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace tarvex {

class StringBuffer;

class MimeHeader {
public:
    // Removes every field of this name, then appends the field when the
    // value is not empty after trimming (so setting a field moves it last).
    void setField(const char* name, const char* value);
    bool hasField(const char* name) const;
    // The first field of this name; false when there is none.
    bool getField(const char* name, StringBuffer& value) const;
    size_t count() const { return fields_.size(); }
    const std::pair<std::string, std::string>& at(size_t i) const { return fields_[i]; }
    void clear() { fields_.clear(); }

    // Writes "name: value\r\n" per field, without the last line break.
    void render(StringBuffer& out) const;
    // Parses a field block (the text after a status line).
    void parse(const char* text, size_t length);

private:
    void addParsed(const std::string& line);
    void keepLastContentType();

    std::vector<std::pair<std::string, std::string>> fields_;
};

}  // namespace tarvex
