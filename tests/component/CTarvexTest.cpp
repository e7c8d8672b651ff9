// The component object through the class factory: identity, aggregation,
// lifetime of trees across objects, module unloading and the call shapes.
#include <functional>
#include <vector>

#include "ComponentSupport.h"

using namespace tarvex_test;

namespace {

// An outer object aggregating a component object. It answers IUnknown itself
// and hands the interfaces in `forwarded` (all others when empty) to the
// inner object.
struct Outer final : public IUnknown {
    ULONG refs = 1;
    IUnknown* inner = nullptr;
    std::vector<const IID*> forwarded;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        *ppv = nullptr;
        if (IsEqualIID(riid, IID_IUnknown)) {
            *ppv = static_cast<IUnknown*>(this);
            AddRef();
            return S_OK;
        }
        bool forward = forwarded.empty();
        for (const IID* iid : forwarded) forward = forward || IsEqualIID(*iid, riid);
        return forward && inner ? inner->QueryInterface(riid, ppv) : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
};

IClassFactory* factory() {
    IClassFactory* f = nullptr;
    EXPECT_EQ(DllGetClassObject(CLSID_Tarvex, IID_IClassFactory, reinterpret_cast<void**>(&f)), S_OK);
    return f;
}

}  // namespace

TEST(CTarvexModule, EntryPointsAndUnloading) {
    ASSERT_EQ(DllCanUnloadNow(), S_OK);
    void* p = reinterpret_cast<void*>(1);
    EXPECT_EQ(DllGetClassObject(IID_ITarvex, IID_IClassFactory, &p), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(DllGetClassObject(CLSID_Tarvex, IID_IDispatch, &p), E_NOINTERFACE);

    IClassFactory* f = factory();
    EXPECT_EQ(DllCanUnloadNow(), S_FALSE);  // a held factory keeps the module
    EXPECT_EQ(f->CreateInstance(nullptr, IID_IClassFactory, &p), E_NOINTERFACE);

    ITarvex* object = nullptr;
    ASSERT_EQ(f->CreateInstance(nullptr, IID_ITarvex, reinterpret_cast<void**>(&object)), S_OK);
    EXPECT_EQ(f->LockServer(TRUE), S_OK);
    f->Release();
    object->Release();
    EXPECT_EQ(DllCanUnloadNow(), S_FALSE);  // still locked
    f = factory();
    f->LockServer(FALSE);
    f->Release();
    EXPECT_EQ(DllCanUnloadNow(), S_OK);
}

TEST(CTarvexIdentity, QueryInterfaceAndErrorInfo) {
    Tarvex object = newObject();
    IUnknown* unk1 = nullptr;
    IUnknown* unk2 = nullptr;
    IDispatch* dispatch = nullptr;
    ISupportErrorInfo* errorInfo = nullptr;
    ASSERT_EQ(object->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unk1)), S_OK);
    ASSERT_EQ(object->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch)), S_OK);
    ASSERT_EQ(dispatch->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unk2)), S_OK);
    EXPECT_EQ(unk1, unk2);  // one identity whatever the route
    ASSERT_EQ(unk1->QueryInterface(IID_ISupportErrorInfo, reinterpret_cast<void**>(&errorInfo)), S_OK);
    EXPECT_EQ(errorInfo->InterfaceSupportsErrorInfo(IID_ITarvex), S_OK);
    EXPECT_EQ(errorInfo->InterfaceSupportsErrorInfo(IID_IDispatch), S_FALSE);
    void* p = reinterpret_cast<void*>(1);
    EXPECT_EQ(object->QueryInterface(IID_IClassFactory, &p), E_NOINTERFACE);
    EXPECT_EQ(p, nullptr);  // cleared on failure
    errorInfo->Release();
    unk2->Release();
    dispatch->Release();
    unk1->Release();
}

TEST(CTarvexIdentity, AggregationDelegatesToTheOuterObject) {
    IClassFactory* f = factory();
    Outer outer;
    void* p = reinterpret_cast<void*>(1);
    EXPECT_EQ(f->CreateInstance(&outer, IID_ITarvex, &p), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(p, nullptr);
    ASSERT_EQ(f->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&outer.inner)), S_OK);
    f->Release();
    EXPECT_EQ(outer.refs, 1u);  // the inner unknown's reference is not the outer's

    ITarvex* object = nullptr;
    ASSERT_EQ(outer.QueryInterface(IID_ITarvex, reinterpret_cast<void**>(&object)), S_OK);
    EXPECT_EQ(outer.refs, 2u);
    IUnknown* identity = nullptr;
    ASSERT_EQ(object->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
    EXPECT_EQ(identity, static_cast<IUnknown*>(&outer));
    identity->Release();

    LONG ok = 0;
    object->LoadXml(BstrArg("<a/>"), &ok);
    EXPECT_EQ(ok, 1);
    object->Release();
    EXPECT_EQ(outer.refs, 1u);
    EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
    outer.inner->Release();  // destroys the aggregated object
    EXPECT_EQ(DllCanUnloadNow(), S_OK);
}

