// Walking, moving, creating, detaching and swapping nodes; searches and sorts
// through the interface.
#include "ComponentSupport.h"

using namespace tarvex_test;

namespace {

// The tags of a node's children, walked through FirstChild and NextSibling.
std::string childTags(const Tarvex& t) {
    std::string tags;
    ITarvex* raw = nullptr;
    t->FirstChild(&raw);
    for (Tarvex c(raw); c;) {
        tags += c.tag() + ",";
        raw = nullptr;
        c->NextSibling(&raw);
        c = Tarvex(raw);
    }
    return tags;
}

// Wraps a component object in an outer object that answers only IUnknown,
// IDispatch and ITarvex: to the library such an object is foreign.
struct Wrapper final : public IUnknown {
    ULONG refs = 1;
    IUnknown* inner = nullptr;
    Wrapper() {
        IClassFactory* f = nullptr;
        DllGetClassObject(CLSID_Tarvex, IID_IClassFactory, reinterpret_cast<void**>(&f));
        f->CreateInstance(this, IID_IUnknown, reinterpret_cast<void**>(&inner));
        f->Release();
    }
    ~Wrapper() { inner->Release(); }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        *ppv = nullptr;
        if (IsEqualIID(riid, IID_IUnknown)) {
            *ppv = this;
            AddRef();
            return S_OK;
        }
        if (IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, IID_ITarvex)) return inner->QueryInterface(riid, ppv);
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
};

}  // namespace

TEST(TarvexNavigation, ParentsAndChildContent) {
    Tarvex doc = loaded("<r><a>1</a><b>2</b><c>3</c></r>");
    Tarvex b = doc.child(1);
    EXPECT_FALSE(doc.parent());
    EXPECT_EQ(logText(doc), oneContext("LoadXml"));  // a root's missing parent is not an error
    b->GetParent2(nullptr);  // moves even without a place for the flag
    EXPECT_EQ(b.tag(), "r");

    // GetChildContent: empty for no such child, null for a child without content.
    doc.newChild("e");
    BSTR v = nullptr;
    doc->GetChildContent(BstrArg("e"), &v);
    EXPECT_TRUE(take(v).isNull);
    doc->GetChildContent(BstrArg("zz"), &v);
    BstrResult none = take(v);
    EXPECT_FALSE(none.isNull);
    EXPECT_EQ(none.text, "");
    EXPECT_EQ(doc.childContent(" c "), "3");
}

TEST(TarvexNavigation, CreatingChildren) {
    Tarvex doc = loaded("<r><item/></r>");
    ITarvex* x1 = nullptr;
    ITarvex* x2 = nullptr;
    doc->FindOrAddNewChild(BstrArg("x"), &x1);
    doc->FindOrAddNewChild(BstrArg(" x "), &x2);  // found, not added again
    Tarvex first(x1);
    Tarvex second(x2);
    first.setContent("same");
    EXPECT_EQ(second.content(), "same");
    EXPECT_EQ(logText(doc), oneContext("FindOrAddNewChild"));

    doc->NewChild2(BstrArg(""), BstrArg(""));
    Tarvex n = doc.newChild(" n ", " keep ");
    EXPECT_EQ(childTags(doc), "item,x,,n,");
    EXPECT_EQ(n.content(), " keep ");

    // UpdateChildContent does not trim the tag.
    doc.updateChildContent(" n", "v");
    EXPECT_EQ(doc.numChildren(), 5);
    EXPECT_EQ(n.content(), " keep ");
}

TEST(TarvexNavigation, ExtractingChildren) {
    Tarvex doc = loaded("<r><a/></r>");
    ITarvex* raw = nullptr;
    doc->ExtractChildByIndex(1, &raw);
    EXPECT_EQ(logText(doc), oneContext("ExtractChildByIndex", {"No child at this index", "index: 1"}));

    Tarvex records = loaded("<r><item k='1'/><box><item k='2'><z/></item></box></r>");
    records->ExtractChildByName(BstrArg("item"), BstrArg(""), BstrArg(""), &raw);
    Tarvex item1(raw);
    EXPECT_EQ(item1.attr("k"), "1");
    records->ExtractChildByName(BstrArg("item"), BstrArg(" k "), BstrArg("2"), &raw);  // a grandchild
    Tarvex item2(raw);
    ASSERT_TRUE(item2);
    EXPECT_FALSE(item2.parent());
    EXPECT_EQ(item2.numChildren(), 1);
    EXPECT_EQ(records.getXml().find("item"), std::string::npos);
    records->ExtractChildByName(BstrArg("item"), BstrArg("k"), BstrArg(""), &raw);
    EXPECT_EQ(raw, nullptr);
    EXPECT_EQ(logText(records), oneContext("ExtractChildByName", {"No child found with this tag", "tag: item",
                                                                  "attribute: k", "attribute_value_pattern: *"}));
}

// Neither edit may make a node its own descendant; both leave the tree as it was.
TEST(TarvexNavigation, SwapTreeAndAddChildTreeRefuseAncestors) {
    Tarvex doc = loaded("<r><a><b/></a><c>t</c></r>");
    Tarvex a = doc.child(0);
    Tarvex b = a.child(0);
    const std::string before = doc.getXml();
    doc->SwapTree(a.get());
    EXPECT_EQ(logText(doc), oneContext("SwapTree", {"Cannot swap with an ancestor or descendant"}));
    b->AddChildTree(a.get());  // a is b's parent
    EXPECT_EQ(logText(b), oneContext("AddChildTree", {"Cannot add an ancestor as a child"}));
    b->AddChildTree(doc.get());
    b->AddChildTree(b.get());
    EXPECT_EQ(doc.getXml(), before);
    EXPECT_EQ(a.parent().tag(), "r");
}

TEST(TarvexNavigation, ForeignObjectsAreNotResolved) {
    Wrapper wrapper;
    ITarvex* foreign = nullptr;
    ASSERT_EQ(wrapper.QueryInterface(IID_ITarvex, reinterpret_cast<void**>(&foreign)), S_OK);
    Tarvex doc = loaded("<r><a/></r>");
    doc->SwapNode(foreign);
    EXPECT_EQ(logText(doc), oneContext("SwapNode", {"Object cannot be resolved"}));
    doc->AddChildTree(foreign);
    EXPECT_EQ(logText(doc), oneContext("AddChildTree", {"Object cannot be resolved"}));
    ITarvex* found = nullptr;
    doc->SearchForTag(foreign, BstrArg("a"), &found);  // no starting point: search from the start
    Tarvex a(found);
    EXPECT_EQ(a.tag(), "a");
    foreign->Release();
}

