// ScriptHost: runs JScript files (ECMAScript 5.1) on Duktape with the objects
// the Windows script host gives them: WScript (Echo, Quit, CreateObject,
// Arguments, StdOut, StdErr, Sleep), ActiveXObject, VBArray and Enumerator.
// The one automation class it creates is the Tarvex component
// ("Tarvex.Tarvex", "Tarvex.Tarvex.1"), reached through IDispatch.
#pragma once

#include <string>
#include <vector>

#include <duktape.h>

namespace tarvex_script {

class ScriptHost {
public:
    // `scriptPath` names the script for WScript.ScriptName and error reports;
    // `arguments` become WScript.Arguments.
    ScriptHost(std::string scriptPath, std::vector<std::string> arguments);
    ~ScriptHost();
    ScriptHost(const ScriptHost&) = delete;
    ScriptHost& operator=(const ScriptHost&) = delete;

    // Reads and runs the script file. Returns the exit status: the
    // WScript.Quit code, 0 when the script ends, 1 after a script error
    // (reported on stderr as "file:line: message") or an unreadable file.
    int runFile();
    // Runs source text under the script's name, as runFile does.
    int runSource(const std::string& source);

    duk_context* context() const { return ctx_; }

    // Used by the natives.
    void requestQuit(int code) {
        quitting_ = true;
        quitCode_ = code;
    }
    bool quitting() const { return quitting_; }
    void noteThrowLine(int line) { thrownLine_ = line; }
    const std::string& scriptPath() const { return scriptPath_; }
    const std::vector<std::string>& arguments() const { return arguments_; }

private:
    bool installGlobals();
    int reportError();

    std::string scriptPath_;
    std::vector<std::string> arguments_;
    duk_context* ctx_ = nullptr;
    bool quitting_ = false;
    int quitCode_ = 0;
    int thrownLine_ = 0;
};

// Script file bytes -> Duktape source: UTF-8 (with or without a byte-order
// mark) or UTF-16 with a byte-order mark, as Windows editors save scripts.
std::string scriptSourceFromBytes(const std::string& bytes);

}  // namespace tarvex_script
