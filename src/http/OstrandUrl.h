// OstrandUrl: the URL operations of the HTTP client. Stateless.
#pragma once

#include <cstdint>

namespace tarvex {

class LogBase;
class StringBuffer;

class OstrandUrl {
public:
    static constexpr int32_t kMaxUrlLen = 800;

    // Splits a URL into its parts. Empties every output and sets port to 80
    // (443 for https) first; false only for a null url. A bracketed IPv6 host
    // keeps its brackets.
    static bool crackUrl(const char* url, StringBuffer& host, int32_t& port, StringBuffer& user,
                         StringBuffer& password, StringBuffer& path, StringBuffer& query,
                         StringBuffer& fragment);

    // The checks a URL passes before any request: refused file extensions and
    // the length limit. Logs why and returns false on refusal.
    static bool admitUrl(const char* url, int32_t maxUrlLen, LogBase& log);

    // The URL a redirect to `location` leads to from `currentUrl`: absolute
    // locations are taken as they are, references are resolved against the
    // current URL as RFC 3986 section 5.2 describes. newUrl is left empty
    // when no URL can be formed.
    static void buildRedirectUrl(const char* currentUrl, const StringBuffer& location, StringBuffer& newUrl);
};

}  // namespace tarvex
