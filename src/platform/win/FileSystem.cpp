// Files on Windows. ANSI names are opened with the ...A calls; UTF-8 names
// chosen for the wide route are converted to UTF-16 here and opened with the
// ...W calls.
#include "platform/FileSystem.h"

#include <windows.h>

#include <string>
#include <vector>

namespace tarvex {
namespace platform {

namespace {

constexpr DWORD kSharingViolation = 32;  // ERROR_SHARING_VIOLATION
constexpr DWORD kChunk = 0x40000000;     // largest single ReadFile/WriteFile

bool toWide(const char* utf8, std::vector<wchar_t>& out) {
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
    if (n <= 0) return false;
    out.resize(static_cast<size_t>(n));
    return MultiByteToWideChar(CP_UTF8, 0, utf8, -1, out.data(), n) > 0;
}

FileHandle openWith(const char* name, NameForm form, DWORD access, DWORD share, DWORD disposition,
                    uint32_t* error) {
    if (error) *error = 0;
    if (!name || !*name) {
        if (error) *error = ERROR_FILE_NOT_FOUND;
        return kInvalidFile;
    }
    HANDLE h;
    if (form == NameForm::Wide) {
        std::vector<wchar_t> wide;
        if (!toWide(name, wide)) {
            if (error) *error = GetLastError();
            return kInvalidFile;
        }
        h = CreateFileW(wide.data(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL,
                        nullptr);
    } else {
        h = CreateFileA(name, access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    if (h == INVALID_HANDLE_VALUE) {
        if (error) *error = GetLastError();
        return kInvalidFile;
    }
    return reinterpret_cast<FileHandle>(h);
}

HANDLE handleOf(FileHandle f) { return reinterpret_cast<HANDLE>(f); }

}  // namespace

FileHandle openForRead(const char* name, NameForm form, uint32_t* error) {
    return openWith(name, form, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, error);
}

FileHandle openForWrite(const char* name, NameForm form, uint32_t* error) {
    return openWith(name, form, GENERIC_WRITE, 0, CREATE_ALWAYS, error);
}

FileHandle openForCreateNew(const char* name, NameForm form, uint32_t* error) {
    return openWith(name, form, GENERIC_WRITE, 0, CREATE_NEW, error);
}

bool fileSize(FileHandle f, uint64_t* size, uint32_t* error) {
    if (error) *error = 0;
    LARGE_INTEGER li;
    if (!GetFileSizeEx(handleOf(f), &li)) {
        if (error) *error = GetLastError();
        return false;
    }
    if (size) *size = static_cast<uint64_t>(li.QuadPart);
    return true;
}

uint32_t readAll(FileHandle f, void* p, uint32_t n, uint32_t* error) {
    if (error) *error = 0;
    uint8_t* out = static_cast<uint8_t*>(p);
    uint32_t done = 0;
    while (done < n) {
        DWORD want = n - done < kChunk ? n - done : kChunk;
        DWORD got = 0;
        if (!ReadFile(handleOf(f), out + done, want, &got, nullptr)) {
            if (error) *error = GetLastError();
            break;
        }
        if (got == 0) break;  // end of file
        done += got;
    }
    return done;
}

uint32_t writeAll(FileHandle f, const void* p, uint32_t n, uint32_t* error) {
    if (error) *error = 0;
    const uint8_t* in = static_cast<const uint8_t*>(p);
    uint32_t done = 0;
    while (done < n) {
        DWORD want = n - done < kChunk ? n - done : kChunk;
        DWORD put = 0;
        if (!WriteFile(handleOf(f), in + done, want, &put, nullptr)) {
            if (error) *error = GetLastError();
            break;
        }
        if (put == 0) {
            if (error) *error = ERROR_WRITE_FAULT;
            break;
        }
        done += put;
    }
    return done;
}

bool flushFile(FileHandle f, uint32_t* error) {
    if (error) *error = 0;
    if (!FlushFileBuffers(handleOf(f))) {
        if (error) *error = GetLastError();
        return false;
    }
    return true;
}

void closeFile(FileHandle f) {
    if (f == kInvalidFile) return;
    CloseHandle(handleOf(f));
}

bool replaceFile(const char* source, const char* target, NameForm form, uint32_t* error) {
    if (error) *error = 0;
    const DWORD flags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
    BOOL ok;
    if (form == NameForm::Wide) {
        std::vector<wchar_t> from, to;
        if (!toWide(source, from) || !toWide(target, to)) {
            if (error) *error = GetLastError();
            return false;
        }
        ok = MoveFileExW(from.data(), to.data(), flags);
    } else {
        ok = MoveFileExA(source, target, flags);
    }
    if (!ok) {
        if (error) *error = GetLastError();
        return false;
    }
    return true;
}

bool removeFile(const char* name, NameForm form) {
    if (!name) return false;
    if (form == NameForm::Wide) {
        std::vector<wchar_t> wide;
        return toWide(name, wide) && DeleteFileW(wide.data());
    }
    return DeleteFileA(name) != 0;
}

// Saving replaces the file a name opens; links are left to the system.
bool linkTarget(const char*, NameForm, std::string&) { return false; }

bool isSharingViolation(uint32_t error) { return error == kSharingViolation; }

bool supportsWideNames() {
    // The Windows 95 family (platform 1) has no wide file calls.
    OSVERSIONINFOA info;
    ZeroMemory(&info, sizeof(info));
    info.dwOSVersionInfoSize = sizeof(info);
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#endif
    BOOL ok = GetVersionExA(&info);
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
    return !ok || info.dwPlatformId != 1;
}

bool namesAreUtf8() { return false; }

}  // namespace platform
}  // namespace tarvex
