// CTarvex members for web pages: the page objects and the request body.
#include "component/CTarvex.h"

#include "component/ScriptingContext.h"
#include "text/DataBuffer.h"
#include "tree/TreeNode.h"
#include "xml/XmlParser.h"

namespace tarvex {

extern "C" const IID IID_IScriptingContext = {
    0xD97A6DA0, 0xA868, 0x11CF, {0x83, 0xAE, 0x00, 0xB0, 0xC9, 0x0C, 0x2B, 0xD8}};

namespace {
void releaseAndClear(IUnknown*& p) {
    if (p) p->Release();
    p = nullptr;
}
}  // namespace

void CTarvex::ReleasePageObjects() {
    releaseAndClear(request_);
    releaseAndClear(response_);
    releaseAndClear(server_);
    releaseAndClear(session_);
    releaseAndClear(application_);
}

HRESULT CTarvex::OnStartPage(IUnknown* piUnk) {
    if (piUnk == nullptr) return E_POINTER;
    void* p = nullptr;
    HRESULT hr = piUnk->QueryInterface(IID_IScriptingContext, &p);
    if (FAILED(hr)) return hr;
    if (p == nullptr) return E_NOINTERFACE;
    IScriptingContext* context = static_cast<IScriptingContext*>(p);

    // A second start without an end first lets go of the previous page.
    ReleasePageObjects();

    // Fetched in this order; a failure status means no object.
    using Fetch = HRESULT (STDMETHODCALLTYPE IScriptingContext::*)(IUnknown**);
    static const Fetch kFetches[5] = {&IScriptingContext::get_Request, &IScriptingContext::get_Response,
                                      &IScriptingContext::get_Server, &IScriptingContext::get_Session,
                                      &IScriptingContext::get_Application};
    IUnknown* objects[5] = {};
    for (int i = 0; i < 5; ++i) {
        hr = (context->*kFetches[i])(&objects[i]);
        if (FAILED(hr)) {
            objects[i] = nullptr;
            for (IUnknown*& object : objects) releaseAndClear(object);
            context->Release();
            return hr;
        }
    }
    request_ = objects[0];
    response_ = objects[1];
    server_ = objects[2];
    session_ = objects[3];
    application_ = objects[4];
    context->Release();
    return S_OK;
}

HRESULT CTarvex::OnEndPage() {
    ReleasePageObjects();
    return S_OK;
}

HRESULT CTarvex::LoadRequest() {
    if (request_ == nullptr) return S_OK;
    // The request object is used through its published table layout.
    IRequest* request = reinterpret_cast<IRequest*>(request_);
    LONG total = 0;
    request->get_TotalBytes(&total);

    VARIANT count;
    VariantInit(&count);
    count.vt = VT_I4;
    count.lVal = total;
    VARIANT body;
    VariantInit(&body);
    request->BinaryRead(&count, &body);

    DataBuffer bytes;
    bytes.appendVariant(&body);
    VariantClear(&body);
    VariantClear(&count);

    // Parsed without a log: nothing about the request is recorded.
    TreeNode* root = nullptr;
    if (XmlParser::loadXmlBytes(bytes, nullptr, &root) && root != nullptr) ReplaceCurrentNode(root);
    return S_OK;
}

}  // namespace tarvex
