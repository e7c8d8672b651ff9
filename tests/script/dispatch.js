// Members through IDispatch by name: properties, methods, objects, Nothing,
// and the errors a script sees.
var failures = 0;
function check(ok, what) { if (!ok) { failures++; WScript.Echo("FAILED: " + what); } }
function throwsNumber(fn, number, what) {
    try { fn(); } catch (e) { check(e.number === number, what + " (number " + e.number + ")"); return; }
    check(false, what + " did not throw");
}

var x = new ActiveXObject("Tarvex.Tarvex");
check(typeof x === "object", "ActiveXObject gives an object");
check(x.Version === "5.0.1", "Version property");
check(x.Tag === "unnamed", "a new object is on 'unnamed'");

// Methods with arguments and results of every kind.
check(x.LoadXml("<shop><item id='1'>pain</item><item id='2'>caf\u00e9 \ud83d\ude00</item></shop>") === 1, "LoadXml");
check(x.NumChildren === 2, "NumChildren");
check(x.GetChildContent("item") === "pain", "GetChildContent");
var second = x.GetChild(1);
check(second.Content === "caf\u00e9 \ud83d\ude00", "non-BMP text comes back as a surrogate pair");
check(second.Content.length === 7, "string length counts UTF-16 units");
check(second.GetAttrValue("id") === "2", "GetAttrValue");
check(x.GetChildWithTag("nothing") === null, "a missing object is null");
check(x.GetChild(5) === null && x.LastErrorText.indexOf("No child at this index") >= 0, "GetChild logs");

// Property writes.
second.Tag = "drink";
second.Content = "th\u00e9";
second.Cdata = 1;
check(second.Tag === "drink" && second.Cdata === 1, "property writes");
check(x.GetXml().indexOf("<drink id=\"2\"><![CDATA[th\u00e9]]></drink>") >= 0, "writes reach the tree: " + x.GetXml());
x.Encoding = "iso-8859-1";
check(x.Encoding === "iso-8859-1", "Encoding put and get");

// Objects as arguments; null is Nothing.
var found = x.SearchForTag(null, "item");
check(found !== null && found.Content === "pain", "SearchForTag with Nothing as the start");
check(x.SearchForTag(found, "item") === null, "SearchForTag after the last match");
var other = WScript.CreateObject("Tarvex.Tarvex");
other.LoadXml("<extra/>");
x.AddChildTree(other);
check(x.NumChildren === 3 && x.LastChild().Tag === "extra", "AddChildTree takes another object");
check(other.GetParent().Tag === "shop", "both objects see one tree");

// Numbers: integers pass as 32-bit values, booleans as flags.
x.SortByTag(true);
check(x.FirstChild().Tag === "drink", "SortByTag with a boolean");
check(x.GetChild(1.0).Tag === "extra", "integral numbers");

// Methods are values too; `this` decides the object.
var getTag = x.FirstChild().GetRoot;
check(typeof getTag === "function", "a method read is a function");
check(getTag.call(found).Tag === "shop", "a method called on another object");
check("LoadXml" in x && !("NoSuchMember" in x), "'in' asks GetIDsOfNames");

// Errors: unknown members, wrong argument counts, values with no VARIANT form.
throwsNumber(function () { return x.NoSuchMember; }, -2146827850, "unknown member read");
throwsNumber(function () { x.NoSuchMember = 1; }, -2146827850, "unknown member write");
throwsNumber(function () { x.GetChild(); }, -2147352562, "too few arguments");
throwsNumber(function () { x.GetChildContent({}); }, -2146828275, "a plain object as an argument");
throwsNumber(function () { new ActiveXObject("No.Such.Class"); }, -2146827859, "unknown ProgID");

// Byte arrays: a buffer goes in as an array of bytes.
var bytes = new Uint8Array([0x3c, 0x62, 0x3e, 0x68, 0xc3, 0xa9, 0x3c, 0x2f, 0x62, 0x3e]);  // <b>hé</b>
var y = new ActiveXObject("Tarvex.Tarvex");
check(y.LoadXmlV(bytes) === 1 && y.Content === "h\u00e9", "LoadXmlV with a byte buffer");
check(y.LoadXmlV("<c>text</c>") === 1 && y.Tag === "c", "LoadXmlV with a string");

if (failures === 0) WScript.Echo("TARVEX-SCRIPT-OK"); else WScript.Echo("TARVEX-SCRIPT-FAILED " + failures);
WScript.Quit(failures === 0 ? 0 : 1);
