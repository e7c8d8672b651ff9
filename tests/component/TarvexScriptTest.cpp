// Scripts driving searches, sorts and tree edits the way a page script does:
// every member called by name through IDispatch::Invoke, objects passed and
// returned as VT_DISPATCH. Also what edits do to other objects pointing into
// the same trees.
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "ComponentSupport.h"

using namespace tarvex_test;

namespace {

// One script value: a string, an integer, an object or Nothing.
class Value {
public:
    Value() { VariantInit(&v_); }
    Value(const char* text) : Value(std::string(text)) {}
    Value(const std::string& text) : Value() {
        v_.vt = VT_BSTR;
        v_.bstrVal = tarvex::toBstr(text);
    }
    Value(int n) : Value() {
        v_.vt = VT_I4;
        v_.lVal = n;
    }
    Value(const Value& other) : Value() { VariantCopy(&v_, &other.v_); }
    Value& operator=(const Value&) = delete;
    ~Value() { VariantClear(&v_); }

    static Value object(IDispatch* d) {
        Value v;
        v.v_.vt = VT_DISPATCH;
        v.v_.pdispVal = d;
        if (d) d->AddRef();
        return v;
    }

    VARIANT* raw() { return &v_; }
    const VARIANT& get() const { return v_; }

private:
    VARIANT v_;
};

// An object as a script holds it: an IDispatch reference, members by name.
class Obj {
public:
    Obj() = default;
    explicit Obj(const Tarvex& t) {
        if (t) t->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&d_));
    }
    // The object a call returned (Nothing gives an empty Obj).
    explicit Obj(const Value& v) {
        EXPECT_EQ(v.get().vt, VT_DISPATCH);
        if (v.get().vt == VT_DISPATCH && v.get().pdispVal) {
            d_ = v.get().pdispVal;
            d_->AddRef();
        }
    }
    Obj(const Obj& other) : d_(other.d_) {
        if (d_) d_->AddRef();
    }
    Obj(Obj&& other) noexcept : d_(std::exchange(other.d_, nullptr)) {}
    Obj& operator=(Obj other) {
        std::swap(d_, other.d_);
        return *this;
    }
    ~Obj() {
        if (d_) d_->Release();
    }
    explicit operator bool() const { return d_ != nullptr; }
    // Passed as an argument: the object, or Nothing.
    operator Value() const { return Value::object(d_); }

    // Arguments in declaration order; a put passes the value as DISPID_PROPERTYPUT.
    Value call(const char* name, std::vector<Value> args = {}, WORD flags = DISPATCH_METHOD | DISPATCH_PROPERTYGET) const {
        Value result;
        EXPECT_TRUE(d_) << name << " called on Nothing";
        if (!d_) return result;
        std::basic_string<OLECHAR> wide(name, name + std::char_traits<char>::length(name));
        LPOLESTR names[] = {&wide[0]};
        DISPID id = DISPID_UNKNOWN;
        EXPECT_EQ(d_->GetIDsOfNames(IID_NULL, names, 1, 0, &id), S_OK) << name;
        std::vector<VARIANT> reversed;
        for (auto it = args.rbegin(); it != args.rend(); ++it) reversed.push_back(*it->raw());
        DISPID put = DISPID_PROPERTYPUT;
        const bool isPut = flags == DISPATCH_PROPERTYPUT;
        DISPPARAMS params = {reversed.data(), isPut ? &put : nullptr, static_cast<UINT>(reversed.size()), isPut ? 1u : 0u};
        EXPECT_EQ(d_->Invoke(id, IID_NULL, 0, flags, &params, isPut ? nullptr : result.raw(), nullptr, nullptr), S_OK)
            << name;
        return result;  // `args` still owns the argument values
    }
    void put(const char* name, const Value& value) const { call(name, {value}, DISPATCH_PROPERTYPUT); }

    Obj obj(const char* name, std::vector<Value> args = {}) const { return Obj(call(name, std::move(args))); }
    std::string str(const char* name, std::vector<Value> args = {}) const {
        Value r = call(name, std::move(args));
        EXPECT_EQ(r.get().vt, VT_BSTR) << name;
        return r.get().vt == VT_BSTR ? tarvex::fromBstr(r.get().bstrVal) : std::string("?");
    }
    long num(const char* name, std::vector<Value> args = {}) const {
        Value r = call(name, std::move(args));
        EXPECT_EQ(r.get().vt, VT_I4) << name;
        return r.get().vt == VT_I4 ? r.get().lVal : -999;
    }

