// Walking, moving, creating, detaching and swapping nodes; searches and sorts
// through the interface.
#include <vector>

#include "ComponentSupport.h"

using namespace tarvex_test;

namespace {

LONG treeId(const Tarvex& t) {
    LONG id = 0;
    t->get_TreeId(&id);
    return id;
}

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

TEST(TarvexNavigation, ResultObjectsAndMovingMembers) {
    Tarvex doc = loaded("<r><a>1</a><b>2</b><c>3</c></r>");
    Tarvex b = doc.child(1);
    Tarvex prev;
    {
        ITarvex* raw = nullptr;
        b->PreviousSibling(&raw);
        prev = Tarvex(raw);
    }
    EXPECT_EQ(prev.tag(), "a");
    EXPECT_EQ(b.parent().tag(), "r");
    EXPECT_FALSE(doc.parent());
    EXPECT_EQ(logText(doc), oneContext("LoadXml"));  // a root's missing parent is not an error

    // The moving members move only when the target exists.
    LONG found = 9;
    b->NextSibling2(&found);
    EXPECT_EQ(found, 1);
    EXPECT_EQ(b.tag(), "c");
    b->NextSibling2(&found);
    EXPECT_EQ(found, 0);
    EXPECT_EQ(b.tag(), "c");
    b->GetChild2(0, &found);
    EXPECT_EQ(found, 0);
    b->GetParent2(nullptr);  // moves even without a place for the flag
    EXPECT_EQ(b.tag(), "r");
    b->LastChild2(&found);
    b->GetRoot2();
    EXPECT_EQ(b.tag(), "r");
    b->FindChild2(BstrArg(" b\r\n"), &found);
    EXPECT_EQ(found, 1);
    EXPECT_EQ(b.content(), "2");
    EXPECT_EQ(logText(b), oneContext("FindChild2"));

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
    doc->FindOrAddNewChild(BstrArg(" x "), &x2);
    Tarvex first(x1);
    Tarvex second(x2);
    first.setContent("same");
    EXPECT_EQ(second.content(), "same");
    EXPECT_EQ(doc.numChildren(), 2);
    EXPECT_EQ(logText(doc), oneContext("FindOrAddNewChild"));

    doc->NewChild2(BstrArg(""), BstrArg(""));
    EXPECT_EQ(childTags(doc), "item,x,,");
    Tarvex n = doc.newChild(" n ", " keep ");
    EXPECT_EQ(n.tag(), "n");
    EXPECT_EQ(n.content(), " keep ");
    EXPECT_EQ(treeId(n), treeId(doc));

    // UpdateChildContent does not trim the tag.
    doc.updateChildContent(" n", "v");
    EXPECT_EQ(doc.numChildren(), 5);
    doc.updateChildContent("n", "");
    EXPECT_EQ(n.content(), "");
    EXPECT_EQ(doc.childContent(" n"), "");
    EXPECT_EQ(doc.child(4).tag(), " n");
}

TEST(TarvexNavigation, ExtractingChildren) {
    Tarvex doc = loaded("<r><a/><b/></r>");
    ITarvex* raw = nullptr;
    doc->ExtractChildByIndex(0, &raw);
    Tarvex a(raw);
    ASSERT_TRUE(a);
    EXPECT_EQ(a.tag(), "a");
    EXPECT_FALSE(a.parent());
    EXPECT_NE(treeId(a), treeId(doc));
    EXPECT_EQ(childTags(doc), "b,");
    Tarvex b = doc.child(0);
    b->PreviousSibling(&raw);
    EXPECT_EQ(raw, nullptr);
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

TEST(TarvexNavigation, ClearAndRemoveFromTree) {
    Tarvex doc = loaded("<r><a>x</a></r>");
    Tarvex other = doc.child(0);
    const LONG oldId = treeId(doc);
    doc->Clear();
    EXPECT_EQ(doc.tag(), "unnamed");
    EXPECT_NE(treeId(doc), oldId);
    EXPECT_EQ(other.content(), "x");
    EXPECT_EQ(other.parent().tag(), "r");  // the old tree lives on for `other`

    other->RemoveFromTree();
    EXPECT_FALSE(other.parent());
    EXPECT_NE(treeId(other), oldId);
    other->RemoveFromTree();  // a root: nothing
    EXPECT_EQ(other.content(), "x");
}

TEST(TarvexNavigation, SwappingNodesAndTrees) {
    Tarvex left = loaded("<l k='1'>L<c1/></l>");
    Tarvex right = loaded("<r>R<c2/><c3/></r>");
    Tarvex c2 = right.child(0);
    left->SwapNode(right.get());
    EXPECT_EQ(left.tag(), "r");
    EXPECT_EQ(left.content(), "R");
    EXPECT_EQ(right.attr("k"), "1");
    EXPECT_EQ(childTags(left), "c1,");  // children stay

    left->SwapTree(right.get());
    EXPECT_EQ(childTags(left), "c2,c3,");
    EXPECT_EQ(c2.parent().tag(), "l");
    EXPECT_EQ(treeId(c2), treeId(left));
    right = Tarvex();  // c2 keeps its new tree alive through left's tree
    left = Tarvex();
    EXPECT_EQ(c2.root().childContent("c3"), "");

    // A node cannot swap children with its own descendant.
    Tarvex doc = loaded("<r><a><b/></a></r>");
    Tarvex a = doc.child(0);
    doc->SwapTree(a.get());
    EXPECT_EQ(logText(doc), oneContext("SwapTree", {"Cannot swap with an ancestor or descendant"}));
    EXPECT_NE(doc.getXml().find("\r\n<r>\r\n<a>\r\n<b></b>\r\n</a>\r\n</r>"), std::string::npos);
    doc->SwapNode(nullptr);
    EXPECT_EQ(logText(doc), oneContext("SwapNode", {"Parameter is NULL"}));
}

TEST(TarvexNavigation, AddChildTreeRefusesAncestorsWithoutChange) {
    Tarvex doc = loaded("<r><a><b/></a><c>t</c></r>");
    Tarvex a = doc.child(0);
    Tarvex b = a.child(0);
    const std::string before = doc.getXml();

    b->AddChildTree(a.get());  // a is b's parent
    EXPECT_EQ(logText(b), oneContext("AddChildTree", {"Cannot add an ancestor as a child"}));
    b->AddChildTree(doc.get());
    b->AddChildTree(b.get());
    EXPECT_EQ(doc.getXml(), before);
    EXPECT_EQ(a.parent().tag(), "r");

    // Moving a sibling's subtree, and a separate tree, under b.
    Tarvex c = doc.child(1);
    b->AddChildTree(c.get());
    EXPECT_EQ(c.parent().tag(), "b");
    Tarvex other = loaded("<o/>");
    b->AddChildTree(other.get());
    EXPECT_EQ(treeId(other), treeId(doc));
    EXPECT_EQ(childTags(b), "c,o,");
    EXPECT_EQ(childTags(doc), "a,");
    doc = Tarvex();
    a = Tarvex();
    b = Tarvex();
    EXPECT_EQ(other.root().tag(), "r");  // the adopted object keeps the whole tree
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

TEST(TarvexNavigation, SearchesWalkInLevelOrder) {
    Tarvex doc = loaded("<r><x n='1'><x n='3'>m</x></x><y/><x n='2'>m</x></r>");
    std::vector<std::string> order;
    Tarvex after;
    for (;;) {
        ITarvex* found = nullptr;
        doc->SearchForTag(after.get(), BstrArg(" x "), &found);
        if (!found) break;
        after = Tarvex(found);
        order.push_back(after.attr("n"));
    }
    EXPECT_EQ(order, (std::vector<std::string>{"1", "2", "3"}));

    ITarvex* found = nullptr;
    doc->SearchForAttribute(nullptr, BstrArg("x"), BstrArg("n"), BstrArg("3*"), &found);
    EXPECT_EQ(Tarvex(found).content(), "m");
    doc->SearchForContent(nullptr, BstrArg("x"), BstrArg("M"), &found);
    EXPECT_EQ(found, nullptr);
    doc->SearchAllForContent(nullptr, BstrArg("m"), &found);
    EXPECT_EQ(Tarvex(found).attr("n"), "2");
    EXPECT_EQ(logText(doc), oneContext("SearchAllForContent"));

    Tarvex first = doc.child(0);
    first->FindNextRecord(BstrArg("x"), BstrArg("m"), &found);
    EXPECT_EQ(Tarvex(found).attr("n"), "1");  // the record, not its child
    LONG match = 0;
    doc->ChildContentMatches(BstrArg("y"), BstrArg("*"), 1, &match);
    EXPECT_EQ(match, 0);  // y has no content at all

    Tarvex list = loaded("<l><i k='b'>2</i><i k='a'>10</i><i k='C'>9</i></l>");
    list->SortByAttribute(BstrArg(" k "), 1);
    EXPECT_EQ(list.child(0).attr("k"), "C");
    list->SortByContent(0);
    EXPECT_EQ(list.child(0).content(), "9");
    Tarvex last = list.child(2);
    ITarvex* next = nullptr;
    last->NextSibling(&next);
    EXPECT_EQ(next, nullptr);
    EXPECT_EQ(last.content(), "10");
}
