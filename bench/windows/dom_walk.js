// One document, two XML objects driven the same way from a page script:
// load a file, walk every element counting them, serialize to text.
//   cscript //nologo dom_walk.js <tarvex|msxml> <file> [rounds]
// Prints "RESULT <engine> <step> <best ms> <count>" per step: the best of
// `rounds` runs (default 3), so that one slow run does not decide.

var engine = WScript.Arguments(0);
var file = WScript.Arguments(1);
var rounds = WScript.Arguments.length > 2 ? parseInt(WScript.Arguments(2), 10) : 3;

function now() { return new Date().getTime(); }

var adapters = {
    tarvex: {
        load: function (path) {
            var o = new ActiveXObject("Tarvex.Tarvex");
            if (o.LoadXmlFile(path) !== 1) throw new Error("load failed");
            return o;
        },
        // Depth-first with FirstChild and NextSibling, as a script walks.
        walk: function (doc) {
            var count = 0, stack = [doc], node, child;
            while (stack.length > 0) {
                node = stack.pop();
                count++;
                for (child = node.FirstChild(); child !== null && child !== undefined; child = child.NextSibling())
                    stack.push(child);
            }
            return count;
        },
        serialize: function (doc) { return doc.GetXml().length; }
    },
    msxml: {
        load: function (path) {
            var d = WScript.CreateObject("Msxml2.DOMDocument");
            d.async = false;
            d.preserveWhiteSpace = false;
            if (!d.load(path)) throw new Error("load failed");
            return d;
        },
        walk: function (doc) {
            var count = 0, stack = [doc.documentElement], node, child;
            while (stack.length > 0) {
                node = stack.pop();
                count++;
                for (child = node.firstChild; child !== null && child !== undefined; child = child.nextSibling)
                    if (child.nodeType === 1) stack.push(child);
            }
            return count;
        },
        serialize: function (doc) { return doc.xml.length; }
    }
};

var a = adapters[engine];
var best = { load: 1e12, walk: 1e12, serialize: 1e12 };
var counts = { load: 0, walk: 0, serialize: 0 };
for (var r = 0; r < rounds; r++) {
    var t0 = now();
    var doc = a.load(file);
    var t1 = now();
    counts.walk = a.walk(doc);
    var t2 = now();
    counts.serialize = a.serialize(doc);
    var t3 = now();
    if (t1 - t0 < best.load) best.load = t1 - t0;
    if (t2 - t1 < best.walk) best.walk = t2 - t1;
    if (t3 - t2 < best.serialize) best.serialize = t3 - t2;
    doc = null;
    CollectGarbage();
}
var steps = ["load", "walk", "serialize"];
for (var i = 0; i < steps.length; i++)
    WScript.Echo("RESULT " + engine + " " + steps[i] + " " + best[steps[i]] + " " + counts[steps[i]]);
WScript.Echo("TARVEX-SCRIPT-OK");
