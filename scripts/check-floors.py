#!/usr/bin/env python3
"""Checks that the folders under src/ keep their floors.

An #include may only point down a floor, folders on the same floor do not
include each other, and only src/platform/ may include an operating-system
header or test an operating-system or C-library macro. Exits 1 and prints one
line per offence when any is found.

Usage: check-floors.py [--root DIR]   (DIR holds src/; default: this repository)
"""
import argparse
import os
import re
import sys

# Lowest first; folders in one inner list share a floor.
FLOORS = [
    ["platform"], ["base"], ["text"], ["charset"], ["file"], ["tree"],
    ["log", "xml", "search"], ["codec"], ["http"], ["component"], ["module"],
]
FLOOR = {folder: level for level, group in enumerate(FLOORS) for folder in group}

# Public headers (include/tarvex/...): the automation types every floor uses.
PUBLIC_PREFIX = "tarvex/"

# Headers that belong to one operating system or to a system library.
PLATFORM_HEADERS = re.compile(
    r"^(windows|winsock2?|ws2tcpip|ws2def|mswsock|iphlpapi|bcrypt|wincrypt|schannel|security|sspi|"
    r"ntsecapi|oleauto|objbase|ole2|oaidl|ocidl|unknwn|winerror|winbase|winnt|wininet|winhttp|shlwapi|"
    r"shlobj|io|direct|process|tchar|intrin_win|unistd|fcntl|dlfcn|pthread|netdb|poll|termios|syslog|"
    r"malloc|mimalloc|mimalloc-new-delete|iconv|langinfo|dirent|pwd|grp|spawn|signal)\.h$"
    r"|^(sys|netinet|arpa|linux|mach|openssl|gnutls|security|CoreFoundation)/",
    re.IGNORECASE)

# Macros that name an operating system, a C library or the allocator choice.
# Compiler and CPU checks (__GNUC__, __SSE2__, _MSC_VER, byte order) may stay.
OS_MACROS = re.compile(
    r"\b(_WIN32|_WIN64|WIN32|_WINDOWS|__WINDOWS__|__CYGWIN__|__MINGW32__|__MINGW64__|__linux__|__linux|"
    r"linux|__gnu_linux__|__ANDROID__|__GLIBC__|__GNU_LIBRARY__|__UCLIBC__|__APPLE__|__MACH__|__unix__|"
    r"__unix|unix|__FreeBSD__|__NetBSD__|__OpenBSD__|__DragonFly__|__sun|_AIX|__HAIKU__|__EMSCRIPTEN__|"
    r"_POSIX_VERSION|_POSIX_C_SOURCE|_GNU_SOURCE|TARVEX_USE_MIMALLOC|TARVEX_GLIBC_HEAP)\b")

# Known, owned exceptions: remove the entry when the file moves behind the seam.
EXCEPTIONS = {
    "base/Memory.cpp": "the allocator choice, to become a platform service",
    "component/DispatchTable.cpp": "the native call thunk, to move behind the platform seam",
}

INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')
CONDITIONAL = re.compile(r"^\s*#\s*(if|ifdef|ifndef|elif|elifdef|elifndef)\b(.*)$")


def logical_lines(text):
    """Source lines with backslash continuations joined, numbered by their first line."""
    lines = text.split("\n")
    i = 0
    while i < len(lines):
        start = i
        line = lines[i]
        while line.endswith("\\") and i + 1 < len(lines):
            i += 1
            line = line[:-1] + " " + lines[i]
        yield start + 1, line
        i += 1


def strip_comment(line):
    line = re.sub(r"/\*.*?\*/", " ", line)
    return line.split("//", 1)[0]


def folder_of(rel):
    """The floor folder of a path relative to src/ and, for platform/, its backend."""
    parts = rel.split("/")
    backend = parts[1] if parts[0] == "platform" and len(parts) > 2 else None
    return parts[0], backend


def check(root):
    src = os.path.join(root, "src")
    if not os.path.isdir(src):
        return ["no src/ folder under %s" % root]
    problems = []
    for dirpath, _, files in os.walk(src):
        for name in sorted(files):
            if not name.endswith((".h", ".hpp", ".cpp", ".cc", ".c", ".inc")):
                continue
            path = os.path.join(dirpath, name)
            rel = os.path.relpath(path, src).replace(os.sep, "/")
            folder, backend = folder_of(rel)
            if folder not in FLOOR:
                problems.append("%s: folder %s/ has no floor; add it to FLOORS" % (rel, folder))
                continue
            excepted = rel in EXCEPTIONS
            with open(path, encoding="utf-8", errors="replace") as f:
                text = f.read()
            for number, line in logical_lines(text):
                where = "src/%s:%d" % (rel, number)
                m = INCLUDE.match(line)
                if m:
                    kind, target = m.group(1), m.group(2).strip()
                    if kind == "<":
                        if folder != "platform" and not excepted and PLATFORM_HEADERS.search(target):
                            problems.append("%s: platform header <%s> above the seam" % (where, target))
                        continue
                    if target.startswith(PUBLIC_PREFIX):
                        continue
                    if "/" not in target and os.path.isfile(os.path.join(dirpath, target)):
                        continue  # a header next to the file
                    if target.startswith("."):  # relative to the including file
                        target = os.path.relpath(os.path.join(dirpath, target), src)
                    target = os.path.normpath(target).replace(os.sep, "/")
                    to_folder, to_backend = folder_of(target)
                    if to_folder not in FLOOR:
                        problems.append("%s: include \"%s\" names no floor folder" % (where, target))
                    elif to_folder == folder:
                        if to_backend and to_backend != backend:
                            problems.append("%s: include \"%s\" reaches into another backend" % (where, target))
                    elif FLOOR[to_folder] == FLOOR[folder]:
                        problems.append("%s: include \"%s\" crosses to %s/ on the same floor"
                                        % (where, target, to_folder))
                    elif FLOOR[to_folder] > FLOOR[folder]:
                        problems.append("%s: include \"%s\" points up from %s/ to %s/"
                                        % (where, target, folder, to_folder))
                    continue
                m = CONDITIONAL.match(line)
                if m and folder != "platform" and not excepted:
                    macro = OS_MACROS.search(strip_comment(m.group(2)))
                    if macro:
                        problems.append("%s: operating-system conditional on %s above the seam"
                                        % (where, macro.group(1)))
    return problems


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--root", default=os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
    args = parser.parse_args()
    problems = check(os.path.abspath(args.root))
    for p in problems:
        print(p)
    if problems:
        print("floor check: %d problem(s)" % len(problems))
        return 1
    print("floor check: ok")
    return 0


if __name__ == "__main__":
    sys.exit(main())
