#include "Commands.h"

#include <cstdio>
#include <string>

#include "DocumentFile.h"
#include "NodeWalk.h"
#include "Options.h"
#include "Progress.h"

using tarvex::BstrArg;
using tarvex::Tarvex;

namespace tarvex_cli {
namespace {

// Where a changed document goes: -o, or back to the file it came from.
const std::string& destination(const Options& o) { return o.hasOutput ? o.output : o.positional[0]; }

bool openDocument(const Options& o, Tarvex& doc) {
    doc = Tarvex::create();
    if (!doc) {
        std::fprintf(stderr, "tarvex: cannot create a Tarvex object\n");
        return false;
    }
    return loadDocument(o, doc, o.positional[0]);
}

int fmt(const Options& o) {
    Tarvex doc;
    if (!openDocument(o, doc)) return 1;
    return saveDocument(o, doc, destination(o)) ? 0 : 1;
}

int convert(const Options& o) {
    Tarvex doc;
    if (!openDocument(o, doc)) return 1;
    doc->put_Encoding(BstrArg(o.to));
    if (saveDocument(o, doc, o.output)) return 0;
    std::fprintf(stderr, "tarvex: nothing written; is \"%s\" a known encoding?\n", o.to.c_str());
    return 1;
}

int find(const Options& o) {
    Tarvex doc;
    if (!openDocument(o, doc)) return 1;
    const BstrArg tag(o.positional[1]);
    const bool withPattern = o.positional.size() > 2;
    const BstrArg pattern(withPattern ? o.positional[2] : std::string());
    const LONG caseSensitive = o.ignoreCase ? 0 : 1;
    Progress progress("find", !o.quiet && progressAllowed());
    size_t matches = 0;
    walkDocument(doc, [&](Tarvex& node, size_t visited) {
        progress.tick(visited, "nodes");
        if (!tagIs(node, tag)) return WalkStep::Descend;
        if (withPattern) {
            LONG ok = 0;
            node->ContentMatches(pattern, caseSensitive, &ok);
            if (!ok) return WalkStep::Descend;
        }
        ++matches;
        progress.clear();
        std::string text = o.contentOnly ? node.content() : node.getXml();
        if (!o.contentOnly) {
            // An element's XML comes between line breaks; one line each here.
            const size_t first = text.find_first_not_of("\r\n");
            const size_t last = text.find_last_not_of("\r\n");
            text = first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
        }
        std::fwrite(text.data(), 1, text.size(), stdout);
        std::fputc('\n', stdout);
        return WalkStep::Descend;
    });
    return matches > 0 ? 0 : 1;
}

int get(const Options& o) {
    Tarvex client = Tarvex::create();
    if (!client) return 1;
    ITarvex* raw = nullptr;
    client->HttpGet(BstrArg(o.positional[0]), &raw);
    Tarvex response(raw);
    if (!response) {
        reportFailure(client, "cannot fetch " + o.positional[0]);
        return 1;
    }
    traceLog(o, client, "fetching");
    return saveDocument(o, response, o.hasOutput ? o.output : "-") ? 0 : 1;
}

// The bytes of the node's content, undecoded: DecodeContent hands them over
// unchanged unless they hold encoded words, which decrypted text never does
// by chance.
bool contentIsText(const Tarvex& node) {
    VARIANT bytes;
    VariantInit(&bytes);
    node->DecodeContent(&bytes);
    bool ok = true;
    if (bytes.vt == (VT_ARRAY | VT_UI1) && bytes.parray) {
        LONG lo = 0, hi = -1;
        SafeArrayGetLBound(bytes.parray, 1, &lo);
        SafeArrayGetUBound(bytes.parray, 1, &hi);
        void* data = nullptr;
        if (hi >= lo && SUCCEEDED(SafeArrayAccessData(bytes.parray, &data))) {
            const auto* p = static_cast<const unsigned char*>(data);
            const size_t n = static_cast<size_t>(hi - lo + 1);
            for (size_t i = 0; ok && i < n;) {
                const unsigned char c = p[i];
                if (c < 0x80) {
                    ok = c >= 0x20 ? c != 0x7F : (c == '\t' || c == '\n' || c == '\r');
                    ++i;
                    continue;
                }
                const size_t extra = (c >> 5) == 0x6 ? 1 : (c >> 4) == 0xE ? 2 : (c >> 3) == 0x1E ? 3 : 0;
                ok = extra != 0 && c >= 0xC2 && c <= 0xF4 && i + extra < n;
                for (size_t k = 1; ok && k <= extra; ++k) ok = (p[i + k] & 0xC0) == 0x80;
                i += extra + 1;
            }
            SafeArrayUnaccessData(bytes.parray);
        }
    }
    VariantClear(&bytes);
    return ok;
}

enum class Transform { Encrypt, Decrypt, Compress, Decompress };

// Applies the transform to every element tagged --tag; a failing element
// stops the run and nothing is written.
int transformElements(const Options& o, Transform kind) {
    Tarvex doc;
    if (!openDocument(o, doc)) return 1;
    const BstrArg tag(o.tag);
    const BstrArg password(o.password);
    Progress progress(o.command, !o.quiet && progressAllowed());
    size_t done = 0;
    bool failed = false;
    walkDocument(doc, [&](Tarvex& node, size_t visited) {
        progress.tick(visited, "nodes");
        if (!tagIs(node, tag)) return WalkStep::Descend;
        const std::string before = node.content();
        LONG success = 1;
        const char* what = "";
        switch (kind) {
            case Transform::Encrypt:
                node->EncryptNode(password);
                // Content that stayed as it was was not encrypted.
                success = before.empty() || node.content() != before;
                what = "encrypt";
                break;
            case Transform::Decrypt:
                node->DecryptNode(password, &success);
                if (success && !contentIsText(node)) {
                    progress.clear();
                    reportFailure(Tarvex(), "the content of an element <" + o.tag +
                                                "> does not decrypt to text: wrong password?");
                    failed = true;
                    return WalkStep::Stop;
                }
                what = "decrypt";
                break;
            case Transform::Compress:
                if (o.subtree) {
                    const int children = node.numChildren();
                    node->CompressSubtree();
                    success = node.numChildren() == 0 && (children > 0 || node.content() != before);
                } else {
                    node->CompressNode();
                    success = before.empty() || node.content() != before;
                }
                what = "compress";
                break;
            case Transform::Decompress:
                if (o.subtree)
                    node->DecompressSubtree(&success);
                else
                    node->DecompressNode(&success);
                // The member leaves content that does not inflate as it was
                // and still succeeds; here that is a failure.
                if (success && !before.empty() && node.content() == before &&
                    (!o.subtree || node.numChildren() == 0)) {
                    progress.clear();
                    reportFailure(node, "the content of an element <" + o.tag + "> is not compressed data");
                    failed = true;
                    return WalkStep::Stop;
                }
                what = "decompress";
                break;
        }
        if (!success) {
            progress.clear();
            reportFailure(node, std::string("cannot ") + what + " an element <" + o.tag + ">");
            failed = true;
            return WalkStep::Stop;
        }
        ++done;
        // A subtree made into content, or restored from it, is not walked again.
        return o.subtree ? WalkStep::SkipChildren : WalkStep::Descend;
    });
    progress.clear();
    if (failed) return 1;
    if (o.verbose) std::fprintf(stderr, "tarvex: %zu elements <%s>\n", done, o.tag.c_str());
    return saveDocument(o, doc, destination(o)) ? 0 : 1;
}

}  // namespace

int runCommand(const Options& o) {
    if (o.command == "fmt") return fmt(o);
    if (o.command == "convert") return convert(o);
    if (o.command == "find") return find(o);
    if (o.command == "get") return get(o);
    if (o.command == "encrypt") return transformElements(o, Transform::Encrypt);
    if (o.command == "decrypt") return transformElements(o, Transform::Decrypt);
    if (o.command == "compress") return transformElements(o, Transform::Compress);
    return transformElements(o, Transform::Decompress);
}

}  // namespace tarvex_cli
