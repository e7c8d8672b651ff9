// tarvex: load, convert, search, fetch, encrypt and compress XML documents
// from the command line. See usageText() in Options.cpp.
#include <cstdio>
#include <string>

#include "Commands.h"
#include "Options.h"
#include "tarvex/tarvex.hpp"

int main(int argc, char** argv) {
    tarvex_cli::Options options;
    std::string error;
    if (!tarvex_cli::parseOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "tarvex: %s\nTry 'tarvex --help'.\n", error.c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(tarvex_cli::usageText(), stdout);
        return 0;
    }
    if (options.version) {
        tarvex::Tarvex probe = tarvex::Tarvex::create();
        BSTR version = nullptr;
        if (probe) probe->get_Version(&version);
        std::printf("tarvex %s\n", tarvex::fromBstr(version).c_str());
        SysFreeString(version);
        return 0;
    }
    const int status = tarvex_cli::runCommand(options);
    if (std::fflush(stdout) != 0) return 1;
    return status;
}
