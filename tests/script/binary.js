// Byte arrays out of the component arrive as buffers that VBArray reads.
var failures = 0;
function check(ok, what) { if (!ok) { failures++; WScript.Echo("FAILED: " + what); } }

var x = new ActiveXObject("Tarvex.Tarvex");
x.LoadXml("<r><data/></r>");
var node = x.FirstChild();
node.SetBinaryContent(1, 1, "pw", new Uint8Array([0, 1, 2, 250, 255]));
var back = node.GetBinaryContent(1, 1, "pw");
check(back !== null && back !== undefined, "GetBinaryContent returns bytes");
var items = new VBArray(back).toArray();
check(items.join(",") === "0,1,2,250,255", "the bytes survive: " + items.join(","));

node.SetBinaryContent(0, 0, "", "AB");  // a string gives its UTF-16LE bytes
check(new VBArray(node.GetBinaryContent(0, 0, "")).toArray().join(",") === "65,0,66,0", "a string as bytes");

node.Content = "plain";
check(new VBArray(node.DecodeContent()).toArray().length === 5, "DecodeContent gives bytes");
node.Content = "";
check(node.DecodeContent() === null, "no bytes give null");

if (failures === 0) WScript.Echo("TARVEX-SCRIPT-OK"); else WScript.Echo("TARVEX-SCRIPT-FAILED " + failures);
WScript.Quit(failures === 0 ? 0 : 1);
