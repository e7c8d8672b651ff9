// A syntax error on line 3.
var ok = 1;
var broken = ;
WScript.Echo("never");
