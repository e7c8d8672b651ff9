// HttpGet and HttpPost through the DLL, against the loopback test servers
// (tests/http/http_test_server.py, started by the Windows test stage, which
// writes their ports to http-servers.xml in the scratch folder). Run by
// cscript //nologo http.js <scratch folder>. Prints one line per failed
// check, then TARVEX-SCRIPT-OK or TARVEX-SCRIPT-FAILED n.

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

function isNothing(o) {
    return o === null || o === undefined;
}

function logHas(o, text) {
    return o.LastErrorText.indexOf(text) >= 0;
}

var servers = new ActiveXObject("Tarvex.Tarvex");
if (servers.LoadXmlFile(scratch + "/http-servers.xml") !== 1) {
    WScript.Echo("FAILED: no http-servers.xml in " + scratch + " (the test servers did not start)");
    WScript.Echo("TARVEX-SCRIPT-FAILED 1");
    WScript.Quit(1);
}
var plain = "http://127.0.0.1:" + servers.GetAttrValue("plain");
var tls = "https://localhost:" + servers.GetAttrValue("tls");
var untrusted = "https://localhost:" + servers.GetAttrValue("self");
var refused = "http://127.0.0.1:" + servers.GetAttrValue("refused");

var caller = new ActiveXObject("Tarvex.Tarvex");

// Every framing of a body.
var r = caller.HttpGet(plain + "/chunked");
check(!isNothing(r), "chunked body: " + caller.LastErrorText);
if (!isNothing(r)) {
    eq(r.Tag, "root", "chunked body: tag");
    eq(r.Content, "hello", "chunked body: content");
}
r = caller.HttpGet(plain + "/close");
check(!isNothing(r), "body ended by close: " + caller.LastErrorText);
r = caller.HttpGet(plain + "/doc/70000");
check(!isNothing(r) && r.Content.length > 69000, "declared length: " + caller.LastErrorText);

// Redirects: relative targets against the current directory, four at most.
r = caller.HttpGet(plain + "/dir/sub/a.xml");
check(!isNothing(r) && r.Content === "/dir/b.xml?x=1", "relative redirect: " + caller.LastErrorText);
r = caller.HttpGet(plain + "/chain/4");
check(!isNothing(r), "four redirects: " + caller.LastErrorText);
r = caller.HttpGet(plain + "/chain/5");
check(isNothing(r), "fifth redirect refused");
check(logHas(caller, "Aborted to avoid infinite redirects."), "fifth redirect logged");

// The test stage made the test CA a trusted root of this prefix: bodies of
// many records, of a declared length and chunked, arrive whole.
r = caller.HttpGet(tls + "/doc/2000000");
check(!isNothing(r), "https with a declared length: " + caller.LastErrorText);
if (!isNothing(r)) eq(r.Content.length, 2000000 - 52, "https body length");
check(logHas(caller, "Secure Channel Established."), "https channel logged");
r = caller.HttpGet(tls + "/bigchunked/300000");
check(!isNothing(r), "https chunked: " + caller.LastErrorText);
if (!isNothing(r)) eq(r.Content.length, 300000 - 52, "https chunked body length");

// A self-signed certificate leads to no trusted root: the server is refused
// before the request is sent.
r = caller.HttpGet(untrusted + "/doc/100");
check(isNothing(r), "untrusted server refused");
check(logHas(caller, "WinVerifyTrustError"), "verification failure named: " + caller.LastErrorText);
check(logHas(caller, "Error authenticating server credentials!"), "untrusted server logged");
check(!logHas(caller, "Secure Channel Established."), "no channel to an untrusted server");

r = caller.HttpGet(refused + "/x");
check(isNothing(r), "refused connection");
check(logHas(caller, "WSAECONNREFUSED"), "refused connection named: " + caller.LastErrorText);

// A POST sends the current node and takes the answer as a new object.
var doc = new ActiveXObject("Tarvex.Tarvex");
eq(doc.LoadXml("<order><item>tea</item></order>"), 1, "LoadXml");
r = doc.HttpPost(plain + "/svc?op=1");
check(!isNothing(r), "post: " + doc.LastErrorText);
if (!isNothing(r)) {
    check(r.Content.indexOf("POST /svc HTTP/1.1") === 0, "post request line: " + r.Content.substring(0, 40));
    check(r.Content.indexOf("<item>tea</item>") > 0 && r.Content.indexOf("content-type: text/xml") > 0,
          "post body: " + r.Content);
}
r = doc.HttpPost(refused + "/svc");
check(isNothing(r), "post to a refused port");
check(logHas(doc, "Connecting to HTTP server..."), "post logs the connection");

if (failures === 0) {
    WScript.Echo("TARVEX-SCRIPT-OK");
    WScript.Quit(0);
}
WScript.Echo("TARVEX-SCRIPT-FAILED " + failures);
WScript.Quit(1);