// An aggregate answering only IUnknown, IDispatch and ITarvex: to the library
// such an object is foreign.
TEST(CTarvexIdentity, ForeignObjectsAreNotResolved) {
    Outer outer;
    outer.forwarded = {&IID_IDispatch, &IID_ITarvex};
    IClassFactory* f = factory();
    ASSERT_EQ(f->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&outer.inner)), S_OK);
    f->Release();
    ITarvex* foreign = nullptr;
    ASSERT_EQ(outer.QueryInterface(IID_ITarvex, reinterpret_cast<void**>(&foreign)), S_OK);
    Tarvex doc = loaded("<r><a/></r>");
    doc->SwapNode(foreign);
    EXPECT_EQ(logText(doc), oneContext("SwapNode", {"Object cannot be resolved"}));
    doc->AddChildTree(foreign);
    EXPECT_EQ(logText(doc), oneContext("AddChildTree", {"Object cannot be resolved"}));
    // No starting point: search from the start.
    EXPECT_EQ(outObject(doc, &ITarvex::SearchForTag, foreign, BstrArg("a")).tag(), "a");
    foreign->Release();
    outer.inner->Release();
}

TEST(CTarvexLifetime, TreesOutliveTheObjectsThatMadeThem) {
    // Every release order of three objects on one tree leaves the others fully
    // usable; the sanitizer build checks that the last release frees it all.
    const int orders[6][3] = {{0, 1, 2}, {0, 2, 1}, {1, 0, 2}, {1, 2, 0}, {2, 0, 1}, {2, 1, 0}};
    for (const auto& order : orders) {
        Tarvex objects[3];
        objects[0] = loaded("<r><a>1</a><b><c>2</c></b></r>");
        objects[1] = objects[0].child(1).child(0);  // c
        objects[2] = objects[0].root();             // a second object on the root
        ASSERT_TRUE(objects[1] && objects[2]);
        EXPECT_EQ(objects[1].content(), "2");
        for (int k = 0; k < 3; ++k) {
            objects[order[k]] = Tarvex();
            for (int i = 0; i < 3; ++i) {
                if (!objects[i]) continue;
                Tarvex root = objects[i].root();
                EXPECT_EQ(root.child(0).content(), "1");
                EXPECT_EQ(root.child(1).child(0).content(), "2");
            }
        }
    }
}

TEST(CTarvexCallShapes, ContextFailureOnlyAndSilent) {
    Tarvex doc = loaded("<r><a>1</a><a>2</a><b/></r>");
    EXPECT_EQ(logText(doc), oneContext("LoadXml"));  // context shape: cleared, one context

    ITarvex* child = nullptr;
    doc->GetChild(-1, &child);
    EXPECT_EQ(child, nullptr);
    const std::string failed = oneContext("GetChild", {"No child at this index", "index: -1"});
    EXPECT_EQ(logText(doc), failed);

    // Succeeding failure-only members and silent members leave the log alone.
    doc->GetChild(0, &child);
    ASSERT_NE(child, nullptr);
    child->Release();
    outText(doc, &ITarvex::get_Tag);
    LONG found = 0;
    doc->GetChild2(7, &found);
    EXPECT_EQ(found, 0);
    doc->GetChildWithTag(BstrArg("zz"), &child);  // not found: nothing logged
    EXPECT_EQ(child, nullptr);
    EXPECT_EQ(logText(doc), failed);

    ITarvex* node = nullptr;
    // GetNthChildWithTag logs its shortage under its former name.
    doc->GetNthChildWithTag(BstrArg(" a "), 2, &node);
    EXPECT_EQ(node, nullptr);
    EXPECT_EQ(logText(doc),
              oneContext("GetNthChildByTag", {"Not enough children have that tag.", "tag: a", "n_value: 2"}));
}

