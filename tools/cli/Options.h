// Options: the command line of the tarvex tool, parsed and checked against
// what each subcommand takes.
#pragma once

#include <string>
#include <vector>

namespace tarvex_cli {

struct Options {
    std::string command;                  // fmt, convert, find, get, encrypt, ...
    std::vector<std::string> positional;  // FILE, TAG, PATTERN, URL
    std::string output;                   // -o; "-" is standard output
    bool hasOutput = false;
    std::string to;                       // --to ENCODING
    bool hasTo = false;
    std::string password;                 // --password or the first line of --password-file
    bool hasPassword = false;
    std::string tag;                      // --tag
    bool hasTag = false;
    bool subtree = false;                 // --subtree
    bool ignoreCase = false;              // -i
    bool contentOnly = false;             // --content
    bool verbose = false;                 // -v
    bool quiet = false;                   // -q
    bool help = false;
    bool version = false;
};

// Parses argv[1..]. On bad usage returns false and sets `error` to a one-line
// reason. `--help` and `--version` anywhere succeed without further checks.
bool parseOptions(int argc, char** argv, Options& options, std::string& error);

// The full --help text.
const char* usageText();

}  // namespace tarvex_cli