private:
    IDispatch* d_ = nullptr;
};

Obj script(const std::string& xml) { return Obj(loaded(xml)); }

std::string log(const Obj& o) { return o.str("LastErrorText"); }

// Every match of a search, passing each result back as `after`, joined by
// the values of attribute `key` (or the contents when `key` is empty).
template <typename... Args>
std::string walk(const Obj& from, const char* member, const char* key, Args... args) {
    std::string seen;
    Obj after;
    for (int guard = 0; guard < 50; ++guard) {
        Obj found = from.obj(member, {after, Value(args)...});
        if (!found) break;
        seen += std::string(key[0] ? found.str("GetAttrValue", {key}) : found.str("Content")) + ";";
        after = found;
    }
    return seen;
}

// The children of `o`, walked forward with NextSibling and backward with
// PreviousSibling from LastChild; both walks must agree.
std::string children(const Obj& o, const char* key = "") {
    auto label = [key](const Obj& c) { return key[0] ? c.str("GetAttrValue", {key}) : c.str("Tag"); };
    std::string forward;
    for (Obj c = o.obj("FirstChild"); c; c = c.obj("NextSibling")) forward += label(c) + ",";
    std::string backward;
    for (Obj c = o.obj("LastChild"); c; c = c.obj("PreviousSibling")) backward = label(c) + "," + backward;
    EXPECT_EQ(forward, backward);
    return forward;
}

}  // namespace

// ---------------------------------------------------------------------------
// Searches

// The matching itself is TreeSearch's; here: tags and names are trimmed,
// patterns are not, objects go in as `after` and come back, and only the
// searches leave a log.
TEST(TarvexScriptSearch, SearchesThroughTheInterface) {
    Obj doc = script(
        "<r><p k='x1'>Apple</p><q><p k='y2' k='x9'>apricot</p><p k=''/><p>Avocado pie</p></q><s>apple</s></r>");
    EXPECT_EQ(walk(doc, "SearchForTag", "k", " p\t"), "x1;y2;;;");
    EXPECT_EQ(log(doc), oneContext("SearchForTag"));  // the last, failing call
    EXPECT_FALSE(doc.obj("SearchForTag", {script("<p/>"), "p"}));  // `after` in another tree
    EXPECT_EQ(walk(doc, "SearchForContent", "", " p ", "*"), "Apple;apricot;;Avocado pie;");
    EXPECT_EQ(walk(doc, "SearchForContent", "", "p", " Apple"), "");
    EXPECT_EQ(walk(doc, "SearchForAttribute", "k", "p", " k\r\n", "x*"), "x1;y2;");
    EXPECT_EQ(walk(doc, "SearchForAttribute", "k", "p", "k", ""), ";");
    EXPECT_EQ(log(doc), oneContext("SearchForAttribute"));

    Obj list = script(
        "<list><rec i='0'><name>bob</name></rec><rec i='1'><id>1</id></rec>"
        "<rec i='2'><name>Alice</name><name>bob</name></rec><rec i='3'><name>bob</name></rec></list>");
    Obj rec0 = list.obj("GetChild", {0});
    list.obj("GetChild", {99});  // leaves a log that the silent members keep
    const std::string before = log(list);
    EXPECT_EQ(rec0.obj("FindNextRecord", {" name ", "bob"}).str("GetAttrValue", {"i"}), "0");
    EXPECT_EQ(list.obj("GetChild", {2}).obj("GetChild", {0}).num("ContentMatches", {"a*", 0}), 1);
    EXPECT_EQ(rec0.num("ChildContentMatches", {"name", "b*", 1}), 1);
    EXPECT_EQ(rec0.num("ChildContentMatches", {"name ", "b*", 1}), 0);  // tag not trimmed
    EXPECT_EQ(log(list), before);
}

// ---------------------------------------------------------------------------
// Sorts

