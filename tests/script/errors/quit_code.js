// Ends with an exit code of its own.
WScript.Echo("quitting");
WScript.Quit(7);
WScript.Echo("never");