TEST(CTarvexCallShapes, NullOutPointersAreReportedNotWritten) {
    Tarvex doc = loaded("<r><a x='1'>t</a></r>");
    BstrArg a("a");
    VARIANT empty;
    VariantInit(&empty);
    struct Case {
        const char* context;  // null: silent member
        std::function<void(ITarvex*)> call;
    };
    const std::vector<Case> cases = {
        {"LoadXml", [&](ITarvex* t) { t->LoadXml(a, nullptr); }},
        {"LoadXmlFile", [&](ITarvex* t) { t->LoadXmlFile(a, nullptr); }},
        {"SaveXml", [&](ITarvex* t) { t->SaveXml(a, nullptr); }},
        {"LoadXmlV", [&](ITarvex* t) { t->LoadXmlV(empty, nullptr); }},
        {"GetXml", [&](ITarvex* t) { t->GetXml(nullptr); }},
        {"GetRoot", [&](ITarvex* t) { t->GetRoot(nullptr); }},
        {"GetChild", [&](ITarvex* t) { t->GetChild(0, nullptr); }},
        {"GetParent", [&](ITarvex* t) { t->GetParent(nullptr); }},
        {"FirstChild", [&](ITarvex* t) { t->FirstChild(nullptr); }},
        {"LastChild", [&](ITarvex* t) { t->LastChild(nullptr); }},
        {"NextSibling", [&](ITarvex* t) { t->NextSibling(nullptr); }},
        {"PreviousSibling", [&](ITarvex* t) { t->PreviousSibling(nullptr); }},
        {"GetChildWithTag", [&](ITarvex* t) { t->GetChildWithTag(a, nullptr); }},
        {"FindChild", [&](ITarvex* t) { t->FindChild(a, nullptr); }},
        {"FindOrAddNewChild", [&](ITarvex* t) { t->FindOrAddNewChild(a, nullptr); }},
        {"NewChild", [&](ITarvex* t) { t->NewChild(a, a, nullptr); }},
        {"ExtractChildByIndex", [&](ITarvex* t) { t->ExtractChildByIndex(0, nullptr); }},
        {"ExtractChildByName", [&](ITarvex* t) { t->ExtractChildByName(a, a, a, nullptr); }},
        {"NumChildrenHavingTag", [&](ITarvex* t) { t->NumChildrenHavingTag(a, nullptr); }},
        {"GetAttributeName", [&](ITarvex* t) { t->GetAttributeName(0, nullptr); }},
        {"GetAttributeValue", [&](ITarvex* t) { t->GetAttributeValue(0, nullptr); }},
        {"GetAttrValue", [&](ITarvex* t) { t->GetAttrValue(a, nullptr); }},
        {"HasAttrWithValue", [&](ITarvex* t) { t->HasAttrWithValue(a, a, nullptr); }},
        {"SearchForTag", [&](ITarvex* t) { t->SearchForTag(nullptr, a, nullptr); }},
        {"SearchForContent", [&](ITarvex* t) { t->SearchForContent(nullptr, a, a, nullptr); }},
        {"SearchAllForContent", [&](ITarvex* t) { t->SearchAllForContent(nullptr, a, nullptr); }},
        {"SearchForAttribute", [&](ITarvex* t) { t->SearchForAttribute(nullptr, a, a, a, nullptr); }},
        {"DecodeEntities", [&](ITarvex* t) { t->DecodeEntities(a, nullptr); }},
        {nullptr, [&](ITarvex* t) { t->get_Version(nullptr); }},
        {nullptr, [&](ITarvex* t) { t->get_Tag(nullptr); }},
        {nullptr, [&](ITarvex* t) { t->get_Content(nullptr); }},
        {nullptr, [&](ITarvex* t) { t->get_Encoding(nullptr); }},
        {nullptr, [&](ITarvex* t) { t->GetChildContent(a, nullptr); }},
        {nullptr, [&](ITarvex* t) { t->FindNextRecord(a, a, nullptr); }},
        {nullptr, [&](ITarvex* t) { t->ContentMatches(a, 1, nullptr); }},
        {nullptr, [&](ITarvex* t) { t->get_LastErrorText(nullptr); }},
        {nullptr, [&](ITarvex* t) { t->DecodeContent(nullptr); }},
    };
    for (const Case& c : cases) {
        doc->RemoveAllAttributes();  // silent: the log before is kept
        const std::string before = logText(doc);
        c.call(doc.get());
        if (c.context)
            EXPECT_EQ(logText(doc), oneContext(c.context, {"Parameter is NULL"})) << c.context;
        else
            EXPECT_EQ(logText(doc), before);
    }
    EXPECT_EQ(doc.getXml(), "<?xml version=\"1.0\" encoding=\"utf-8\" ?>\r\n\r\n<r>\r\n<a x=\"1\">t</a>\r\n</r>\r\n");
}
