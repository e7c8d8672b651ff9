// Compressed, encrypted, binary and encoded-word content from JScript, as a
// page script stores it. The stored forms are compared with what the Linux
// build (OpenSSL, zlib) writes, so the Windows crypto backend must agree.
// Run by cscript //nologo codec.js. Prints one line per failed check, then
// TARVEX-SCRIPT-OK or TARVEX-SCRIPT-FAILED n. ECMAScript 5.1.

var failures = 0;

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

function contains(text, part) {
    return String(text).indexOf(part) >= 0;
}

// Byte arrays (GetBinaryContent, DecodeContent) are read in codec.vbs: some
// JScript hosts (Wine's) cannot hold a VT_UI1 array in a variable. Here the
// binary members are checked through the stored forms and the members that
// undo one layer.

var x, y, i, big, flags, crlf = "\r\n";

// --- Compression --------------------------------------------------------------
x = load("<a>hello</a>");
x.CompressNode();
eq(x.Content.slice(-2), crlf, "compressed content ends in CR LF");
eq(x.DecompressNode(), 1, "DecompressNode");
eq(x.Content, "hello", "DecompressNode restores the text");
x.Content = "y0jNyckHAA==" + crlf;  // raw deflate of hello, made by another program
eq(x.DecompressNode(), 1, "DecompressNode of foreign data");
eq(x.Content, "hello", "foreign data inflates");
x.Content = "//79/Pv6";
eq(x.DecompressNode(), 0, "DecompressNode of data that is not deflated");
check(contains(x.LastErrorText, "Failed to inflate data"), "Failed to inflate data logged");
eq(x.Content, "//79/Pv6", "content kept after a failed inflation");

big = [];
for (i = 1; i <= 2000; i++) big.push("<r n=\"" + i + "\">line " + i + "</r>");
big = big.join("");
y = load("<doc><part id=\"7\">" + big + "</part></doc>").FirstChild();
y.CompressSubtree();
eq(y.NumChildren, 0, "CompressSubtree removes the children");
eq(y.Cdata, 1, "CompressSubtree sets CDATA");
eq(y.DecompressSubtree(), 1, "DecompressSubtree");
eq(y.NumChildren, 2000, "children restored");
eq(y.GetAttrValue("id"), "7", "attributes stay");

// --- Encryption: the Windows backend writes what OpenSSL writes ---------------
x = load("<a>secret text</a>");
x.EncryptNode("pw");
eq(x.Content, "d7DliSIUABVxF9eGJu3xHQ==" + crlf, "EncryptNode matches the OpenSSL ciphertext");
eq(x.DecryptNode("wrong"), 0, "DecryptNode with a wrong password");
check(contains(x.LastErrorText, "Wrong password"), "wrong password logged");
eq(x.DecryptNode("pw"), 1, "DecryptNode");
eq(x.Content, "secret text", "DecryptNode restores the text");

// --- Binary content -------------------------------------------------------------
x = newObject();
x.SetBinaryContent(0, 0, "", "AB");
eq(x.Content, "QQBCAA==" + crlf, "a string is stored as its UTF-16LE bytes");
x.SetBinaryContent(0, 1, "p\u00e4ss", "Hi");
eq(x.Content, "dvYuXbcWCTfbg788wQjkjA==" + crlf, "binary content encrypted with a UTF-8 password");
eq(x.DecryptNode("p\u00e4ss"), 0, "DecryptNode takes the password in the ANSI code page, not UTF-8");
// One layer undone by DecryptNode or DecompressNode leaves the string's
// UTF-16LE bytes in the content, which read back as the text with a NUL after
// each (ASCII) character.
function utf16Bytes(s) {
    return s.replace(/[\s\S]/g, function (c) { return c + "\u0000"; });
}
flags = [[0, 0], [1, 0], [0, 1], [1, 1]];
for (i = 0; i < flags.length; i++) {
    var zip = flags[i][0], enc = flags[i][1];
    x.SetBinaryContent(zip, enc, "pw", big);
    if (zip + enc === 1) {
        eq(enc ? x.DecryptNode("pw") : x.DecompressNode(), 1, "one layer undone, flags " + flags[i]);
        check(x.Content === utf16Bytes(big), "the string's bytes after one layer, flags " + flags[i]);
    }
}
y = newObject();
eq(y.GetBinaryContent(0, 0, ""), undefined, "GetBinaryContent of no content gives nothing");
check(contains(y.LastErrorText, "Failed to decode base64 data"), "no content logged");

// --- Encoded words -------------------------------------------------------------
x = newObject();
x.QEncodeContent("utf-8", "A");
eq(x.Content, "=?utf-8?Q?A=00?=", "QEncodeContent");
x.BEncodeContent("utf-8", "A");
eq(x.Content, "=?utf-8?B?QQA=?=", "BEncodeContent");
eq(newObject().DecodeContent(), null, "DecodeContent of no content is null");

if (failures === 0) WScript.Echo("TARVEX-SCRIPT-OK");
else WScript.Echo("TARVEX-SCRIPT-FAILED " + failures);
WScript.Quit(failures);
