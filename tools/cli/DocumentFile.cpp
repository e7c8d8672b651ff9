#include "DocumentFile.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <system_error>

#include "Options.h"
#include "Progress.h"

namespace tarvex_cli {
namespace {

// Files above this size get a status line while they load.
constexpr std::uintmax_t kLargeFile = 16u << 20;

// A fresh name in the temporary directory for output meant for stdout: the
// document is written by SaveXml, which encodes it as declared.
std::filesystem::path temporaryName() {
    std::random_device seed;
    std::mt19937_64 random(seed());
    char name[40];
    std::snprintf(name, sizeof name, "tarvex-%016llx.xml", static_cast<unsigned long long>(random()));
    std::error_code ec;
    std::filesystem::path dir = std::filesystem::temp_directory_path(ec);
    if (ec) dir = ".";
    return dir / name;
}

}  // namespace

void reportFailure(const tarvex::Tarvex& object, const std::string& message) {
    std::fprintf(stderr, "tarvex: %s\n", message.c_str());
    if (object) std::fputs(object.lastErrorText().c_str(), stderr);
}

void traceLog(const Options& options, const tarvex::Tarvex& object, const char* step) {
    if (!options.verbose || !object) return;
    std::fprintf(stderr, "-- call log after %s:\n%s", step, object.lastErrorText().c_str());
}

bool loadDocument(const Options& options, tarvex::Tarvex& doc, const std::string& path) {
    std::error_code ec;
    const std::uintmax_t size = std::filesystem::file_size(path, ec);
    Progress progress("load", !options.quiet && progressAllowed() && !ec && size >= kLargeFile);
    if (!ec && size >= kLargeFile)
        progress.status("loading " + path + " (" + std::to_string(size >> 20) + " MiB)...");
    const bool ok = doc.loadXmlFile(path);
    progress.clear();
    if (!ok) {
        reportFailure(doc, "cannot load " + path);
        return false;
    }
    traceLog(options, doc, "loading");
    return true;
}

bool saveDocument(const Options& options, tarvex::Tarvex& doc, const std::string& path) {
    if (path != "-") {
        if (!doc.saveXml(path)) {
            reportFailure(doc, "cannot write " + path);
            return false;
        }
        traceLog(options, doc, "saving");
        return true;
    }
    const std::filesystem::path temp = temporaryName();
    if (!doc.saveXml(temp.string())) {
        reportFailure(doc, "cannot write the document");
        return false;
    }
    traceLog(options, doc, "saving");
    bool ok = false;
    {
        std::ifstream in(temp, std::ios::binary);
        ok = in && (std::cout << in.rdbuf()) && std::cout.flush();
    }
    std::error_code ec;
    std::filesystem::remove(temp, ec);
    if (!ok) std::fprintf(stderr, "tarvex: cannot write to standard output\n");
    return ok;
}

}  // namespace tarvex_cli
