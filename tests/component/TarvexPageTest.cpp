// The page members against a fake page host: a scripting context handing out
// page objects and a request object serving a body.
#include <string>

#include "ComponentSupport.h"
#include "component/ScriptingContext.h"

using namespace tarvex_test;
using tarvex::IID_IScriptingContext;
using tarvex::IRequest;
using tarvex::IScriptingContext;

namespace {

// Reference counting shared by the fakes; IDispatch members are not used.
template <typename Base>
struct Counted : public Base {
    ULONG refs = 1;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        *ppv = nullptr;
        if (!IsEqualIID(riid, IID_IUnknown) && !accepts(riid)) return E_NOINTERFACE;
        *ppv = this;
        ++refs;
        return S_OK;
    }
    virtual bool accepts(REFIID) { return false; }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }
};

struct PageObject : Counted<IDispatch> {};

struct FakeRequest : Counted<IRequest> {
    std::string body;
    LONG countAsked = -1;
    HRESULT STDMETHODCALLTYPE get_Item(BSTR, IDispatch**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_QueryString(IUnknown**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Form(IUnknown**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Body(IUnknown**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_ServerVariables(IUnknown**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_ClientCertificate(IUnknown**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Cookies(IUnknown**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_TotalBytes(LONG* total) override {
        *total = static_cast<LONG>(body.size());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE BinaryRead(VARIANT* count, VARIANT* bytes) override {
        countAsked = count->vt == VT_I4 ? count->lVal : -2;
        bytes->vt = VT_ARRAY | VT_UI1;
        bytes->parray = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(body.size()));
        void* data = nullptr;
        SafeArrayAccessData(bytes->parray, &data);
        std::copy(body.begin(), body.end(), static_cast<char*>(data));
        SafeArrayUnaccessData(bytes->parray);
        return S_OK;
    }
};

struct FakeContext : Counted<IScriptingContext> {
    FakeRequest request;
    PageObject response, server, session, application;
    int failAt = -1;  // 0-based fetch that fails
    int fetches = 0;

    bool accepts(REFIID riid) override { return IsEqualIID(riid, IID_IScriptingContext); }
    HRESULT fetch(IUnknown* object, IUnknown** out) {
        if (fetches++ == failAt) return E_ACCESSDENIED;
        object->AddRef();
        *out = object;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_Request(IUnknown** out) override { return fetch(&request, out); }
    HRESULT STDMETHODCALLTYPE get_Response(IUnknown** out) override { return fetch(&response, out); }
    HRESULT STDMETHODCALLTYPE get_Server(IUnknown** out) override { return fetch(&server, out); }
    HRESULT STDMETHODCALLTYPE get_Session(IUnknown** out) override { return fetch(&session, out); }
    HRESULT STDMETHODCALLTYPE get_Application(IUnknown** out) override { return fetch(&application, out); }

    bool nothingHeld() const {
        return refs == 1 && request.refs == 1 && response.refs == 1 && server.refs == 1 && session.refs == 1 &&
               application.refs == 1;
    }
};

}  // namespace

TEST(TarvexPage, StartAndEndPage) {
    Tarvex t = newObject();
    EXPECT_EQ(t->OnStartPage(nullptr), E_POINTER);
    PageObject notAContext;
    EXPECT_EQ(t->OnStartPage(&notAContext), E_NOINTERFACE);

    FakeContext context;
    context.failAt = 2;  // the server object
    EXPECT_EQ(t->OnStartPage(&context), E_ACCESSDENIED);
    EXPECT_TRUE(context.nothingHeld());
    t->LoadRequest();  // no request held: nothing happens
    EXPECT_EQ(t.tag(), "unnamed");

    context.failAt = -1;
    context.fetches = 0;
    ASSERT_EQ(t->OnStartPage(&context), S_OK);
    EXPECT_EQ(context.refs, 1u);  // the context itself is not kept
    EXPECT_EQ(context.request.refs, 2u);
    EXPECT_EQ(context.application.refs, 2u);
    ASSERT_EQ(t->OnStartPage(&context), S_OK);  // a second start replaces the first
    EXPECT_EQ(context.session.refs, 2u);
    EXPECT_EQ(t->OnEndPage(), S_OK);
    EXPECT_TRUE(context.nothingHeld());

    // Objects still held at destruction are released then.
    ASSERT_EQ(t->OnStartPage(&context), S_OK);
    t = Tarvex();
    EXPECT_TRUE(context.nothingHeld());
}

TEST(TarvexPage, LoadRequestParsesTheBody) {
    FakeContext context;
    Tarvex t = newObject();
    ASSERT_EQ(t->OnStartPage(&context), S_OK);
    t->GetChild(3, nullptr);
    const std::string log = logText(t);

    context.request.body = "not xml";
    t->LoadRequest();
    EXPECT_EQ(t.tag(), "unnamed");
    EXPECT_EQ(logText(t), log);  // nothing recorded

    context.request.body = "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?><order id=\"7\">caf\xE9</order>";
    t->LoadRequest();
    EXPECT_EQ(context.request.countAsked, static_cast<LONG>(context.request.body.size()));
    EXPECT_EQ(t.tag(), "order");
    EXPECT_EQ(t.content(), "caf\xC3\xA9");
    EXPECT_EQ(t.encoding(), "iso-8859-1");
    EXPECT_EQ(logText(t), log);
    t->OnEndPage();
}
