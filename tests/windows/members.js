// Drives every member of Tarvex.Tarvex from JScript the way a page script
// does. Run by cscript //nologo members.js <scratch folder>. Prints one line
// per failed check, then TARVEX-SCRIPT-OK or TARVEX-SCRIPT-FAILED n.
// Plain ECMAScript 3 (valid 5.1): older script engines lack the 5.1 library.

var failures = 0;
var scratch = WScript.Arguments.length > 0 ? WScript.Arguments(0) : ".";

function check(ok, label) {
    if (!ok) {
        failures++;
        WScript.Echo("FAILED: " + label);
    }
}

function eq(actual, expected, label) {
    if (actual !== expected) {
        failures++;
        WScript.Echo("FAILED: " + label + ": got [" + actual + "] expected [" + expected + "]");
    }
}

function newObject() {
    return new ActiveXObject("Tarvex.Tarvex");
}

function load(xml) {
    var d = newObject();
    eq(d.LoadXml(xml), 1, "LoadXml of " + xml.substring(0, 30));
    return d;
}

function isNothing(o) {
    return o === null || o === undefined;
}

// The tags (or the values of attribute `key`) of the children, walked forward
// with NextSibling and backward with PreviousSibling; both must agree.
function children(node, key) {
    var forward = "", backward = "", c;
    for (c = node.FirstChild(); !isNothing(c); c = c.NextSibling())
        forward += (key ? c.GetAttrValue(key) : c.Tag) + ",";
    for (c = node.LastChild(); !isNothing(c); c = c.PreviousSibling())
        backward = (key ? c.GetAttrValue(key) : c.Tag) + "," + backward;
    eq(backward, forward, "backward walk agrees");
    return forward;
}

function path(name) {
    return scratch + "\\" + name;
}

// --- A new object -------------------------------------------------------------
var x = newObject();
eq(x.Version, "5.0.1", "Version");
eq(x.Tag, "unnamed", "new object's tag");
check(x.GetXml().indexOf("<unnamed") >= 0, "new object's GetXml");
check(x.TreeId !== newObject().TreeId, "new objects have trees of their own");
eq(x.GetRoot().TreeId, x.TreeId, "GetRoot");

// --- Loading from a string, a file and a byte array ------------------------------
var doc = load("<shop><item id='2' kind='fruit'>pear</item><item id='1' kind='veg'>leek</item>" +
               "<item id='3' kind='fruit'>apple</item><note><![CDATA[a < b]]></note></shop>");
eq(doc.Tag, "shop", "root tag");
eq(doc.NumChildren, 4, "NumChildren");
eq(doc.GetChildContent("note"), "a < b", "CDATA content");
eq(doc.GetChildWithTag("note").Cdata, 1, "Cdata");
eq(doc.LoadXml("just text"), 0, "LoadXml of text that is no XML");
eq(doc.Tag, "shop", "a failed load keeps the tree");

var latin = load("<doc><w>caf\u00e9 \u00fcber</w></doc>");
latin.Encoding = "iso-8859-1";
eq(latin.SaveXml(path("js-latin.xml")), 1, "SaveXml Latin-1");
var y = newObject();
eq(y.LoadXmlFile(path("js-latin.xml")), 1, "LoadXmlFile");
eq(y.GetChildContent("w"), "caf\u00e9 \u00fcber", "Latin-1 file read back");
eq(y.Encoding, "iso-8859-1", "declared encoding kept");
eq(y.LoadXmlFile(path("js-none.xml")), 0, "LoadXmlFile of a missing file");
check(y.LastErrorText.indexOf("Failed to open file") >= 0, "missing file logged");
eq(y.LoadXmlV("<s>text</s>"), 1, "LoadXmlV of a string");
eq(y.Tag, "s", "LoadXmlV of a string: tag");

// Byte arrays: only where the engine can hold the array a member returns
// (members.vbs and the C++ test load byte arrays in every run).
var bytes = null;
try {
    var holder = load("<b/>");
    bytes = holder.GetBinaryContent(0, 0, "");
    if (bytes !== null && bytes !== undefined) bytes = (new VBArray(bytes)).toArray();
} catch (e) {
    bytes = null;
}
if (bytes !== null && bytes !== undefined && bytes.length > 0) check(true, "byte arrays");

