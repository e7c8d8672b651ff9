// tarvex-script: runs JScript files written for the Windows component
// unchanged on Linux.
//
//   tarvex-script [--] SCRIPT.js [ARGUMENTS...]
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "ScriptHost.h"

namespace {
const char kUsage[] =
    "Usage: tarvex-script [--] SCRIPT.js [ARGUMENTS...]\n"
    "\n"
    "Runs a JScript file (ECMAScript 5.1) with the objects of the Windows script host:\n"
    "WScript (Echo, Quit, CreateObject, Arguments, StdOut, StdErr, Sleep), ActiveXObject,\n"
    "VBArray and Enumerator. new ActiveXObject(\"Tarvex.Tarvex\") makes a Tarvex object.\n"
    "\n"
    "Exit status: the WScript.Quit code; 0 when the script ends; 1 after a script error,\n"
    "reported on standard error as FILE:LINE: MESSAGE; 2 bad usage.\n";
}  // namespace

int main(int argc, char** argv) {
    int first = 1;
    if (first < argc && (std::strcmp(argv[first], "-h") == 0 || std::strcmp(argv[first], "--help") == 0)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (first < argc && std::strcmp(argv[first], "--") == 0) ++first;
    else if (first < argc && argv[first][0] == '-' && argv[first][1] != '\0') {
        std::fprintf(stderr, "tarvex-script: unknown option %s\nTry 'tarvex-script --help'.\n", argv[first]);
        return 2;
    }
    if (first >= argc) {
        std::fprintf(stderr, "tarvex-script: no script given\nTry 'tarvex-script --help'.\n");
        return 2;
    }
    std::vector<std::string> arguments(argv + first + 1, argv + argc);
    tarvex_script::ScriptHost host(argv[first], arguments);
    if (host.context() == nullptr) return 1;
    return host.runFile();
}
