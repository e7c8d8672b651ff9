#include "Options.h"

#include <cstring>
#include <fstream>

namespace tarvex_cli {
namespace {

struct CommandRule {
    const char* name;
    int minPositional;
    int maxPositional;
    const char* allowed;   // option names the command accepts
    const char* required;  // option names it needs
};

// Every command also takes -v, -q and --help.
const CommandRule kRules[] = {
    {"fmt", 1, 1, "-o", ""},
    {"convert", 1, 1, "--to -o", "--to -o"},
    {"find", 2, 3, "-i --content", ""},
    {"get", 1, 1, "-o", ""},
    {"encrypt", 1, 1, "--password --tag -o", "--password --tag"},
    {"decrypt", 1, 1, "--password --tag -o", "--password --tag"},
    {"compress", 1, 1, "--tag --subtree -o", "--tag"},
    {"decompress", 1, 1, "--tag --subtree -o", "--tag"},
};

bool listed(const char* list, const char* name) {
    const size_t n = std::strlen(name);
    for (const char* p = list; (p = std::strstr(p, name)) != nullptr; p += n) {
        const bool startOk = p == list || p[-1] == ' ';
        const bool endOk = p[n] == '\0' || p[n] == ' ';
        if (startOk && endOk) return true;
    }
    return false;
}

bool readPasswordFile(const std::string& path, std::string& password) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::getline(in, password);
    if (!password.empty() && password.back() == '\r') password.pop_back();
    return true;
}

}  // namespace

const char* usageText() {
    return "Usage: tarvex COMMAND ARGUMENTS [OPTIONS]\n"
           "\n"
           "Commands:\n"
           "  fmt FILE [-o OUT]                 load FILE and write it back in its declared encoding\n"
           "  convert FILE --to ENCODING -o OUT write FILE in another encoding\n"
           "  find FILE TAG [PATTERN]           print every element tagged TAG (\"*\": any tag) whose\n"
           "                                    content matches PATTERN (\"*\" is the wildcard)\n"
           "  get URL [-o OUT]                  fetch a document over HTTP or HTTPS and print it\n"
           "  encrypt FILE --password P --tag T encrypt the content of every element tagged T\n"
           "  decrypt FILE --password P --tag T decrypt it again\n"
           "  compress FILE --tag T [--subtree] compress the content (or, with --subtree, the\n"
           "                                    whole subtree) of every element tagged T\n"
           "  decompress FILE --tag T [--subtree]\n"
           "                                    restore it\n"
           "\n"
           "Options:\n"
           "  -o, --output OUT        write to OUT instead of back to FILE (\"-\": standard output)\n"
           "  --password-file F       read the password from the first line of F\n"
           "  -i, --ignore-case       find: match PATTERN without regard to case\n"
           "  --content               find: print the content of each element, not its XML\n"
           "  -v, --verbose           print the call log of every step on standard error\n"
           "  -q, --quiet             never draw progress (it is drawn only on a terminal)\n"
           "  -h, --help              show this text\n"
           "  --version               show the library version\n"
           "\n"
           "Exit status: 0 success; 1 failure (the call log is printed on standard error),\n"
           "or for find, nothing found; 2 bad usage.\n";
}

bool parseOptions(int argc, char** argv, Options& o, std::string& error) {
    // Options that take a value, in both spellings.
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](std::string& into, bool& flag, const char* name) {
            if (i + 1 >= argc) {
                error = std::string("option ") + name + " needs a value";
                return false;
            }
            into = argv[++i];
            flag = true;
            return true;
        };
        bool seen = false;
        if (arg == "-h" || arg == "--help") {
            o.help = true;
        } else if (arg == "--version") {
            o.version = true;
        } else if (arg == "-v" || arg == "--verbose") {
            o.verbose = true;
        } else if (arg == "-q" || arg == "--quiet") {
            o.quiet = true;
        } else if (arg == "-i" || arg == "--ignore-case") {
            o.ignoreCase = true;
        } else if (arg == "--content") {
            o.contentOnly = true;
        } else if (arg == "--subtree") {
            o.subtree = true;
        } else if (arg == "-o" || arg == "--output") {
            if (!value(o.output, o.hasOutput, "-o")) return false;
        } else if (arg == "--to") {
            if (!value(o.to, o.hasTo, "--to")) return false;
        } else if (arg == "--tag") {
            if (!value(o.tag, o.hasTag, "--tag")) return false;
        } else if (arg == "--password") {
            if (!value(o.password, o.hasPassword, "--password")) return false;
        } else if (arg == "--password-file") {
            std::string path;
            if (!value(path, seen, "--password-file")) return false;
            if (!readPasswordFile(path, o.password)) {
                error = "cannot read the password file " + path;
                return false;
            }
            o.hasPassword = true;
        } else if (arg.size() > 1 && arg[0] == '-' && arg != "-") {
            error = "unknown option " + arg;
            return false;
        } else if (o.command.empty()) {
            o.command = arg;
        } else {
            o.positional.push_back(arg);
        }
    }
    if (o.help || o.version) return true;
    if (o.command.empty()) {
        error = "no command given";
        return false;
    }
    const CommandRule* rule = nullptr;
    for (const CommandRule& r : kRules)
        if (o.command == r.name) rule = &r;
    if (rule == nullptr) {
        error = "unknown command " + o.command;
        return false;
    }
    const int n = static_cast<int>(o.positional.size());
    if (n < rule->minPositional || n > rule->maxPositional) {
        error = o.command + ": wrong number of arguments";
        return false;
    }
    const struct {
        const char* name;
        bool given;
    } given[] = {{"-o", o.hasOutput},       {"--to", o.hasTo},         {"--password", o.hasPassword},
                 {"--tag", o.hasTag},       {"--subtree", o.subtree},  {"-i", o.ignoreCase},
                 {"--content", o.contentOnly}};
    for (const auto& g : given) {
        if (g.given && !listed(rule->allowed, g.name)) {
            error = o.command + " does not take " + g.name;
            return false;
        }
        if (!g.given && listed(rule->required, g.name)) {
            error = o.command + " needs " + g.name;
            return false;
        }
    }
    if (o.hasTag && o.tag.empty()) {
        error = "--tag needs a non-empty tag";
        return false;
    }
    return true;
}

}  // namespace tarvex_cli
