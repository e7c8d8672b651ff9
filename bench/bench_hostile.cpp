// Hostile shapes: inputs built to make a forgiving parser (or the save's
// fallback writer, or the HTTP response reader) rescan what it already read. Each shape runs at n and 8n
// repeats; a linear routine takes about 8 times as long at 8n, a quadratic
// one about 64 times. The table at the end gives both times and the ratio,
// with libxml2's recovering parser on the same text as the peer.
//
//   bench_hostile [--benchmark_filter=...]   TARVEX_HOSTILE_N sets n (default 20000)
//
// libxml2 itself is quadratic on three shapes (unclosed comments, in and out
// of a DOCTYPE, and many attributes: about 60x at 8n); it runs on them only
// with TARVEX_HOSTILE_PEERS_ALL=1, which takes minutes at the default n.
#include <benchmark/benchmark.h>
#include <libxml/parser.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "http/HttpResponseHeader.h"
#include "http/HttpStream.h"
#include "http/OstrandUrl.h"
#include "http/ResponseReader.h"
#include "log/Logger.h"
#include "search/TreeSearch.h"
#include "text/DataBuffer.h"
#include "text/StringBuffer.h"
#include "tree/AttributeSet.h"
#include "tree/TreeNode.h"
#include "xml/XmlParser.h"
#include "xml/XmlSerializer.h"

using namespace tarvex;

