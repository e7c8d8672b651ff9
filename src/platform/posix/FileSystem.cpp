// Files on POSIX systems. Names are UTF-8 bytes and are opened as they are,
// whichever route the caller chose.
#include "platform/FileSystem.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvex {
namespace platform {

namespace {

FileHandle openWith(const char* name, int flags, uint32_t* error) {
    if (error) *error = 0;
    if (!name || !*name) {
        if (error) *error = ENOENT;
        return kInvalidFile;
    }
    int fd;
    do {
        fd = ::open(name, flags | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        if (error) *error = static_cast<uint32_t>(errno);
        return kInvalidFile;
    }
    // A folder opens for reading but is never a file to load.
    struct stat st{};
    if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        if (error) *error = EISDIR;
        return kInvalidFile;
    }
    return static_cast<FileHandle>(fd);
}

int fdOf(FileHandle f) { return static_cast<int>(f); }

// Makes a rename durable: syncs the folder that holds `path`.
void syncParentFolder(const char* path) {
    std::string folder(path);
    size_t slash = folder.find_last_of('/');
    if (slash == std::string::npos) folder = ".";
    else if (slash == 0) folder = "/";
    else folder.resize(slash);
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    while (fsync(fd) != 0 && errno == EINTR) {
    }
    ::close(fd);
}

}  // namespace

FileHandle openForRead(const char* name, NameForm, uint32_t* error) {
    return openWith(name, O_RDONLY, error);
}

FileHandle openForWrite(const char* name, NameForm, uint32_t* error) {
    return openWith(name, O_WRONLY | O_CREAT | O_TRUNC, error);
}

FileHandle openForCreateNew(const char* name, NameForm, uint32_t* error) {
    return openWith(name, O_WRONLY | O_CREAT | O_EXCL, error);
}

bool fileSize(FileHandle f, uint64_t* size, uint32_t* error) {
    if (error) *error = 0;
    struct stat st{};
    if (fstat(fdOf(f), &st) != 0) {
        if (error) *error = static_cast<uint32_t>(errno);
        return false;
    }
    if (size) *size = static_cast<uint64_t>(st.st_size);
    return true;
}

uint32_t readAll(FileHandle f, void* p, uint32_t n, uint32_t* error) {
    if (error) *error = 0;
    uint8_t* out = static_cast<uint8_t*>(p);
    uint32_t done = 0;
    while (done < n) {
        ssize_t got = ::read(fdOf(f), out + done, n - done);
        if (got > 0) {
            done += static_cast<uint32_t>(got);
        } else if (got == 0) {
            break;  // end of file
        } else if (errno != EINTR) {
            if (error) *error = static_cast<uint32_t>(errno);
            break;
        }
    }
    return done;
}

uint32_t writeAll(FileHandle f, const void* p, uint32_t n, uint32_t* error) {
    if (error) *error = 0;
    const uint8_t* in = static_cast<const uint8_t*>(p);
    uint32_t done = 0;
    while (done < n) {
        ssize_t put = ::write(fdOf(f), in + done, n - done);
        if (put > 0) {
            done += static_cast<uint32_t>(put);
        } else if (put == 0) {
            if (error) *error = EIO;
            break;
        } else if (errno != EINTR) {
            if (error) *error = static_cast<uint32_t>(errno);
            break;
        }
    }
    return done;
}

bool flushFile(FileHandle f, uint32_t* error) {
    if (error) *error = 0;
    int rc;
    do {
        rc = fsync(fdOf(f));
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        // Files that cannot be synced (special files) have nothing to flush.
        if (errno == EINVAL || errno == EROFS) return true;
        if (error) *error = static_cast<uint32_t>(errno);
        return false;
    }
    return true;
}

void closeFile(FileHandle f) {
    if (f == kInvalidFile) return;
    ::close(fdOf(f));  // never retried: the descriptor is gone either way
}

bool replaceFile(const char* source, const char* target, NameForm, uint32_t* error) {
    if (error) *error = 0;
    // The new file keeps the permissions of the one it replaces, and a file
    // this process may not write to is not replaced either.
    struct stat st{};
    if (::stat(target, &st) == 0 && S_ISREG(st.st_mode)) {
        if (::access(target, W_OK) != 0) {
            if (error) *error = static_cast<uint32_t>(errno);
            return false;
        }
        ::chmod(source, st.st_mode & 07777);
    }
    if (::rename(source, target) != 0) {
        if (error) *error = static_cast<uint32_t>(errno);
        return false;
    }
    syncParentFolder(target);
    return true;
}

bool removeFile(const char* name, NameForm) {
    return name && ::unlink(name) == 0;
}

bool linkTarget(const char* name, NameForm, std::string& out) {
    struct stat st{};
    if (!name || ::lstat(name, &st) != 0 || !S_ISLNK(st.st_mode)) return false;
    // A link to a file that exists resolves fully; a dangling link names the
    // file to create, relative to the link's own folder.
    if (char* real = ::realpath(name, nullptr)) {
        out = real;
        ::free(real);
        return true;
    }
    char buf[4096];
    ssize_t n = ::readlink(name, buf, sizeof(buf) - 1);
    if (n <= 0) return false;
    std::string link(buf, static_cast<size_t>(n));
    if (link[0] != '/') {
        std::string folder(name);
        size_t slash = folder.rfind('/');
        link = (slash == std::string::npos ? std::string() : folder.substr(0, slash + 1)) + link;
    }
    out = link;
    return true;
}

bool isSharingViolation(uint32_t) { return false; }

bool supportsWideNames() { return true; }

bool namesAreUtf8() { return true; }

}  // namespace platform
}  // namespace tarvex
