// HttpClient: one complete HTTP(S) exchange per call. GET follows up to four
// 301/302 redirects and retries unusable status lines (both share one
// counter); POST sends a text/xml body and takes whatever comes back.
// Connections are never reused: each request level opens and closes its own.
#pragma once

#include <chrono>
#include <cstdint>

#include "http/HttpResponseHeader.h"
#include "text/StringBuffer.h"

namespace tarvex {

class DataBuffer;
class HttpStream;
class LogBase;

class HttpClient {
public:
    static constexpr int32_t kMaxAttempt = 4;
    // The longest one call (redirects and retries included) may take.
    static constexpr uint32_t kOverallTimeoutSec = 300;

    HttpClient() = default;
    virtual ~HttpClient() = default;
    HttpClient(const HttpClient&) = delete;
    HttpClient& operator=(const HttpClient&) = delete;

    // GET: fills the response header and body; true when a response was read
    // (whatever its status).
    bool quickGet(const char* url, HttpResponseHeader& header, DataBuffer& body, LogBase& log);
    // POST of `bodyText` as text/xml (over TLS for https URLs).
    bool post(const char* url, const StringBuffer& bodyText, HttpResponseHeader& header, DataBuffer& body,
              LogBase& log);

    bool wasRedirected() const { return wasRedirected_; }
    const StringBuffer& finalUrl() const { return finalUrl_; }

    // Limits; the component keeps the defaults.
    void setConnectTimeout(uint32_t seconds) { connectTimeoutSec_ = seconds; }
    void setReadTimeout(uint32_t seconds) { readTimeoutSec_ = seconds; }
    void setOverallTimeout(uint32_t seconds) { overallTimeoutSec_ = seconds; }
    void setMaxContentLength(uint32_t bytes) { maxContentLength_ = bytes; }

private:
    using Clock = std::chrono::steady_clock;

    bool getPage(const char* url, HttpResponseHeader& header, DataBuffer& body, LogBase& log, int32_t attempt);
    bool followRedirect(const char* url, HttpResponseHeader& header, DataBuffer& body, LogBase& log,
                        int32_t attempt);
    // Reads the header and the body; logs "Failed to get response header".
    bool readResponse(HttpStream& stream, HttpResponseHeader& header, DataBuffer& received, DataBuffer& body,
                      LogBase& log, bool& statusUnusable);

    uint32_t maxContentLength_ = 0;
    int32_t maxUrlLen_ = 800;
    bool lastConnectionFailed_ = false;
    uint32_t connectTimeoutSec_ = 10;
    uint32_t readTimeoutSec_ = 20;
    uint32_t overallTimeoutSec_ = kOverallTimeoutSec;
    Clock::time_point deadline_{};
    StringBuffer userAgent_;
    bool wasRedirected_ = false;
    StringBuffer finalUrl_;
};

}  // namespace tarvex
