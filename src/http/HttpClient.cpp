#include "http/HttpClient.h"

#include <cstring>
#include <memory>

#include "base/LogBase.h"
#include "http/HttpRequest.h"
#include "http/OstrandSocket.h"
#include "http/OstrandUrl.h"
#include "http/ResponseReader.h"
#include "http/SChannel.h"
#include "text/DataBuffer.h"

namespace tarvex {
namespace {

const char kDefaultAgent[] = "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1)";

bool isHttps(const char* url) {
    const char* prefix = "https:";
    for (; *prefix; ++url, ++prefix) {
        char c = *url;
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
        if (c != *prefix) return false;
    }
    return true;
}

// The two kinds of connection a request level may open.
struct Connection {
    OstrandSocket socket;
    SChannel channel;
    bool tls = false;
    HttpStream& stream() { return tls ? static_cast<HttpStream&>(channel) : socket; }
    bool isConnected() const { return tls ? channel.isConnected() : socket.isConnected(); }
    void close() { stream().closeStream(); }

    // Connects by the scheme chosen in `tls`: a document for an https URL
    // goes over TLS, never in clear text.
    bool open(const char* host, int32_t port, uint32_t connectTimeoutSec, uint32_t readTimeoutSec,
              std::chrono::steady_clock::time_point deadline, LogBase& log) {
        if (tls) {
            channel.setConnectTimeout(connectTimeoutSec);
            channel.setReadTimeout(readTimeoutSec);
            channel.setDeadline(deadline);
            channel.setServerName(host);
            channel.setPort(port);
            return channel.connect(log);
        }
        bool lookupFailed = false;
        socket.setConnectTimeout(connectTimeoutSec);
        socket.setReadTimeout(readTimeoutSec * 1000u);
        socket.setDeadline(deadline);
        return socket.connect(host, port, log, lookupFailed);
    }
};

}  // namespace

bool HttpClient::quickGet(const char* url, HttpResponseHeader& header, DataBuffer& body, LogBase& log) {
    wasRedirected_ = false;
    finalUrl_.clear();
    deadline_ = Clock::now() + std::chrono::seconds(overallTimeoutSec_);
    return getPage(url, header, body, log, 0);
}

bool HttpClient::readResponse(HttpStream& stream, HttpResponseHeader& header, DataBuffer& received,
                              DataBuffer& body, LogBase& log, bool& statusUnusable) {
    statusUnusable = false;
    ResponseReader reader(stream);
    if (!reader.readHeaderBlock(received, log)) {
        stream.closeStream();
        log.LogError("Failed to get response header");
        return false;
    }
    header.parseHeader(received.getData(), received.getSize());
    if (header.statusCode() == 0) {
        statusUnusable = true;
        return false;
    }
    if (!reader.readBody(header, body, maxContentLength_, log)) {
        stream.closeStream();
        return false;
    }
    return true;
}

bool HttpClient::getPage(const char* url, HttpResponseHeader& header, DataBuffer& body, LogBase& log,
                         int32_t attempt) {
    lastConnectionFailed_ = false;
    if (!OstrandUrl::admitUrl(url, maxUrlLen_, log)) return false;

    StringBuffer host, user, password, path, query, fragment;
    int32_t port = 80;
    if (!OstrandUrl::crackUrl(url, host, port, user, password, path, query, fragment)) {
        log.LogError("Failed to parse URL");
        log.LogData("url", url ? url : "");
        return false;
    }
    host.toLowerCase();
    host.truncateAtChar('?');

    auto connection = std::make_unique<Connection>();
    connection->tls = isHttps(url);
    if (!connection->open(host.getString(), port, connectTimeoutSec_, readTimeoutSec_, deadline_, log)) {
        connection->close();
        return false;
    }
    if (!connection->isConnected()) {
        log.LogError("Socket not connected for HTTP GET");
        return false;
    }
    if (path.isEmpty()) path.setString("/");
    if (!connection->tls && !connection->socket.waitWritable(1, log)) {
        lastConnectionFailed_ = true;
        return false;
    }

    StringBuffer request;
    request.append("GET ");
    request.appendBuffer(path);
    if (!query.isEmpty()) {
        request.append("?");
        request.appendBuffer(query);
    }
    request.append(" HTTP/1.1\r\nAccept: */*\r\nUser-Agent: ");
    request.append(userAgent_.isEmpty() ? kDefaultAgent : userAgent_.getString());
    request.append("\r\nHost: ");
    request.appendBuffer(host);
    request.append("\r\nConnection: Keep-Alive\r\n\r\n");
    HttpStream& stream = connection->stream();
    if (!stream.sendAll(reinterpret_cast<const uint8_t*>(request.getString()),
                        static_cast<uint32_t>(request.getSize()), log)) {
        lastConnectionFailed_ = true;
        connection->close();
        return false;
    }

    DataBuffer received;
    bool statusUnusable = false;
    if (!readResponse(stream, header, received, body, log, statusUnusable)) {
        if (!statusUnusable) return false;
        log.LogError("Invalid header received");
        StringBuffer excerpt(reinterpret_cast<const char*>(received.getData()),
                             static_cast<int32_t>(received.getSize() > 500 ? 500 : received.getSize()), 0);
        log.LogData("received", excerpt.getString());
        connection->close();
        connection.reset();
        if (attempt <= kMaxAttempt) return getPage(url, header, body, log, attempt + 1);
        return false;
    }
    if (maxContentLength_ != 0 && body.getSize() > maxContentLength_) {
        log.LogError("Content length more than the maximum allowed...");
        log.LogDataLong("maxContentLength", static_cast<int32_t>(maxContentLength_));
        return false;
    }
    connection->close();
    connection.reset();
    if (header.statusCode() == 301 || header.statusCode() == 302)
        return followRedirect(url, header, body, log, attempt);
    return true;
}

bool HttpClient::followRedirect(const char* url, HttpResponseHeader& header, DataBuffer& body, LogBase& log,
                                int32_t attempt) {
    if (attempt >= kMaxAttempt) {
        log.LogError("Aborted to avoid infinite redirects.");
        return false;
    }
    StringBuffer location;
    header.getField("Location", location);
    location.trim();
    if (location.isEmpty()) {
        log.LogError("Got 301/302 redirect, but no new location.");
        return false;
    }
    StringBuffer newUrl;
    OstrandUrl::buildRedirectUrl(url, location, newUrl);
    if (newUrl.isEmpty()) {
        log.LogError("Failed to construct new URL");
        log.LogData("location", location.getString());
        log.LogData("url", url);
        return false;
    }
    header.clear();
    body.clear();
    wasRedirected_ = true;
    finalUrl_.setBuffer(newUrl);
    return getPage(newUrl.getString(), header, body, log, attempt + 1);
}

bool HttpClient::post(const char* url, const StringBuffer& bodyText, HttpResponseHeader& header, DataBuffer& body,
                      LogBase& log) {
    deadline_ = Clock::now() + std::chrono::seconds(overallTimeoutSec_);
    StringBuffer host, user, password, path, query, fragment;
    int32_t port = 80;
    OstrandUrl::crackUrl(url, host, port, user, password, path, query, fragment);
    if (port == 0) port = 80;

    // OpenConnection
    log.LogData("OpenConnection", host.getString());
    auto connection = std::make_unique<Connection>();
    connection->tls = isHttps(url);
    log.LogInfo("Connecting to HTTP server...");
    StringBuffer target(host);
    target.append(":");
    target.appendInt(port);
    log.LogData("ConnectingTo", target.getString());
    if (!connection->open(host.getString(), port, connectTimeoutSec_, readTimeoutSec_, deadline_, log)) {
        connection->close();
        return false;
    }

    HttpRequest request;
    request.setMethod(HttpRequest::kPost);
    request.setPath(path.getString());  // the query and fragment are not sent
    request.headers().setField("Host", host.getString());
    // The body is sent as text: it ends at the first NUL byte.
    const char* text = bodyText.getString();
    const uint32_t textSize = static_cast<uint32_t>(std::strlen(text));
    DataBuffer head;
    request.renderHead(head, static_cast<int32_t>(textSize));
    HttpStream& stream = connection->stream();
    if (!stream.sendAll(head.getData(), head.getSize(), log)) return false;
    if (!stream.sendAll(reinterpret_cast<const uint8_t*>(text), textSize, log)) return false;
    if (!stream.sendAll(reinterpret_cast<const uint8_t*>("\r\n"), 2, log)) return false;

    DataBuffer received;
    bool statusUnusable = false;
    if (!readResponse(stream, header, received, body, log, statusUnusable)) {
        if (statusUnusable) log.LogError("Received unexpected HTTP response");
        return false;
    }
    return true;
}

}  // namespace tarvex
