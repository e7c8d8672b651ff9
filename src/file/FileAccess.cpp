// Whole-file reading and writing between files and byte buffers.
//
// A name is opened by its ANSI form when that form is exact, else by its
// wide form; where the system opens UTF-8 names directly, the UTF-8 form is
// passed on either route. A file is written beside its target under a unique
// temporary name and moved over the target only once every byte is on disk,
// so a failed write never damages the file it was to replace.
#include "file/FileAccess.h"

#include <cstring>
#include <functional>

#include <string>

#include "base/LogBase.h"
#include "platform/Platform.h"
#include "text/ByteSink.h"
#include "text/DataBuffer.h"
#include "base/BlockCache.h"
#include "base/Memory.h"
#include "text/StringBuffer.h"
#include "charset/XString.h"

namespace tarvex {

namespace {

using platform::FileHandle;
using platform::kInvalidFile;
using platform::NameForm;

constexpr int kSharingRetries = 3;
constexpr uint32_t kSharingWaitMs = 50;
constexpr int kTempNameTries = 4;

enum class OpenMode { Read, Write, CreateNew };

// The route a name takes and the bytes handed to the system for it.
struct Route {
    bool wide;
    NameForm form;
    std::string name;  // what the system opens
    std::string utf8;  // what the log shows
};

Route routeFor(XString& x) {
    Route r;
    r.wide = !x.isAnsiExact() && platform::supportsWideNames();
    r.form = r.wide ? NameForm::Wide : NameForm::Ansi;
    const char* utf8 = x.getUtf8();
    r.utf8 = utf8 ? utf8 : "";
    if (r.wide || platform::namesAreUtf8()) {
        r.name = r.utf8;
    } else {
        const char* ansi = x.getAnsi();
        r.name = ansi ? ansi : "";
    }
    return r;
}

bool isEmptyName(XString& x) {
    const char* utf8 = x.getUtf8();
    return !utf8 || !*utf8;
}

void logSystemError(LogBase* log, uint32_t code) {
    if (!log) return;
    StringBuffer text;
    text.appendErrorText(code);  // trimmed: system texts end with a line break
    if (!text.isEmpty()) log->LogError(text.getString());
}

// One open, retried while another process holds the file without sharing.
FileHandle openRaw(const std::string& name, NameForm form, OpenMode mode, uint32_t* error) {
    FileHandle f = kInvalidFile;
    for (int attempt = 0;; ++attempt) {
        switch (mode) {
            case OpenMode::Read: f = platform::openForRead(name.c_str(), form, error); break;
            case OpenMode::Write: f = platform::openForWrite(name.c_str(), form, error); break;
            case OpenMode::CreateNew:
                f = platform::openForCreateNew(name.c_str(), form, error);
                break;
        }
        if (f != kInvalidFile || attempt >= kSharingRetries || !platform::isSharingViolation(*error))
            return f;
        platform::sleepMs(kSharingWaitMs);
    }
}

void logOpenFailure(LogBase* log, bool wide, const std::string& utf8Name, uint32_t error) {
    if (!log) return;
    log->LogError(wide ? "Failed to open file (3)" : "Failed to open file (2)");
    log->LogData(wide ? "utf8Filename" : "filename", utf8Name.c_str());
    StringBuffer text;
    text.appendErrorText(error);
    log->LogData("osErrorInfo", text.getString());
}

FileHandle openNamed(XString& name, OpenMode mode, LogBase* log, bool* wideRoute) {
    if (wideRoute) *wideRoute = false;
    if (isEmptyName(name)) {
        if (log) log->LogError("Cannot open file, filename is empty.");
        return kInvalidFile;
    }
    Route r = routeFor(name);
    if (wideRoute) *wideRoute = r.wide;
    uint32_t error = 0;
    FileHandle f = openRaw(r.name, r.form, mode, &error);
    if (f == kInvalidFile) logOpenFailure(log, r.wide, r.utf8, error);
    return f;
}

// Closes a handle on every return path.
class FileCloser {
public:
    explicit FileCloser(FileHandle f) : f_(f) {}
    ~FileCloser() { close(); }
    void close() {
        if (f_ != kInvalidFile) platform::closeFile(f_);
        f_ = kInvalidFile;
    }
    FileCloser(const FileCloser&) = delete;
    FileCloser& operator=(const FileCloser&) = delete;

private:
    FileHandle f_;
};

// Removes the temporary file unless it was moved over its target.
class TempFileGuard {
public:
    TempFileGuard(const std::string& name, NameForm form) : name_(name), form_(form) {}
    ~TempFileGuard() {
        if (!kept_) platform::removeFile(name_.c_str(), form_);
    }
    void keep() { kept_ = true; }
    TempFileGuard(const TempFileGuard&) = delete;
    TempFileGuard& operator=(const TempFileGuard&) = delete;

private:
    std::string name_;
    NameForm form_;
    bool kept_ = false;
};

bool loadNamed(XString& name, DataBuffer& out, LogBase* log) {
    out = DataBuffer();  // emptied, an owned block freed
    bool wide = false;
    FileHandle f = openNamed(name, OpenMode::Read, log, &wide);
    if (f == kInvalidFile) return false;
    FileCloser closer(f);

    uint64_t size = 0;
    uint32_t error = 0;
    if (!platform::fileSize(f, &size, &error)) {
        logSystemError(log, error);
        return false;
    }
    if (size == 0) return true;
    // The buffer holds at most 4 GB less the 4 spare zero bytes: the one
    // kept warm from the last document when it fits, else a new one. Only
    // the spare bytes are zeroed: zeroing the rest would touch every page of
    // the buffer once before the read fills it.
    const size_t need = static_cast<size_t>(size) + 4;
    size_t bytes = need;
    void* block = nullptr;
    if (size <= 0xFFFFFFFFull - 4) {
        block = BlockCache::TakeText(need, &bytes);
        if (!block) block = memAlloc(need);
    }
    if (block) std::memset(static_cast<char*>(block) + size, 0, 4);
    if (!block) {
        if (log) log->LogError("Failed to read the entire file");
        return false;
    }
    uint32_t want = static_cast<uint32_t>(size);
    out.adopt(block, static_cast<uint32_t>(bytes));
    out.setSize(want);
    uint32_t got = platform::readAll(f, out.getData(), want, &error);
    if (got < want) out.setSize(got);
    if (error != 0) {
        logSystemError(log, error);
        if (log && !wide) {
            log->LogData("filename", name.getUtf8());
            std::string dir;
            platform::currentDirectory(dir);
            log->LogData("current_dir", dir.c_str());
        }
        return false;
    }
    if (got < want) {
        if (log) log->LogError("Failed to read the entire file");
        return false;
    }
    return true;
}

// Writes the bytes to a new file beside the target, then moves it over the
// target. The messages are those of the route: ANSI (7)/(1), wide (6)/(3).
// `body` writes the bytes to the open temporary file; false with the error
// code when it could not.
using BodyWriter = std::function<bool(FileHandle f, uint32_t* error)>;

bool writeByRoute(Route target, const BodyWriter& body, LogBase* log) {
    auto logWriteFailure = [&](uint32_t error) {
        if (!log) return;
        if (target.wide) {
            logSystemError(log, error);
            log->LogError("Failed to write complete file (3)");
        } else {
            log->LogData("filename", target.utf8.c_str());
            logSystemError(log, error);
            log->LogError("Failed to write complete file (1)");
        }
    };
    // The target could not be opened for writing (or, the same thing here,
    // replaced): the messages of a failed open. The log names the file the
    // caller asked for, not the temporary one.
    auto logOpenTargetFailure = [&](uint32_t error) {
        logOpenFailure(log, target.wide, target.utf8, error);
        if (!log) return;
        log->LogData(target.wide ? "utf8Filename" : "filename", target.utf8.c_str());
        log->LogError(target.wide ? "Failed to write complete file (6)" : "Failed to write complete file (7)");
    };

    // Saving through a symbolic link replaces the file it names and keeps
    // the link.
    std::string resolved;
    if (platform::linkTarget(target.name.c_str(), target.form, resolved)) target.name = resolved;

    // A unique name in the same folder, so the final move stays on one volume.
    std::string tempName;
    FileHandle f = kInvalidFile;
    uint32_t error = 0;
    for (int i = 0; i < kTempNameTries && f == kInvalidFile; ++i) {
        uint8_t r[4];
        platform::randomBytes(r, sizeof(r));
        static const char hex[] = "0123456789abcdef";
        std::string suffix = ".~";
        for (uint8_t b : r) {
            suffix += hex[b >> 4];
            suffix += hex[b & 15];
        }
        suffix += ".tmp";
        tempName = target.name + suffix;
        f = openRaw(tempName, target.form, OpenMode::CreateNew, &error);
    }
    if (f == kInvalidFile) {
        logOpenTargetFailure(error);
        return false;
    }
    TempFileGuard guard(tempName, target.form);
    FileCloser closer(f);

    if (!body(f, &error)) {
        logWriteFailure(error);
        return false;
    }
    if (!platform::flushFile(f, &error)) {
        logWriteFailure(error);
        return false;
    }
    closer.close();

    for (int attempt = 0;; ++attempt) {
        if (platform::replaceFile(tempName.c_str(), target.name.c_str(), target.form, &error)) break;
        if (attempt >= kSharingRetries || !platform::isSharingViolation(error)) {
            logOpenTargetFailure(error);
            return false;
        }
        platform::sleepMs(kSharingWaitMs);
    }
    guard.keep();
    return true;
}

}  // namespace

platform::FileHandle openForRead(XString& name, LogBase* log) {
    return openNamed(name, OpenMode::Read, log, nullptr);
}

platform::FileHandle openForWrite(XString& name, LogBase* log) {
    return openNamed(name, OpenMode::Write, log, nullptr);
}

bool loadFile(const char* pathUtf8, DataBuffer& out, LogBase* log) {
    XString name;
    name.setFromUtf8(pathUtf8);
    return loadNamed(name, out, log);
}

bool loadFileWide(const OLECHAR* path, DataBuffer& out, LogBase* log) {
    XString name;
    name.setFromWide(path);
    return loadNamed(name, out, log);
}

bool writeFile(const char* pathUtf8, const void* data, uint32_t length, LogBase* log) {
    if (!pathUtf8 || !*pathUtf8) return false;
    if (!data && length > 0) return false;
    XString name;
    name.setFromUtf8(pathUtf8);
    // A name without an exact ANSI form is written by its wide form only:
    // its ANSI form names a different file.
    Route r = routeFor(name);
    return writeByRoute(
        r,
        [data, length](FileHandle f, uint32_t* error) {
            return length == 0 || platform::writeAll(f, data, length, error) == length;
        },
        log);
}

namespace {

// Hands the pieces straight to the temporary file; the first failure sticks.
class FileSink : public ByteSink {
public:
    explicit FileSink(FileHandle f) : f_(f) {}
    bool write(const char* p, size_t n) override {
        while (ok_ && n > 0) {
            uint32_t chunk = static_cast<uint32_t>(n < 0x40000000u ? n : 0x40000000u);
            if (platform::writeAll(f_, p, chunk, &error_) != chunk) ok_ = false;
            p += chunk;
            n -= chunk;
        }
        return ok_;
    }
    bool ok() const { return ok_; }
    uint32_t error() const { return error_; }

private:
    FileHandle f_;
    bool ok_ = true;
    uint32_t error_ = 0;
};

}  // namespace

bool writeFileStreamed(const char* pathUtf8, const std::function<bool(ByteSink&)>& produce, LogBase* log) {
    if (!pathUtf8 || !*pathUtf8) return false;
    XString name;
    name.setFromUtf8(pathUtf8);
    Route r = routeFor(name);
    return writeByRoute(
        r,
        [&produce](FileHandle f, uint32_t* error) {
            FileSink sink(f);
            bool produced = produce(sink);
            *error = sink.error();
            return produced && sink.ok();
        },
        log);
}

}  // namespace tarvex
