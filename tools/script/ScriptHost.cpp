#include "ScriptHost.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "DispatchBridge.h"
#include "VariantBridge.h"
#include "tarvex/tarvex.h"

namespace tarvex_script {

extern const char kPrelude[];

namespace {

const char kHostKey[] = DUK_HIDDEN_SYMBOL("host");
const char kQuitMark[] = DUK_HIDDEN_SYMBOL("quit");

ScriptHost* hostOf(duk_context* ctx) {
    duk_push_global_stash(ctx);
    duk_get_prop_string(ctx, -1, kHostKey);
    auto* host = static_cast<ScriptHost*>(duk_get_pointer(ctx, -1));
    duk_pop_2(ctx);
    return host;
}

// After WScript.Quit every native call unwinds again, so a script that
// catches the first unwinding still stops at its next call.
duk_ret_t unwindForQuit(duk_context* ctx) {
    duk_push_object(ctx);
    duk_push_true(ctx);
    duk_put_prop_string(ctx, -2, kQuitMark);
    return duk_throw(ctx);
}

bool equalsNoCase(const char* a, const char* b) {
    if (std::strlen(a) != std::strlen(b)) return false;
    for (size_t i = 0; a[i] != '\0'; ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

// host.create(progid)
duk_ret_t nativeCreate(duk_context* ctx) {
    if (hostOf(ctx)->quitting()) return unwindForQuit(ctx);
    // Plain C strings only here: a script error unwinds past this frame.
    const char* progid = duk_safe_to_string(ctx, 0);
    if (!equalsNoCase(progid, TARVEX_PROGID) && !equalsNoCase(progid, TARVEX_PROGID_INDEPENDENT)) {
        duk_push_sprintf(ctx, "Automation server can't create object: '%s'", progid);
        return throwScriptError(ctx, static_cast<int32_t>(0x800A01AD), duk_get_string(ctx, -1));
    }
    IClassFactory* factory = nullptr;
    IDispatch* object = nullptr;
    HRESULT hr = DllGetClassObject(CLSID_Tarvex, IID_IClassFactory, reinterpret_cast<void**>(&factory));
    if (SUCCEEDED(hr)) {
        hr = factory->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(&object));
        factory->Release();
    }
    if (FAILED(hr) || object == nullptr) return throwAutomationError(ctx, FAILED(hr) ? hr : E_FAIL, progid);
    pushDispatch(ctx, object);
    object->Release();
    return 1;
}

// host.write(stream, text): 1 standard output, 2 standard error.
duk_ret_t nativeWrite(duk_context* ctx) {
    if (hostOf(ctx)->quitting()) return unwindForQuit(ctx);
    FILE* out = duk_get_int(ctx, 0) == 2 ? stderr : stdout;
    duk_size_t size = 0;
    const char* data = duk_safe_to_lstring(ctx, 1, &size);
    const std::string utf8 = cesuToUtf8(data, size);
    std::fwrite(utf8.data(), 1, utf8.size(), out);
    if (out == stderr) std::fflush(stdout);
    return 0;
}

duk_ret_t nativeQuit(duk_context* ctx) {
    hostOf(ctx)->requestQuit(duk_get_int(ctx, 0));
    return unwindForQuit(ctx);
}

duk_ret_t nativeSleep(duk_context* ctx) {
    if (hostOf(ctx)->quitting()) return unwindForQuit(ctx);
    const double ms = duk_get_number(ctx, 0);
    if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(static_cast<long long>(ms)));
    return 0;
}

duk_ret_t nativeIsBuffer(duk_context* ctx) {
    duk_push_boolean(ctx, duk_is_buffer_data(ctx, 0));
    return 1;
}

// host.bytes(buffer): the bytes as an array of numbers.
duk_ret_t nativeBytes(duk_context* ctx) {
    duk_size_t size = 0;
    const auto* data = static_cast<const unsigned char*>(duk_get_buffer_data(ctx, 0, &size));
    duk_push_array(ctx);
    for (duk_size_t i = 0; i < size; ++i) {
        duk_push_uint(ctx, data[i]);
        duk_put_prop_index(ctx, -2, static_cast<duk_uarridx_t>(i));
    }
    return 1;
}

duk_ret_t nativeThrownAt(duk_context* ctx) {
    hostOf(ctx)->noteThrowLine(duk_get_int(ctx, 0));
    return 0;
}

void pushUtf8(duk_context* ctx, const std::string& utf8) {
    const std::string cesu = utf8ToCesu(utf8);
    duk_push_lstring(ctx, cesu.data(), cesu.size());
}

std::string absolutePath(const std::string& path) {
    std::error_code ec;
    std::filesystem::path p = std::filesystem::absolute(path, ec);
    return ec ? path : p.lexically_normal().string();
}

}  // namespace

std::string scriptSourceFromBytes(const std::string& bytes) {
    const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
    const size_t n = bytes.size();
    if (n >= 2 && ((s[0] == 0xFF && s[1] == 0xFE) || (s[0] == 0xFE && s[1] == 0xFF))) {
        // UTF-16: each unit on its own is what Duktape keeps (CESU-8).
        const bool little = s[0] == 0xFF;
        std::string out;
        out.reserve(n);
        for (size_t i = 2; i + 1 < n; i += 2)
            appendUnit(out, little ? (s[i] | (s[i + 1] << 8)) : ((s[i] << 8) | s[i + 1]));
        return out;
    }
    if (n >= 3 && s[0] == 0xEF && s[1] == 0xBB && s[2] == 0xBF) return utf8ToCesu(bytes.substr(3));
    return utf8ToCesu(bytes);
}

ScriptHost::ScriptHost(std::string scriptPath, std::vector<std::string> arguments)
    : scriptPath_(std::move(scriptPath)), arguments_(std::move(arguments)) {
    ctx_ = duk_create_heap_default();
    if (ctx_ == nullptr) return;
    duk_push_global_stash(ctx_);
    duk_push_pointer(ctx_, this);
    duk_put_prop_string(ctx_, -2, kHostKey);
    duk_pop(ctx_);
    installDispatchBridge(ctx_);
    if (!installGlobals()) {
        std::fprintf(stderr, "tarvex-script: cannot set up the script objects\n");
        duk_destroy_heap(ctx_);
        releaseDispatchBridge(ctx_);
        ctx_ = nullptr;
    }
}

ScriptHost::~ScriptHost() {
    if (ctx_ == nullptr) return;
    // Finalizers release every object the script still holds.
    duk_destroy_heap(ctx_);
    releaseDispatchBridge(ctx_);
}

bool ScriptHost::installGlobals() {
    duk_push_string(ctx_, "prelude");
    if (duk_pcompile_string_filename(ctx_, DUK_COMPILE_EVAL, kPrelude) != 0) return false;
    if (duk_pcall(ctx_, 0) != 0) return false;  // evaluates to the function
    duk_push_object(ctx_);                       // the host object
    const struct {
        const char* name;
        duk_c_function fn;
        duk_idx_t nargs;
    } natives[] = {{"create", nativeCreate, 1}, {"write", nativeWrite, 2},       {"quit", nativeQuit, 1},
                   {"sleep", nativeSleep, 1},   {"isBuffer", nativeIsBuffer, 1}, {"bytes", nativeBytes, 1},
                   {"thrownAt", nativeThrownAt, 1}};
    for (const auto& n : natives) {
        duk_push_c_function(ctx_, n.fn, n.nargs);
        duk_put_prop_string(ctx_, -2, n.name);
    }
    duk_push_array(ctx_);
    for (size_t i = 0; i < arguments_.size(); ++i) {
        pushUtf8(ctx_, arguments_[i]);
        duk_put_prop_index(ctx_, -2, static_cast<duk_uarridx_t>(i));
    }
    duk_put_prop_string(ctx_, -2, "args");
    const std::string full = absolutePath(scriptPath_);
    pushUtf8(ctx_, std::filesystem::path(scriptPath_).filename().string());
    duk_put_prop_string(ctx_, -2, "scriptName");
    pushUtf8(ctx_, full);
    duk_put_prop_string(ctx_, -2, "scriptFullName");
    pushUtf8(ctx_, "tarvex-script");
    duk_put_prop_string(ctx_, -2, "hostPath");
    pushUtf8(ctx_, "");
    duk_put_prop_string(ctx_, -2, "hostDir");
    const bool ok = duk_pcall(ctx_, 1) == 0;
    duk_pop(ctx_);
    return ok;
}

int ScriptHost::runFile() {
    std::ifstream in(scriptPath_, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "tarvex-script: cannot read %s\n", scriptPath_.c_str());
        return 1;
    }
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return runSource(scriptSourceFromBytes(bytes.str()));
}

