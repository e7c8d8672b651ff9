// Walking, moving, creating, detaching and swapping nodes; searches and sorts
// through the interface. Also what edits do to other objects pointing into
// the same trees, and null arguments.
#include <functional>
#include <vector>

#include "ComponentSupport.h"

using namespace tarvex_test;

TEST(TarvexNavigation, ParentsAndChildContent) {
    Tarvex doc = loaded("<r><a>1</a><b>2</b><c>3</c></r>");
    Tarvex b = doc.child(1);
    EXPECT_FALSE(doc.parent());
    EXPECT_EQ(logText(doc), oneContext("LoadXml"));  // a root's missing parent is not an error
    b->GetParent2(nullptr);  // moves even without a place for the flag
    EXPECT_EQ(b.tag(), "r");

    // GetChildContent: empty for no such child, null for a child without content.
    doc.newChild("e");
    EXPECT_TRUE(outText(doc, &ITarvex::GetChildContent, BstrArg("e")).isNull);
    const BstrResult none = outText(doc, &ITarvex::GetChildContent, BstrArg("zz"));
    EXPECT_TRUE(!none.isNull && none.text.empty());
    EXPECT_EQ(doc.childContent(" c "), "3");
}

TEST(TarvexNavigation, CreatingChildren) {
    Tarvex doc = loaded("<r><item/></r>");
    Tarvex first = outObject(doc, &ITarvex::FindOrAddNewChild, BstrArg("x"));
    Tarvex second = outObject(doc, &ITarvex::FindOrAddNewChild, BstrArg(" x "));  // found, not added again
    first.setContent("same");
    EXPECT_EQ(second.content(), "same");
    EXPECT_EQ(logText(doc), oneContext("FindOrAddNewChild"));

    doc->NewChild2(BstrArg(""), BstrArg(""));
    Tarvex n = doc.newChild(" n ", " keep ");
    EXPECT_EQ(children(doc), "item,x,,n,");
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
    EXPECT_EQ(outObject(records, &ITarvex::ExtractChildByName, BstrArg("item"), BstrArg(""), BstrArg("")).attr("k"), "1");
    // A grandchild.
    Tarvex item2 = outObject(records, &ITarvex::ExtractChildByName, BstrArg("item"), BstrArg(" k "), BstrArg("2"));
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

// The matching itself is TreeSearch's; here: tags and names are trimmed,
// patterns are not, objects go in as `after` and come back, and only the
// searches leave a log.
TEST(TarvexNavigation, SearchesThroughTheInterface) {
    Tarvex doc = loaded(
        "<r><p k='x1'>Apple</p><q><p k='y2' k='x9'>apricot</p><p k=''/><p>Avocado pie</p></q><s>apple</s></r>");
    // Every match of a search member, each passed back as `after`, as the values of `key` (or the contents).
    auto walk = [&doc](const std::string& key, auto member, const auto&... args) {
        std::string seen;
        Tarvex after;
        for (int guard = 0; guard < 50; ++guard) {
            Tarvex found = outObject(doc, member, after.get(), args...);
            if (!found) break;
            seen += (key.empty() ? found.content() : found.attr(key)) + ";";
            after = found;
        }
        return seen;
    };
    EXPECT_EQ(walk("k", &ITarvex::SearchForTag, BstrArg(" p\t")), "x1;y2;;;");
    EXPECT_EQ(logText(doc), oneContext("SearchForTag"));  // the last, failing call
    Tarvex elsewhere = loaded("<p/>");
    EXPECT_FALSE(outObject(doc, &ITarvex::SearchForTag, elsewhere.get(), BstrArg("p")));  // `after` in another tree
    EXPECT_EQ(walk("", &ITarvex::SearchForContent, BstrArg(" p "), BstrArg("*")), "Apple;apricot;;Avocado pie;");
    EXPECT_EQ(walk("", &ITarvex::SearchForContent, BstrArg("p"), BstrArg(" Apple")), "");
    EXPECT_EQ(walk("k", &ITarvex::SearchForAttribute, BstrArg("p"), BstrArg(" k\r\n"), BstrArg("x*")), "x1;y2;");
    EXPECT_EQ(walk("k", &ITarvex::SearchForAttribute, BstrArg("p"), BstrArg("k"), BstrArg("")), ";");
    EXPECT_EQ(logText(doc), oneContext("SearchForAttribute"));

    Tarvex list = loaded(
        "<list><rec i='0'><name>bob</name></rec><rec i='1'><id>1</id></rec>"
        "<rec i='2'><name>Alice</name><name>bob</name></rec><rec i='3'><name>bob</name></rec></list>");
    Tarvex rec0 = list.child(0);
    list.child(99);  // leaves a log that the silent members keep
    const std::string before = logText(list);
    EXPECT_EQ(outObject(rec0, &ITarvex::FindNextRecord, BstrArg(" name "), BstrArg("bob")).attr("i"), "0");
    EXPECT_EQ(outLong(list.child(2).child(0), &ITarvex::ContentMatches, BstrArg("a*"), 0), 1);
    EXPECT_EQ(outLong(rec0, &ITarvex::ChildContentMatches, BstrArg("name"), BstrArg("b*"), 1), 1);
    EXPECT_EQ(outLong(rec0, &ITarvex::ChildContentMatches, BstrArg("name "), BstrArg("b*"), 1), 0);  // tag not trimmed
    EXPECT_EQ(logText(list), before);
}

// The key order itself is ChildSort's; here: names are trimmed, objects stay
// on their nodes, and the sorts are silent and touch nothing but the order.
TEST(TarvexNavigation, SortsThroughTheInterface) {
    Tarvex tags = loaded("<r><b/><a/><C/></r>");
    Tarvex a = tags.child(1);
    tags->SortByTag(1);
    EXPECT_EQ(children(tags), "C,a,b,");
    EXPECT_EQ(outObject(a, &ITarvex::PreviousSibling).tag(), "C");
    Tarvex attrs = loaded("<r><e k='b'/><e/><e k='a'/><e k='B'/></r>");
    attrs->SortByAttribute(BstrArg(" k "), 1);
    EXPECT_EQ(children(attrs, "k"), ",B,a,b,");

    Tarvex people = loaded(
        "<p><rec i='1'><name lang='en'>bob</name></rec><rec i='2'><name>carol</name></rec>"
        "<rec i='3'><id/><name lang='de'>Alice</name></rec></p>");
    people->SortRecordsByContent(BstrArg(" name "), 1);
    EXPECT_EQ(children(people, "i"), "3,1,2,");
    people->SortRecordsByAttribute(BstrArg("name\t"), BstrArg(" lang"), 1);
    EXPECT_EQ(children(people, "i"), "2,3,1,");

    people.child(9);
    const std::string before = logText(people);
    const std::string xml = people.getXml();
    people->SortRecordsByContent(BstrArg("nothing-has-this"), 1);
    people->SortByAttribute(BstrArg(""), 1);
    EXPECT_EQ(people.getXml(), xml);
    EXPECT_EQ(logText(people), before);
}

TEST(TarvexNavigation, WalkingWithTheCursorMembers) {
    Tarvex doc = loaded("<order><item/><item/><total/><note/></order>");
    // The usual cursor loop: FirstChild2, then NextSibling2 while found.
    Tarvex cursor = newObject();
    cursor->AddChildTree(doc.get());
    EXPECT_EQ(outLong(cursor, &ITarvex::FirstChild2), 1);
    EXPECT_EQ(outLong(cursor, &ITarvex::FirstChild2), 1);  // now on the first item
    std::string tags = cursor.tag();
    while (outLong(cursor, &ITarvex::NextSibling2) == 1) tags += "," + cursor.tag();
    EXPECT_EQ(tags, "item,item,total,note");
    EXPECT_EQ(outLong(cursor, &ITarvex::GetChild2, 0), 0);
    EXPECT_EQ(cursor.tag(), "note");  // a failed move stays put
    EXPECT_EQ(outLong(cursor, &ITarvex::GetParent2), 1);
    EXPECT_EQ(cursor.tag(), "order");
    EXPECT_EQ(outLong(cursor, &ITarvex::FindChild2, BstrArg(" total\r\n")), 1);
    cursor->GetRoot2();
    EXPECT_EQ(cursor.tag(), "unnamed");
    EXPECT_EQ(doc.root().tag(), "unnamed");  // doc moved along with its node
}

TEST(TarvexNavigation, RemovedAndExtractedSubtreesLiveThroughTheirObjects) {
    Tarvex doc = loaded("<r><a><b>x</b></a><c><d>y</d></c><e/></r>");
    Tarvex a = doc.child(0);
    Tarvex b = a.child(0);
    const LONG oldId = treeId(doc);
    a->RemoveFromTree();
    EXPECT_NE(treeId(a), oldId);
    EXPECT_EQ(treeId(b), treeId(a));  // the whole subtree moved
    EXPECT_EQ(children(doc), "c,e,");
    a = Tarvex();
    EXPECT_EQ(b.root().getXml(), "\r\n<a>\r\n<b>x</b>\r\n</a>\r\n");
    b = Tarvex();  // the detached tree goes; the old one stays
    EXPECT_EQ(treeId(doc), oldId);

    Tarvex d = doc.child(0).child(0);
    Tarvex c = outObject(doc, &ITarvex::ExtractChildByIndex, 0);
    EXPECT_EQ(c.tag(), "c");
    EXPECT_FALSE(c.parent());
    EXPECT_EQ(treeId(d), treeId(c));
    EXPECT_EQ(doc.numChildren(), 1);
    c = Tarvex();
    doc = Tarvex();
    EXPECT_EQ(d.parent().tag(), "c");  // d alone keeps the extracted tree
    EXPECT_EQ(d.content(), "y");

    // ExtractChildByName can take the calling object's own node.
    Tarvex outer = loaded("<r><item k='1'><item k='2'/></item></r>");
    Tarvex item = outer.child(0);
    Tarvex taken = outObject(item, &ITarvex::ExtractChildByName, BstrArg("item"), BstrArg("k"), BstrArg("1"));
    EXPECT_EQ(treeId(taken), treeId(item));
    EXPECT_NE(treeId(outer), treeId(item));
    EXPECT_EQ(outer.numChildren(), 0);
    EXPECT_EQ(outObject(item, &ITarvex::ExtractChildByName, BstrArg(" item "), BstrArg(" k "), BstrArg("2")).attr("k"),
              "2");
    EXPECT_EQ(taken.numChildren(), 0);
    EXPECT_EQ(logText(item), oneContext("ExtractChildByName"));
}

TEST(TarvexNavigation, ClearAndAddChildTreeLeaveOtherObjectsWorking) {
    Tarvex doc = loaded("<r><a/></r>");
    Tarvex a = doc.child(0);
    const LONG oldId = treeId(a);
    doc->Clear();
    EXPECT_NE(treeId(doc), oldId);
    EXPECT_EQ(doc.getXml(), "\r\n<unnamed></unnamed>\r\n");
    Tarvex root = a.parent();  // the old tree lives on and can still be edited
    a->NewChild2(BstrArg("z"), BstrArg("1"));
    EXPECT_EQ(root.getXml(), "<?xml version=\"1.0\" encoding=\"utf-8\" ?>\r\n\r\n<r>\r\n<a>\r\n<z>1</z>\r\n</a>\r\n</r>\r\n");

    // A subtree of another tree moves in; its objects follow it into this tree.
    Tarvex source = loaded("<s><m><n>deep</n></m><keep/></s>");
    Tarvex m = source.child(0);
    Tarvex n = m.child(0);
    const LONG sourceId = treeId(source);
    a->AddChildTree(m.get());
    EXPECT_EQ(treeId(m), oldId);
    EXPECT_EQ(treeId(n), oldId);
    EXPECT_EQ(treeId(source), sourceId);
    EXPECT_EQ(children(source), "keep,");
    EXPECT_EQ(children(a), "z,m,");
    a = Tarvex();
    root = Tarvex();
    EXPECT_EQ(n.root().tag(), "r");  // n keeps the whole tree it joined
    m = Tarvex();
    EXPECT_EQ(n.parent().parent().child(0).content(), "1");
    EXPECT_EQ(source.getXml(), "<?xml version=\"1.0\" encoding=\"utf-8\" ?>\r\n\r\n<s>\r\n<keep></keep>\r\n</s>\r\n");
}

TEST(TarvexNavigation, SwapTreeAcrossTreesMovesObjectsWithTheChildren) {
    Tarvex left = loaded("<l k='1'>L<x>in-l</x></l>");
    Tarvex right = loaded("<r>R<y>in-r</y></r>");
    Tarvex x = left.child(0);
    Tarvex y = right.child(0);
    const LONG leftId = treeId(left);
    const LONG rightId = treeId(right);
    left->SwapTree(right.get());
    EXPECT_EQ(left.tag(), "r");
    EXPECT_EQ(left.content(), "R");
    EXPECT_EQ(right.attr("k"), "1");
    EXPECT_EQ(treeId(y), leftId);
    EXPECT_EQ(treeId(x), rightId);
    left = Tarvex();
    right = Tarvex();
    // Each child keeps the tree it moved into.
    EXPECT_EQ(x.parent().tag(), "l");
    EXPECT_EQ(y.parent().tag(), "r");
    EXPECT_EQ(y.root().content(), "R");

    // SwapNode exchanges the data only; both nodes keep their children.
    Tarvex doc = loaded("<r><p a='1'>P<c1/></p><q>Q<c2/></q></r>");
    Tarvex p = doc.child(0);
    p->SwapNode(doc.child(1).get());
    EXPECT_EQ(children(doc), "q,p,");
    EXPECT_EQ(children(p), "c1,");
    EXPECT_EQ(p.content(), "Q");
    EXPECT_EQ(doc.child(1).attr("a"), "1");
}

// ---------------------------------------------------------------------------
// Null arguments through the interface: each member reports them in its own
// context, writes its failure value over whatever the caller left in the
// out-value, and changes nothing.

TEST(TarvexNullArguments, ReportedPerMemberAndNothingChanges) {
    Tarvex doc = loaded("<r><a k='1'>x</a><b/></r>");
    const std::string xml = doc.getXml();
    BstrArg a("a");
    ITarvex* const junk = reinterpret_cast<ITarvex*>(&doc);  // never a valid result
    struct Case {
        const char* context;
        std::function<bool(ITarvex*)> call;  // true when the out-value holds its failure value
    };
    const std::vector<Case> cases = {
        {"GetChildWithTag", [&](ITarvex* t) { ITarvex* o = junk; t->GetChildWithTag(nullptr, &o); return !o; }},
        {"FindChild", [&](ITarvex* t) { ITarvex* o = junk; t->FindChild(nullptr, &o); return !o; }},
        {"FindOrAddNewChild", [&](ITarvex* t) { ITarvex* o = junk; t->FindOrAddNewChild(nullptr, &o); return !o; }},
        {"ExtractChildByName",
         [&](ITarvex* t) { ITarvex* o = junk; t->ExtractChildByName(nullptr, a, a, &o); return !o; }},
        {"NumChildrenHavingTag", [&](ITarvex* t) { LONG n = 7; t->NumChildrenHavingTag(nullptr, &n); return n == 0; }},
        {"FindChild2", [&](ITarvex* t) { LONG n = 7; t->FindChild2(nullptr, &n); return n == 0; }},
        {"GetAttrValue", [&](ITarvex* t) { BSTR v = SysAllocString(OLESTR("j")); BSTR keep = v;
             t->GetAttrValue(nullptr, &v); SysFreeString(keep); return v == nullptr; }},
        {"HasAttrWithValue", [&](ITarvex* t) { LONG n = 7; t->HasAttrWithValue(nullptr, a, &n); return n == 0; }},
        {"RemoveAttribute", [&](ITarvex* t) { t->RemoveAttribute(nullptr); return true; }},
        {"SwapNode", [&](ITarvex* t) { t->SwapNode(nullptr); return true; }},
        {"SwapTree", [&](ITarvex* t) { t->SwapTree(nullptr); return true; }},
        {"AddChildTree", [&](ITarvex* t) { t->AddChildTree(nullptr); return true; }},
        {"AddAttribute", [&](ITarvex* t) { t->AddAttribute(nullptr, a); return true; }},
        {"DecodeEntities", [&](ITarvex* t) { BSTR v = nullptr; t->DecodeEntities(nullptr, &v); return v == nullptr; }},
        {"LoadXml", [&](ITarvex* t) { LONG n = 7; t->LoadXml(nullptr, &n); return n == 0; }},
        {"SaveXml", [&](ITarvex* t) { LONG n = 7; t->SaveXml(nullptr, &n); return n == 0; }},
        {"GetNthChildWithTag", [&](ITarvex* t) { ITarvex* o = junk; t->GetNthChildWithTag(nullptr, 0, &o); return !o; }},
    };
    Tarvex cursor = doc.child(0);
    for (const Case& c : cases) {
        EXPECT_TRUE(c.call(cursor.get())) << c.context;
        EXPECT_EQ(logText(cursor), oneContext(c.context, {"Parameter is NULL"})) << c.context;
        EXPECT_EQ(cursor.tag(), "a") << c.context;
    }
    EXPECT_EQ(doc.getXml(), xml);

    // NewChild2 adds its line to the log it finds, for either argument.
    cursor->NewChild2(nullptr, a);
    cursor->NewChild2(a, nullptr);
    EXPECT_EQ(logText(cursor),
              oneContext(cases.back().context, {"Parameter is NULL"}) + "  NewChild2:\r\n    Null Parameter\r\n" +
                  "  NewChild2:\r\n    Null Parameter\r\n");
    EXPECT_EQ(doc.getXml(), xml);
}
