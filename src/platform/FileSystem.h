// The platform seam for files. Names are UTF-8 (POSIX opens them directly;
// Windows converts to UTF-16 or uses the ANSI form as the caller chooses).
#pragma once

#include <cstdint>
#include <string>

namespace tarvex {
namespace platform {

using FileHandle = intptr_t;
constexpr FileHandle kInvalidFile = -1;

enum class NameForm { Ansi, Wide };

// Opens for reading (share read, open existing) or writing (no sharing, create
// or replace). `name` is the ANSI form for NameForm::Ansi, else UTF-8 to be
// opened by its wide form. On failure returns kInvalidFile and the error code.
FileHandle openForRead(const char* name, NameForm form, uint32_t* error);
FileHandle openForWrite(const char* name, NameForm form, uint32_t* error);
// Creates a new file for writing (no sharing); fails if the name exists.
FileHandle openForCreateNew(const char* name, NameForm form, uint32_t* error);
bool fileSize(FileHandle f, uint64_t* size, uint32_t* error);
// Reads or writes until n bytes are done, the end of file, or an error;
// returns the count done.
uint32_t readAll(FileHandle f, void* p, uint32_t n, uint32_t* error);
uint32_t writeAll(FileHandle f, const void* p, uint32_t n, uint32_t* error);
bool flushFile(FileHandle f, uint32_t* error);
void closeFile(FileHandle f);
// Atomically replaces `target` with `source` (rename / MoveFileEx).
bool replaceFile(const char* source, const char* target, NameForm form, uint32_t* error);
bool removeFile(const char* name, NameForm form);
// The file a write to `name` should replace: a symbolic link is followed to
// the file it names, so saving through a link keeps the link. Returns false
// (and leaves `out` alone) when `name` is not a link or cannot be resolved.
bool linkTarget(const char* name, NameForm form, std::string& out);
bool isSharingViolation(uint32_t error);
bool supportsWideNames();
// True where file names are opened as UTF-8 bytes whatever the route (POSIX):
// the caller then passes the UTF-8 form for NameForm::Ansi too.
bool namesAreUtf8();

}  // namespace platform
}  // namespace tarvex