namespace {

struct Shape {
    const char* name;
    const char* head;
    const char* unit;
    const char* tail;
    bool peerQuadratic = false;   // libxml2 takes quadratic time on it
};

// Each is head + unit * repeats + tail.
const Shape kShapes[] = {
    {"pi_unclosed", "<r>", "<?a", ""},
    {"doctype_comment_unclosed", "<!DOCTYPE r [", "<!--", "", true},
    {"doctype_pi_unclosed", "<!DOCTYPE r [", "<?", ""},
    {"doctype_quotes", "<!DOCTYPE r [", "'\"", "]><r/>"},
    {"prolog_pi_toplevel", "", "<?p?><a/>", ""},
    {"comment_unclosed", "<r>", "<!--", "", true},
    {"cdata_openers", "<r>", "<![CDATA[", ""},
    {"cdata_sections", "<r>", "<![CDATA[x]]>", "</r>"},
    {"quote_unterminated", "<r>", "<a b=\"", ""},
    {"stray_closing_tags", "<r>", "</<y>", "</r>"},
    {"bare_ampersands", "<r a='&&&&&&&&'>", "&&&&&&&&", "</r>"},
    {"many_attributes", "<r ", "a='1' ", "/>", true},
    {"deep_nesting", "", "<a>", ""},
    {"many_siblings", "<r>", "<a/>", "</r>"},
    {"mixed_content", "<r>", "x<b/>", "</r>"},
    {"text_and_cdata", "<r>", "&#233;<![CDATA[x]]>", "</r>"},
    {"unknown_declarations", "<r>", "<!x", ""},
    {"declaration_attrs", "<?xml ", "a='1' ", "?><r/>"},
};

int64_t baseN() {
    const char* env = std::getenv("TARVEX_HOSTILE_N");
    int64_t n = env ? std::atoll(env) : 20000;
    return n > 0 ? n : 20000;
}

std::string build(const Shape& s, int64_t repeats) {
    std::string text = s.head;
    std::string unit = s.unit;
    text.reserve(text.size() + unit.size() * static_cast<size_t>(repeats) + 16);
    for (int64_t i = 0; i < repeats; ++i) text += unit;
    text += s.tail;
    return text;
}

// CPU seconds per iteration, by benchmark name, for the closing table (the
// machine may be shared; CPU time is the steadier measure).
std::map<std::string, double>& times() {
    static std::map<std::string, double> t;
    return t;
}

void parseShape(benchmark::State& state, const Shape* shape) {
    const std::string text = build(*shape, state.range(0));
    for (auto _ : state) {
        Logger log;
        TreeNode* root = nullptr;
        XmlParser::parseUtf8(text.data(), static_cast<int32_t>(text.size()), &log, &root);
        if (root) TreeNode::Destroy(root);
        benchmark::DoNotOptimize(root);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}

void libxml2Shape(benchmark::State& state, const Shape* shape) {
    const std::string text = build(*shape, state.range(0));
    for (auto _ : state) {
        xmlDocPtr doc = xmlReadMemory(text.data(), static_cast<int>(text.size()), nullptr, nullptr,
                                      XML_PARSE_RECOVER | XML_PARSE_NOERROR | XML_PARSE_NOWARNING |
                                          XML_PARSE_NONET | XML_PARSE_HUGE);
        if (doc) xmlFreeDoc(doc);
        benchmark::DoNotOptimize(doc);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}

TreeNode* parseText(const std::string& text) {
    TreeNode* root = nullptr;
    XmlParser::parseUtf8(text.data(), static_cast<int32_t>(text.size()), nullptr, &root);
    return root;
}

// Times saving the parsed `text` in the charset its declaration names.
void saveText(benchmark::State& state, const std::string& text) {
    TreeNode* root = parseText(text);
    for (auto _ : state) {
        Logger log;
        DataBuffer out;
        XmlSerializer::encodeForSave(root, out, &log);
        benchmark::DoNotOptimize(out.getData());
    }
    TreeNode::Destroy(root);
}

// One element with n attributes and one character Latin-1 lacks, saved as
// ISO-8859-1: the fallback writer walks the attribute list.
void saveManyAttributes(benchmark::State& state) {
    std::string text = "<?xml version='1.0' encoding='iso-8859-1'?><r";
    for (int64_t i = 0; i < state.range(0); ++i) text += " a" + std::to_string(i) + "='v'";
    text += ">\xD0\x96</r>";
    saveText(state, text);
}

// Many CDATA elements holding a character the target lacks.
void saveCdataFallback(benchmark::State& state) {
    std::string text = "<?xml version='1.0' encoding='iso-8859-1'?><r>";
    for (int64_t i = 0; i < state.range(0); ++i) text += "<c><![CDATA[\xD0\x96 <&>]]></c>";
    text += "</r>";
    saveText(state, text);
}

// An attribute search over one element with n attributes, none matching.
void searchManyAttributes(benchmark::State& state) {
    std::string text = "<r><e";
    for (int64_t i = 0; i < state.range(0); ++i) text += " a='v" + std::to_string(i) + "'";
    text += "/></r>";
    TreeNode* root = parseText(text);
    for (auto _ : state) {
        TreeNode* hit = TreeSearch::SearchForAttribute(root, nullptr, "e", "a", "none*");
        benchmark::DoNotOptimize(hit);
    }
    TreeNode::Destroy(root);
}

// A server's response held in memory, handed out in pieces of `piece` bytes.
class MemoryStream : public HttpStream {
public:
    MemoryStream(const std::string& text, uint32_t piece) : text_(text), piece_(piece) {}
    Read readSome(uint8_t* data, uint32_t max, uint32_t& got, LogBase&) override {
        if (at_ >= text_.size()) return Read::Closed;
        got = static_cast<uint32_t>(std::min<size_t>({max, piece_, text_.size() - at_}));
        std::memcpy(data, text_.data() + at_, got);
        at_ += got;
        return Read::Data;
    }
    bool sendAll(const uint8_t*, uint32_t, LogBase&) override { return true; }
    void closeStream() override {}

private:
    const std::string& text_;
    size_t at_ = 0;
    uint32_t piece_;
};

// Reads one response as the client does: header block, header, body.
void readResponse(benchmark::State& state, const std::string& text) {
    for (auto _ : state) {
        Logger log;
        MemoryStream stream(text, 1460);
        ResponseReader reader(stream);
        DataBuffer block, body;
        HttpResponseHeader header;
        if (reader.readHeaderBlock(block, log)) {
            header.parseHeader(block.getData(), block.getSize());
            reader.readBody(header, body, 0, log);
        }
        benchmark::DoNotOptimize(body.getData());
    }
}

// n header lines, every other one a Content-Type that replaces the last.
void responseContentTypes(benchmark::State& state) {
    std::string text = "HTTP/1.1 200 OK\r\n";
    for (int64_t i = 0; i < state.range(0) / 4; ++i) text += (i & 1) ? "Content-Type: a\r\n" : "X: y\r\n";
    readResponse(state, text + "Content-Length: 0\r\n\r\n");
}

// One header field continued over n lines.
void responseContinuations(benchmark::State& state) {
    std::string text = "HTTP/1.1 200 OK\r\nX: a\r\n";
    for (int64_t i = 0; i < state.range(0) / 4; ++i) text += " b\r\n";
    readResponse(state, text + "Content-Length: 0\r\n\r\n");
}

// A chunked body of n one-byte chunks.
void responseTinyChunks(benchmark::State& state) {
    std::string text = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
    for (int64_t i = 0; i < state.range(0); ++i) text += "1\r\nx\r\n";
    readResponse(state, text + "0\r\n\r\n");
}

// A Location of n segments, every third one "..", resolved against the
// current URL.
void redirectDotSegments(benchmark::State& state) {
    std::string location = "/";
    for (int64_t i = 0; i < state.range(0); ++i) location += (i % 3 == 2) ? "../" : "ab/";
    StringBuffer ref(location.c_str());
    for (auto _ : state) {
        StringBuffer url;
        OstrandUrl::buildRedirectUrl("http://h/dir/a.xml", ref, url);
        benchmark::DoNotOptimize(url.getString());
    }
}

// The routines beside the parser, each with its shape built in.
struct Routine {
    const char* name;
    void (*run)(benchmark::State&);
};
const Routine kRoutines[] = {
    {"save_many_attributes", saveManyAttributes},
    {"save_cdata_fallback", saveCdataFallback},
    {"search_many_attributes", searchManyAttributes},
    // A header block stops at 1 MiB, so its shapes hold a quarter of n lines.
    {"response_content_types", responseContentTypes},
    {"response_continuations", responseContinuations},
    {"response_tiny_chunks", responseTinyChunks},
    {"redirect_dot_segments", redirectDotSegments},
};

// Collects each run's time per iteration next to the console output.
class TableReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs) {
            if (r.run_type == Run::RT_Iteration && r.iterations > 0)
                times()[r.benchmark_name()] = r.cpu_accumulated_time / static_cast<double>(r.iterations);
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

void printTable(int64_t n) {
    std::printf("\n%-28s %10s %10s %7s   %10s %10s %7s\n", "shape (tarvex | libxml2)", "n", "8n", "ratio",
                "n", "8n", "ratio");
    auto cell = [&](const std::string& base, double* a, double* b) {
        auto i = times().find(base + "/" + std::to_string(n));
        auto j = times().find(base + "/" + std::to_string(8 * n));
        if (i == times().end() || j == times().end()) return false;
        *a = i->second;
        *b = j->second;
        return true;
    };
    std::vector<std::string> names;
    for (const Shape& s : kShapes) names.push_back(s.name);
    for (const Routine& r : kRoutines) names.push_back(r.name);
    for (const std::string& name : names) {
        double a = 0, b = 0, pa = 0, pb = 0;
        if (!cell("tarvex/" + name, &a, &b)) continue;
        std::printf("%-28s %8.3fms %8.3fms %6.1fx", name.c_str(), a * 1e3, b * 1e3, a > 0 ? b / a : 0.0);
        if (cell("libxml2/" + name, &pa, &pb))
            std::printf("   %8.3fms %8.3fms %6.1fx", pa * 1e3, pb * 1e3, pa > 0 ? pb / pa : 0.0);
        std::printf("\n");
    }
}

}  // namespace

int main(int argc, char** argv) {
    const int64_t n = baseN();
    for (const Shape& s : kShapes) {
        benchmark::RegisterBenchmark((std::string("tarvex/") + s.name).c_str(), parseShape, &s)
            ->Arg(n)->Arg(8 * n)->Unit(benchmark::kMillisecond);
        if (!s.peerQuadratic || std::getenv("TARVEX_HOSTILE_PEERS_ALL"))
            benchmark::RegisterBenchmark((std::string("libxml2/") + s.name).c_str(), libxml2Shape, &s)
                ->Arg(n)->Arg(8 * n)->Unit(benchmark::kMillisecond);
    }
    for (const Routine& r : kRoutines)
        benchmark::RegisterBenchmark((std::string("tarvex/") + r.name).c_str(), r.run)
            ->Arg(n)->Arg(8 * n)->Unit(benchmark::kMillisecond);
    benchmark::Initialize(&argc, argv);
    TableReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    printTable(n);
    benchmark::Shutdown();
    return 0;
}
