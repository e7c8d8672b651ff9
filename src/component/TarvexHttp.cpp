// CTarvex members that fetch a document over HTTP(S): HttpGet and HttpPost.
// Each call runs one complete exchange on a fresh client and returns a new
// object on the parsed response body.
#include "component/CTarvex.h"

#include "base/LogBase.h"
#include "http/HttpClient.h"
#include "text/DataBuffer.h"
#include "text/StringBuffer.h"
#include "tree/TreeNode.h"
#include "xml/XmlParser.h"
#include "xml/XmlSerializer.h"

namespace tarvex {
namespace {

// The URL as ANSI text, without surrounding blanks (0xA0 included).
StringBuffer urlArgument(BSTR url) {
    StringBuffer text = StringBuffer::fromBstrAnsi(url);
    text.trim();
    return text;
}

// HttpGet and HttpPost refuse a missing URL or out-pointer and an empty URL.
bool checkArguments(BSTR url, ITarvex** response, LogBase& log, StringBuffer& target) {
    if (url == nullptr || response == nullptr) {
        log.LogError("URL or response parameter is null");
        return false;
    }
    target = urlArgument(url);
    if (target.isEmpty()) {
        log.LogError("URL parameter is empty");
        return false;
    }
    return true;
}

}  // namespace

HRESULT CTarvex::HttpGet(BSTR url, ITarvex** response) {
    if (response) *response = nullptr;
    Context scope(log_, "HttpGet");
    StringBuffer target;
    if (!checkArguments(url, response, log_, target)) return S_OK;
    if (current_ == nullptr) return S_OK;
    HttpClient client;
    HttpResponseHeader header;
    DataBuffer body;
    if (!client.quickGet(target.getString(), header, body, log_)) return S_OK;
    *response = ParseResponseBody(body);
    return S_OK;
}

HRESULT CTarvex::HttpPost(BSTR url, ITarvex** response) {
    if (response) *response = nullptr;
    Context scope(log_, "HttpPost");
    StringBuffer target;
    if (!checkArguments(url, response, log_, target)) return S_OK;
    if (current_ == nullptr) return S_OK;
    StringBuffer xml;
    // Without the leading CR LF the trim below has nothing to move in front.
    XmlSerializer::serializeNode(current_, xml, 1);
    xml.trim();
    HttpClient client;
    HttpResponseHeader header;
    DataBuffer body;
    if (!client.post(target.getString(), xml, header, body, log_)) return S_OK;
    *response = ParseResponseBody(body);
    return S_OK;
}

ITarvex* CTarvex::ParseResponseBody(DataBuffer& body) {
    TreeNode* root = nullptr;
    // The body is not needed after the parse: the tree may build in its pages.
    if (!XmlParser::loadXmlBytes(body, &log_, &root, true) || root == nullptr) return nullptr;
    ITarvex* object = CreateResultObject(root);
    if (object == nullptr) {
        TreeNode::DestroyTree(root);
        LogCreateFailure();
    }
    return object;
}

}  // namespace tarvex