// --- Attributes --------------------------------------------------------------------
var n = doc.FirstChild();
eq(n.NumAttributes, 2, "NumAttributes");
eq(n.GetAttributeName(1), "kind", "GetAttributeName");
eq(n.GetAttributeValue(0), "2", "GetAttributeValue");
eq(n.GetAttrValue("\tkind\r\n"), "fruit", "GetAttrValue trims the name");
eq(n.HasAttrWithValue("kind", "fruit"), 1, "HasAttrWithValue");
n.AddAttribute("color", "green");
n.UpdateAttribute("color", "yellow");
eq(n.GetAttrValue("color"), "yellow", "AddAttribute, UpdateAttribute");
n.RemoveAttribute("color");
eq(n.NumAttributes, 2, "RemoveAttribute");
n.RemoveAllAttributes();
eq(n.NumAttributes, 0, "RemoveAllAttributes");

// --- Editing -------------------------------------------------------------------------
y = load("<r/>");
eq(y.NewChild("a", "one").Content, "one", "NewChild");
y.NewChild2("b", "two");
y.FindOrAddNewChild("c");
eq(children(y), "a,b,c,", "NewChild2, FindOrAddNewChild");
n = y.FindOrAddNewChild("a");
n.Content = "uno";
n.AppendToContent("!");
n.Tag = "first";
y.UpdateChildContent("b", "deux");
eq(y.GetChildContent("first") + y.GetChildContent("b"), "uno!deux", "Content, AppendToContent, Tag, UpdateChildContent");
var c = y.ExtractChildByIndex(2);
eq(children(y), "first,b,", "ExtractChildByIndex");
y.AddChildTree(c);
eq(children(y), "first,b,c,", "AddChildTree");
y.GetChild(1).RemoveFromTree();
eq(children(y), "first,c,", "RemoveFromTree");
y.GetChild(0).SwapNode(y.GetChild(1));
eq(children(y), "c,first,", "SwapNode");
var other = load("<t><u>1</u></t>");
y.GetChild(0).SwapTree(other);
check(y.GetXml().indexOf("<u>1</u>") >= 0, "SwapTree");
var z = load("<x><k name='p'>v</k><k name='q'>w</k></x>");
eq(z.ExtractChildByName("k", "name", "q").Content, "w", "ExtractChildByName");
eq(z.NumChildren, 1, "ExtractChildByName removes");
y.Clear();
eq(y.NumChildren, 0, "Clear");

// --- Navigation ----------------------------------------------------------------------
y = load("<r><a/><b><b1/><b2/></b><c/></r>");
eq(y.GetChild(1).Tag, "b", "GetChild");
check(isNothing(y.GetChild(9)), "GetChild out of range gives null");
eq(y.GetChild(1).FirstChild().GetParent().Tag, "b", "GetParent");
eq(y.GetNthChildWithTag("c", 0).Tag, "c", "GetNthChildWithTag");
eq(y.FindChild("b").NumChildren, 2, "FindChild");
eq(y.NumChildrenHavingTag("a"), 1, "NumChildrenHavingTag");
var cursor = y.GetChild(0);
var moves = [cursor.NextSibling2(), cursor.FirstChild2(), cursor.NextSibling2(), cursor.NextSibling2(),
             cursor.PreviousSibling2(), cursor.GetParent2(), cursor.LastChild2()];
eq(moves.join(""), "1110111", "the moving members' results");
eq(cursor.Tag, "b2", "the cursor after its moves");
cursor.GetRoot2();
eq(cursor.GetChild2(2) + cursor.Tag, "1c", "GetRoot2, GetChild2");
cursor.GetRoot2();
eq(cursor.FindChild2("b") + cursor.Tag, "1b", "FindChild2");

// --- Searching -----------------------------------------------------------------------
doc = load("<lib><book lang='en'><title>Alpha</title></book><book lang='fr'><title>Beta</title></book>" +
           "<mag lang='en'><title>Gamma</title></mag></lib>");
var seen = "", after = null, found;
for (var guard = 0; guard < 10; guard++) {
    found = doc.SearchForTag(after, "title");
    if (isNothing(found)) break;
    seen += found.Content + ",";
    after = found;
}
eq(seen, "Alpha,Beta,Gamma,", "SearchForTag walk");
eq(doc.SearchForContent(null, "title", "*et*").Content, "Beta", "SearchForContent");
eq(doc.SearchAllForContent(null, "G*").Content, "Gamma", "SearchAllForContent");
eq(doc.SearchForAttribute(null, "mag", "lang", "e*").GetChildContent("title"), "Gamma", "SearchForAttribute");
check(isNothing(doc.SearchForTag(null, "none")), "failed search gives null");
eq(doc.FirstChild().FindNextRecord("title", "B*").GetAttrValue("lang"), "fr", "FindNextRecord");
eq(doc.FirstChild().FirstChild().ContentMatches("al*", 0), 1, "ContentMatches");
eq(doc.FirstChild().ChildContentMatches("title", "al*", 1), 0, "ChildContentMatches, case-sensitive");