// The key order itself is ChildSort's; here: names are trimmed, objects stay
// on their nodes, and the sorts are silent and touch nothing but the order.
TEST(TarvexScriptSort, SortsThroughTheInterface) {
    Obj tags = script("<r><b/><a/><C/></r>");
    Obj a = tags.obj("GetChild", {1});
    tags.call("SortByTag", {1});
    EXPECT_EQ(children(tags), "C,a,b,");
    EXPECT_EQ(a.obj("PreviousSibling").str("Tag"), "C");
    Obj attrs = script("<r><e k='b'/><e/><e k='a'/><e k='B'/></r>");
    attrs.call("SortByAttribute", {" k ", 1});
    EXPECT_EQ(children(attrs, "k"), ",B,a,b,");

    Obj people = script(
        "<p><rec i='1'><name lang='en'>bob</name></rec><rec i='2'><name>carol</name></rec>"
        "<rec i='3'><id/><name lang='de'>Alice</name></rec></p>");
    people.call("SortRecordsByContent", {" name ", 1});
    EXPECT_EQ(children(people, "i"), "3,1,2,");
    people.call("SortRecordsByAttribute", {"name\t", " lang", 1});
    EXPECT_EQ(children(people, "i"), "2,3,1,");

    people.obj("GetChild", {9});
    const std::string before = log(people);
    const std::string xml = people.str("GetXml");
    people.call("SortRecordsByContent", {"nothing-has-this", 1});
    people.call("SortByAttribute", {"", 1});
    EXPECT_EQ(people.str("GetXml"), xml);
    EXPECT_EQ(log(people), before);
}

// ---------------------------------------------------------------------------
// Editing

TEST(TarvexScriptEdit, BuildingAndWalkingADocument) {
    Obj doc(newObject());
    doc.put("Tag", "order");
    doc.call("NewChild2", {" item ", " a "});
    doc.call("NewChild2", {"item", "b"});
    Obj total = doc.obj("FindOrAddNewChild", {"total"});
    total.put("Content", "3");
    doc.call("UpdateChildContent", {"total", "4"});
    EXPECT_EQ(total.str("Content"), "4");
    Obj note = doc.obj("NewChild", {"note", ""});
    note.call("AddAttribute", {"by", "me"});
    EXPECT_EQ(doc.str("GetXml"),
              "\r\n<order>\r\n<item> a </item>\r\n<item>b</item>\r\n<total>4</total>\r\n<note by=\"me\"></note>\r\n"
              "</order>\r\n");

    // The usual cursor loop: FirstChild2, then NextSibling2 while found.
    Obj cursor(newObject());
    cursor.call("AddChildTree", {doc});
    EXPECT_EQ(cursor.num("FirstChild2"), 1);
    EXPECT_EQ(cursor.num("FirstChild2"), 1);  // now on the first item
    std::string tags = cursor.str("Tag");
    while (cursor.num("NextSibling2") == 1) tags += "," + cursor.str("Tag");
    EXPECT_EQ(tags, "item,item,total,note");
    EXPECT_EQ(cursor.num("GetChild2", {0}), 0);
    EXPECT_EQ(cursor.str("Tag"), "note");  // a failed move stays put
    EXPECT_EQ(cursor.num("GetParent2"), 1);
    EXPECT_EQ(cursor.str("Tag"), "order");
    EXPECT_EQ(cursor.num("FindChild2", {" total\r\n"}), 1);
    cursor.call("GetRoot2");
    EXPECT_EQ(cursor.str("Tag"), "unnamed");
    EXPECT_EQ(doc.obj("GetRoot").str("Tag"), "unnamed");  // doc moved along with its node
}

TEST(TarvexScriptEdit, RemovedAndExtractedSubtreesLiveThroughTheirObjects) {
    Obj doc = script("<r><a><b>x</b></a><c><d>y</d></c><e/></r>");
    Obj a = doc.obj("GetChild", {0});
    Obj b = a.obj("GetChild", {0});
    const long oldId = doc.num("TreeId");
    a.call("RemoveFromTree");
    EXPECT_NE(a.num("TreeId"), oldId);
    EXPECT_EQ(b.num("TreeId"), a.num("TreeId"));  // the whole subtree moved
    EXPECT_EQ(children(doc), "c,e,");
    a = Obj();
    EXPECT_EQ(b.obj("GetRoot").str("GetXml"), "\r\n<a>\r\n<b>x</b>\r\n</a>\r\n");
    b = Obj();  // the detached tree goes; the old one stays
    EXPECT_EQ(doc.num("TreeId"), oldId);

    Obj d = doc.obj("GetChild", {0}).obj("GetChild", {0});
    Obj c = doc.obj("ExtractChildByIndex", {0});
    EXPECT_EQ(c.str("Tag"), "c");
    EXPECT_FALSE(c.obj("GetParent"));
    EXPECT_EQ(d.num("TreeId"), c.num("TreeId"));
    EXPECT_EQ(doc.num("NumChildren"), 1);
    c = Obj();
    doc = Obj();
    EXPECT_EQ(d.obj("GetParent").str("Tag"), "c");  // d alone keeps the extracted tree
    EXPECT_EQ(d.str("Content"), "y");

    // ExtractChildByName can take the calling object's own node.
    Obj outer = script("<r><item k='1'><item k='2'/></item></r>");
    Obj item = outer.obj("GetChild", {0});
    Obj taken = item.obj("ExtractChildByName", {"item", "k", "1"});
    EXPECT_EQ(taken.num("TreeId"), item.num("TreeId"));
    EXPECT_NE(outer.num("TreeId"), item.num("TreeId"));
    EXPECT_EQ(outer.num("NumChildren"), 0);
    EXPECT_EQ(item.obj("ExtractChildByName", {" item ", " k ", "2"}).str("GetAttrValue", {"k"}), "2");
    EXPECT_EQ(taken.num("NumChildren"), 0);
    EXPECT_EQ(log(item), oneContext("ExtractChildByName"));
}

