// The host objects of the Windows script host, built on a few natives.
// Evaluated once per heap as a function of the native object `host`.
(function (host) {
    var global = new Function("return this")();
    var list = host.args;

    function define(object, name, value) {
        Object.defineProperty(object, name, { value: value, writable: false, enumerable: false, configurable: true });
    }
    function text(value) { return value === undefined ? "" : String(value); }
    function joined(args) {
        var parts = [];
        for (var i = 0; i < args.length; i++) parts.push(text(args[i]));
        return parts.join(" ");
    }
    function subscript() { var e = new RangeError("Subscript out of range"); e.number = -2146828279; return e; }

    // WScript.Arguments: callable, with Item, Count and length.
    function Arguments(i) { return Arguments.Item(i); }
    define(Arguments, "Item", function (i) {
        if (typeof i !== "number" || i < 0 || i >= list.length || i % 1 !== 0) throw subscript();
        return list[i];
    });
    define(Arguments, "Count", function () { return list.length; });
    define(Arguments, "length", list.length);
    define(Arguments, "Unnamed", Arguments);
    define(Arguments, "Named", {
        Count: function () { return 0; }, length: 0,
        Exists: function () { return false; }, Item: function () { return undefined; }
    });

    function stream(which) {
        return {
            Write: function (s) { host.write(which, text(s)); },
            WriteLine: function (s) { host.write(which, text(s) + "\n"); },
            WriteBlankLines: function (n) { for (var i = 0; i < n; i++) host.write(which, "\n"); }
        };
    }

    var WScript = {
        Echo: function () { host.write(1, joined(arguments) + "\n"); },
        Quit: function (code) { host.quit(code === undefined ? 0 : Number(code) | 0); },
        CreateObject: function (progid) { return host.create(text(progid)); },
        Sleep: function (ms) { host.sleep(Number(ms) || 0); },
        Arguments: Arguments,
        StdOut: stream(1),
        StdErr: stream(2),
        ScriptName: host.scriptName,
        ScriptFullName: host.scriptFullName,
        Name: "Tarvex Script Host",
        FullName: host.hostPath,
        Path: host.hostDir,
        Version: "5.8",
        Interactive: false
    };
    define(global, "WScript", WScript);
    define(global, "WSH", WScript);

    function ActiveXObject(progid) { return host.create(text(progid)); }
    define(global, "ActiveXObject", ActiveXObject);

    // VBArray: reads a byte array (a buffer) as JScript does a SAFEARRAY.
    function VBArray(array) {
        if (!(this instanceof VBArray)) return new VBArray(array);
        var items;
        if (host.isBuffer(array)) items = host.bytes(array);
        else if (array instanceof VBArray) items = array.toArray();
        else if (array instanceof Array) items = array.slice();
        else {
            var e = new TypeError("VBArray expected");
            e.number = -2146823275;
            throw e;
        }
        function dimension(d) { if (d !== undefined && d !== 1) throw subscript(); }
        define(this, "toArray", function () { return items.slice(); });
        define(this, "ubound", function (d) { dimension(d); return items.length - 1; });
        define(this, "lbound", function (d) { dimension(d); return 0; });
        define(this, "dimensions", function () { return 1; });
        define(this, "getItem", function (i) {
            if (typeof i !== "number" || i < 0 || i >= items.length || i % 1 !== 0) throw subscript();
            return items[i];
        });
    }
    define(global, "VBArray", VBArray);

    // Enumerator over WScript.Arguments, arrays, byte arrays and automation
    // collections (Count and Item).
    function Enumerator(collection) {
        if (!(this instanceof Enumerator)) return new Enumerator(collection);
        var items;
        if (collection === undefined || collection === null) items = [];
        else if (collection === Arguments) items = list.slice();
        else if (collection instanceof Array) items = collection.slice();
        else if (collection instanceof VBArray) items = collection.toArray();
        else if (host.isBuffer(collection)) items = host.bytes(collection);
        else {
            var n = collection.Count;
            if (typeof n === "function") n = collection.Count();
            items = [];
            for (var i = 0; i < n; i++) items.push(collection.Item(i));
        }
        var position = 0;
        define(this, "atEnd", function () { return position >= items.length; });
        define(this, "item", function () { return position < items.length ? items[position] : undefined; });
        define(this, "moveNext", function () { if (position < items.length) position++; });
        define(this, "moveFirst", function () { position = 0; });
    }
    define(global, "Enumerator", Enumerator);

    // The line of a throw of something that is not an Error, for the report.
    if (typeof Duktape === "object") {
        Duktape.errThrow = function (e) {
            if (!(e instanceof Error)) {
                try { host.thrownAt(Duktape.act(-3).lineNumber); } catch (ignored) { }
            }
            return e;
        };
    }
})