// --- Sorting -------------------------------------------------------------------------
doc = load("<s><c k='2'>b</c><a k='3'>c</a><b k='1'>a</b></s>");
doc.SortByTag(1);
eq(children(doc), "a,b,c,", "SortByTag");
doc.SortByContent(0);
eq(children(doc), "a,c,b,", "SortByContent descending");
doc.SortByAttribute("k", 1);
eq(children(doc, "k"), "1,2,3,", "SortByAttribute");
doc = load("<s><r><n v='2'>b</n></r><r><n v='3'>c</n></r><r><n v='1'>a</n></r></s>");
doc.SortRecordsByContent("n", 0);
eq(doc.GetChild(0).GetChildContent("n"), "c", "SortRecordsByContent");
doc.SortRecordsByAttribute("n", "v", 1);
eq(doc.GetChild(0).GetChildContent("n"), "a", "SortRecordsByAttribute");

// --- Saving in several encodings ---------------------------------------------------------
var text = "<d><e>\u00e9\u00e8 \u20ac \u65e5\u672c</e></d>";
var encodings = ["utf-8", "utf-16", "shift_jis", "windows-1252", "iso-8859-1"];
for (var i = 0; i < encodings.length; i++) {
    var enc = encodings[i];
    var out = load(text);
    out.Encoding = enc;
    eq(out.Encoding, enc, "Encoding put " + enc);
    eq(out.SaveXml(path("js-save-" + enc + ".xml")), 1, "SaveXml " + enc);
    var back = newObject();
    eq(back.LoadXmlFile(path("js-save-" + enc + ".xml")), 1, "LoadXmlFile " + enc);
    // Characters the charset cannot hold are written as character references,
    // which read back as text.
    var expected = "\u00e9\u00e8 \u20ac \u65e5\u672c";
    if (enc === "windows-1252" || enc === "iso-8859-1") expected = "\u00e9\u00e8 \u20ac &#x65E5;&#x672C;";
    if (enc === "shift_jis") expected = "&#x00E9;&#x00E8; &#x20AC; \u65e5\u672c";
    eq(back.GetChildContent("e"), expected, "round trip " + enc);
}
out.Encoding = "no-such-charset";
eq(out.SaveXml(path("js-save-bad.xml")), 0, "SaveXml with an unknown charset");
out.Standalone = " yes/> ";
eq(out.Standalone, "yes", "Standalone");

// --- The call log --------------------------------------------------------------------------
y = load("<r><a/></r>");
y.GetChild(5);
eq(y.LastErrorText, "OstrandLog:\r\n  GetChild:\r\n    No child at this index\r\n    index: 5\r\n", "LastErrorText");
eq(y.LastErrorXml, "<OstrandLog>\r\n<GetChild>\r\n<error>No child at this index</error>\r\n<index>5</index>\r\n" +
                   "</GetChild>\r\n</OstrandLog>\r\n", "LastErrorXml");
check(y.LastErrorHtml.indexOf("GetChild:<blockquote>") >= 0, "LastErrorHtml");
eq(y.SaveLastError(path("js-log.xml")), 1, "SaveLastError");
var saved = newObject();
eq(saved.LoadXmlFile(path("js-log.xml")), 1, "the saved log is XML");
eq(saved.Tag, "OstrandLog", "the saved log's root");
y.GetChild(0);
check(y.LastErrorText.indexOf("No child at this index") >= 0, "a succeeding GetChild keeps the log");

// --- Entities and the members that wait for their codecs --------------------------------------
eq(y.DecodeEntities("a &amp; b &lt;c&gt;"), "a & b <c>", "DecodeEntities");
n = y.GetChild(0);
n.QEncodeContent("utf-8", "caf\u00e9");
n.BEncodeContent("utf-8", "caf\u00e9");
n.DecodeContent();
n.CompressNode();
n.CompressSubtree();
n.DecompressNode();
n.DecompressSubtree();
n.EncryptNode("secret");
n.DecryptNode("secret");
n.SetBinaryContent(0, 0, "", "");
n.HttpGet("http://127.0.0.1:1/");
n.HttpPost("http://127.0.0.1:1/");
y.LoadRequest();
eq(y.Tag, "r", "LoadRequest outside a page");
y.OnEndPage();

WScript.Echo(failures === 0 ? "TARVEX-SCRIPT-OK" : "TARVEX-SCRIPT-FAILED " + failures);
WScript.Quit(failures);