int ScriptHost::runSource(const std::string& source) {
    if (ctx_ == nullptr) return 1;
    quitting_ = false;
    thrownLine_ = 0;
    pushUtf8(ctx_, scriptPath_);
    int status = 0;
    if (duk_pcompile_lstring_filename(ctx_, 0, source.data(), source.size()) != 0 || duk_pcall(ctx_, 0) != 0)
        status = quitting_ ? quitCode_ : reportError();
    else
        status = quitting_ ? quitCode_ : 0;
    duk_pop(ctx_);
    std::fflush(stdout);
    return status;
}

// Prints "file:line: message" for the error on top of the stack.
int ScriptHost::reportError() {
    int line = 0;
    std::string message;
    if (duk_is_error(ctx_, -1)) {
        duk_get_prop_string(ctx_, -1, "lineNumber");
        line = duk_get_int(ctx_, -1);
        duk_pop(ctx_);
        duk_size_t size = 0;
        const char* text = duk_safe_to_lstring(ctx_, -1, &size);
        message = cesuToUtf8(text, size);
        // Duktape repeats the line of a syntax error in the message.
        const std::string suffix = " (line " + std::to_string(line) + ")";
        if (message.size() > suffix.size() && message.compare(message.size() - suffix.size(), suffix.size(), suffix) == 0)
            message.resize(message.size() - suffix.size());
    } else {
        duk_dup(ctx_, -1);
        duk_size_t size = 0;
        const char* text = duk_safe_to_lstring(ctx_, -1, &size);
        message = "uncaught exception: " + cesuToUtf8(text, size);
        duk_pop(ctx_);
        line = thrownLine_;
    }
    std::fflush(stdout);
    if (line > 0)
        std::fprintf(stderr, "%s:%d: %s\n", scriptPath_.c_str(), line, message.c_str());
    else
        std::fprintf(stderr, "%s: %s\n", scriptPath_.c_str(), message.c_str());
    return 1;
}

}  // namespace tarvex_script