TEST(TarvexScriptEdit, ClearAndAddChildTreeLeaveOtherObjectsWorking) {
    Obj doc = script("<r><a/></r>");
    Obj a = doc.obj("GetChild", {0});
    const long oldId = a.num("TreeId");
    doc.call("Clear");
    EXPECT_NE(doc.num("TreeId"), oldId);
    EXPECT_EQ(doc.str("GetXml"), "\r\n<unnamed></unnamed>\r\n");
    Obj root = a.obj("GetParent");  // the old tree lives on and can still be edited
    a.call("NewChild2", {"z", "1"});
    EXPECT_EQ(root.str("GetXml"), "<?xml version=\"1.0\" encoding=\"utf-8\" ?>\r\n\r\n<r>\r\n<a>\r\n<z>1</z>\r\n</a>\r\n</r>\r\n");

    // A subtree of another tree moves in; its objects follow it into this tree.
    Obj source = script("<s><m><n>deep</n></m><keep/></s>");
    Obj m = source.obj("GetChild", {0});
    Obj n = m.obj("GetChild", {0});
    const long sourceId = source.num("TreeId");
    a.call("AddChildTree", {m});
    EXPECT_EQ(m.num("TreeId"), oldId);
    EXPECT_EQ(n.num("TreeId"), oldId);
    EXPECT_EQ(source.num("TreeId"), sourceId);
    EXPECT_EQ(children(source), "keep,");
    EXPECT_EQ(children(a), "z,m,");
    a = Obj();
    root = Obj();
    EXPECT_EQ(n.obj("GetRoot").str("Tag"), "r");  // n keeps the whole tree it joined
    m = Obj();
    EXPECT_EQ(n.obj("GetParent").obj("GetParent").obj("GetChild", {0}).str("Content"), "1");
    EXPECT_EQ(source.str("GetXml"), "<?xml version=\"1.0\" encoding=\"utf-8\" ?>\r\n\r\n<s>\r\n<keep></keep>\r\n</s>\r\n");
}

TEST(TarvexScriptEdit, SwapTreeAcrossTreesMovesObjectsWithTheChildren) {
    Obj left = script("<l k='1'>L<x>in-l</x></l>");
    Obj right = script("<r>R<y>in-r</y></r>");
    Obj x = left.obj("GetChild", {0});
    Obj y = right.obj("GetChild", {0});
    const long leftId = left.num("TreeId");
    const long rightId = right.num("TreeId");
    left.call("SwapTree", {right});
    EXPECT_EQ(left.str("Tag"), "r");
    EXPECT_EQ(left.str("Content"), "R");
    EXPECT_EQ(right.str("GetAttrValue", {"k"}), "1");
    EXPECT_EQ(y.num("TreeId"), leftId);
    EXPECT_EQ(x.num("TreeId"), rightId);
    left = Obj();
    right = Obj();
    // Each child keeps the tree it moved into.
    EXPECT_EQ(x.obj("GetParent").str("Tag"), "l");
    EXPECT_EQ(y.obj("GetParent").str("Tag"), "r");
    EXPECT_EQ(y.obj("GetRoot").str("Content"), "R");

    // SwapNode exchanges the data only; both nodes keep their children.
    Obj doc = script("<r><p a='1'>P<c1/></p><q>Q<c2/></q></r>");
    Obj p = doc.obj("GetChild", {0});
    p.call("SwapNode", {doc.obj("GetChild", {1})});
    EXPECT_EQ(children(doc), "q,p,");
    EXPECT_EQ(children(p), "c1,");
    EXPECT_EQ(p.str("Content"), "Q");
    EXPECT_EQ(doc.obj("GetChild", {1}).str("GetAttrValue", {"a"}), "1");
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
