// Throws on line 4, inside a function.
function fail(what) {
    var x = 1;
    throw new Error("failed: " + what);
}
WScript.Echo("before");
fail("on purpose");
