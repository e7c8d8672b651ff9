// The host's own objects: WScript, its Arguments, VBArray and Enumerator.
// Run with the arguments: alpha "beta gamma" δ
var failures = 0;
function check(ok, what) { if (!ok) { failures++; WScript.Echo("FAILED: " + what); } }

var args = WScript.Arguments;
check(args.length === 3 && args.Count() === 3, "argument count");
check(args(0) === "alpha" && args.Item(1) === "beta gamma", "arguments by call and by Item");
check(args(2) === "\u03b4" && args(2).length === 1, "a non-ASCII argument");
var seen = [];
for (var e = new Enumerator(args); !e.atEnd(); e.moveNext()) seen.push(e.item());
check(seen.join("|") === "alpha|beta gamma|\u03b4", "Enumerator over the arguments: " + seen.join("|"));
try { args(3); check(false, "argument out of range"); } catch (err) { check(err instanceof RangeError, "range error"); }

check(WScript.ScriptName === "hostobjects.js", "ScriptName " + WScript.ScriptName);
check(/hostobjects\.js$/.test(WScript.ScriptFullName), "ScriptFullName");

var en = new Enumerator([1, 2, 3]);
var sum = 0;
for (; !en.atEnd(); en.moveNext()) sum += en.item();
check(sum === 6 && en.item() === undefined, "Enumerator over an array");
en.moveFirst();
check(en.item() === 1, "moveFirst");

var vb = new VBArray(new Uint8Array([7, 0, 255]));
check(vb.dimensions() === 1 && vb.lbound() === 0 && vb.ubound(1) === 2, "VBArray bounds");
check(vb.getItem(2) === 255 && vb.toArray().join(",") === "7,0,255", "VBArray items");
check(new VBArray(new Uint8Array(0)).ubound() === -1, "an empty byte array");
try { new VBArray("text"); check(false, "VBArray of a string"); } catch (err) { check(err instanceof TypeError, "VBArray type error"); }

WScript.StdOut.Write("written ");
WScript.StdOut.WriteLine("whole");
WScript.Echo("echo", 1, true, null, "\u00e9");

// Quit ends the script even from inside a function and a try block.
function finish() {
    try {
        WScript.Echo(failures === 0 ? "TARVEX-SCRIPT-OK" : "TARVEX-SCRIPT-FAILED " + failures);
        WScript.Quit(failures === 0 ? 0 : 1);
    } catch (e) {
        WScript.Echo("the quit was caught");
    }
    WScript.Echo("after the quit");
}
finish();
