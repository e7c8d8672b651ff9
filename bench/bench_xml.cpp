// XML parse and serialize throughput beside other parsers, on generated
// documents of four shapes. Documents are made once per process. The 10 MB
// set always runs; set TARVEX_BENCH_LARGE=1 to add the 100 MB set.
//
// Counters: bytes_per_second (input bytes), and peak_per_MB, the resident
// memory a parse (with the tree kept) or a serialization adds at its peak,
// per megabyte of input, measured in a fresh process per case.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <string>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <expat.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <tinyxml2.h>

#include <pugixml.hpp>

#include "text/StringBuffer.h"
#include "tree/TreeNode.h"
#include "xml/XmlParser.h"
#include "xml/XmlSerializer.h"

namespace {

// ---- documents --------------------------------------------------------------

void appendNumber(std::string& s, unsigned n) { s += std::to_string(n); }

std::string shallowWide(size_t target) {
    std::string s = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<root>\n";
    for (unsigned i = 0; s.size() < target; ++i) {
        s += "  <entry>value ";
        appendNumber(s, i);
        s += "</entry>\n";
    }
    return s + "</root>\n";
}

// Chains 90 elements deep (one peer refuses depths over 100), repeated.
std::string deep(size_t target) {
    std::string s = "<root>";
    for (unsigned i = 0; s.size() < target; ++i) {
        for (int d = 0; d < 90; ++d) s += "<level>";
        s += "leaf ";
        appendNumber(s, i);
        for (int d = 0; d < 90; ++d) s += "</level>";
        s += "\n";
    }
    return s + "</root>";
}

std::string attributeHeavy(size_t target) {
    std::string s = "<root>\n";
    for (unsigned i = 0; s.size() < target; ++i) {
        s += "<rec id=\"";
        appendNumber(s, i);
        s += "\" name=\"name";
        appendNumber(s, i);
        s += "\" kind=\"alpha\" size=\"1234\" owner=\"someone\" group=\"g&amp;h\" "
             "created=\"2024-01-01T00:00:00\" flag=\"true\" ratio=\"0.75\" note=\"a &lt;b&gt; c\"/>\n";
    }
    return s + "</root>";
}

std::string textHeavy(size_t target) {
    static const char* para =
        "Lorem ipsum dolor sit amet, consectetur adipiscing elit, sed do eiusmod tempor incididunt ut "
        "labore et dolore magna aliqua. Ut enim ad minim veniam, quis nostrud exercitation ullamco "
        "laboris nisi ut aliquip ex ea commodo consequat. Duis aute irure dolor in reprehenderit in "
        "voluptate velit esse cillum dolore eu fugiat nulla pariatur. Excepteur sint occaecat cupidatat "
        "non proident, sunt in culpa qui officia deserunt mollit anim id est laborum. ";
    std::string s = "<root>\n";
    for (unsigned i = 0; s.size() < target; ++i) {
        s += "<p>";
        for (int k = 0; k < 8; ++k) s += para;
        if (i % 4 == 0) s += "Fish &amp; chips &lt;cheap&gt;.";
        s += "</p>\n";
    }
    return s + "</root>";
}

const std::string& documentFor(int shape, size_t megabytes) {
    static std::map<std::pair<int, size_t>, std::string> cache;
    auto key = std::make_pair(shape, megabytes);
    auto it = cache.find(key);
    if (it != cache.end()) return it->second;
    size_t target = megabytes * 1000 * 1000;
    std::string doc;
    switch (shape) {
        case 0: doc = shallowWide(target); break;
        case 1: doc = deep(target); break;
        case 2: doc = attributeHeavy(target); break;
        default: doc = textHeavy(target); break;
    }
    return cache.emplace(key, std::move(doc)).first->second;
}

const char* const kShapeNames[] = {"wide", "deep", "attrs", "text"};

// ---- memory -----------------------------------------------------------------

long statusKb(const char* field) {
    std::ifstream f("/proc/self/status");
    std::string line;
    size_t n = std::strlen(field);
    while (std::getline(f, line)) {
        if (line.compare(0, n, field) == 0) return std::strtol(line.c_str() + n + 1, nullptr, 10);
    }
    return 0;
}

void releaseFreedMemory() {
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

// Runs `work` once and returns the peak resident growth it caused, in KB.
// `work` must keep its result alive until it returns.
long peakGrowthKb(const std::function<void()>& work) {
    releaseFreedMemory();
    {
        std::ofstream reset("/proc/self/clear_refs");
        reset << "5";
    }
    long before = statusKb("VmRSS:");
    work();
    long peak = statusKb("VmHWM:");
    return peak > before ? peak - before : 0;
}

// The peak is measured in a fresh process of this program for each case, so
// memory that an allocator kept from earlier cases does not hide growth.
std::string gSelf;

double peakPerMegabyte(const std::string& kind, int shape, size_t mb) {
    std::string out = "/tmp/bench_xml_peak_" + std::to_string(std::random_device{}()) + ".txt";
    std::string cmd = "'" + gSelf + "' --peak=" + kind + ":" + std::to_string(shape) + ":" + std::to_string(mb) +
                      " > " + out + " 2>/dev/null";
    double kb = -1;
    if (std::system(cmd.c_str()) == 0) {
        std::ifstream f(out);
        f >> kb;
    }
    std::remove(out.c_str());
    if (kb < 0) return -1;
    double inputMb = static_cast<double>(documentFor(shape, mb).size()) / (1024.0 * 1024.0);
    return kb / 1024.0 / inputMb;
}

void report(benchmark::State& state, const std::string& doc, const std::string& kind, int shape, size_t mb) {
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(doc.size()));
    static std::map<std::string, double> cache;
    std::string key = kind + ":" + std::to_string(shape) + ":" + std::to_string(mb);
    auto it = cache.find(key);
    if (it == cache.end()) it = cache.emplace(key, peakPerMegabyte(kind, shape, mb)).first;
    state.counters["peak_per_MB"] = it->second;
}

// ---- this library -----------------------------------------------------------

tarvex::TreeNode* tarvexParse(const std::string& doc) {
    tarvex::TreeNode* root = nullptr;
    tarvex::XmlParser::parseUtf8(doc.data(), static_cast<int32_t>(doc.size()), nullptr, &root);
    return root;
}

void TarvexParse(benchmark::State& state, int shape, size_t mb) {
    const std::string& doc = documentFor(shape, mb);
    for (auto _ : state) {
        tarvex::TreeNode* root = tarvexParse(doc);
        benchmark::DoNotOptimize(root);
        tarvex::TreeNode::Destroy(root);
    }
    report(state, doc, "parse/tarvex", shape, mb);
}

void TarvexSerialize(benchmark::State& state, int shape, size_t mb) {
    const std::string& doc = documentFor(shape, mb);
    tarvex::TreeNode* root = tarvexParse(doc);
    for (auto _ : state) {
        tarvex::StringBuffer out;
        tarvex::XmlSerializer::serializeNode(root, out, 0);
        benchmark::DoNotOptimize(out.getString());
    }
    tarvex::TreeNode::Destroy(root);
    report(state, doc, "serialize/tarvex", shape, mb);
}

// ---- peers ------------------------------------------------------------------

void PugiParse(benchmark::State& state, int shape, size_t mb) {
    const std::string& doc = documentFor(shape, mb);
    for (auto _ : state) {
        pugi::xml_document d;
        benchmark::DoNotOptimize(d.load_buffer(doc.data(), doc.size()));
    }
    report(state, doc, "parse/pugixml", shape, mb);
}

struct StringWriter : pugi::xml_writer {
    std::string out;
    void write(const void* data, size_t size) override { out.append(static_cast<const char*>(data), size); }
};

void PugiSerialize(benchmark::State& state, int shape, size_t mb) {
    const std::string& doc = documentFor(shape, mb);
    pugi::xml_document d;
    d.load_buffer(doc.data(), doc.size());
    for (auto _ : state) {
        StringWriter w;
        d.save(w, "", pugi::format_raw);
        benchmark::DoNotOptimize(w.out.data());
    }
    report(state, doc, "serialize/pugixml", shape, mb);
}

xmlDocPtr libxmlParse(const std::string& doc) {
    return xmlReadMemory(doc.data(), static_cast<int>(doc.size()), nullptr, nullptr, XML_PARSE_HUGE | XML_PARSE_NONET);
}

void LibxmlParse(benchmark::State& state, int shape, size_t mb) {
    const std::string& doc = documentFor(shape, mb);
    for (auto _ : state) {
        xmlDocPtr d = libxmlParse(doc);
        benchmark::DoNotOptimize(d);
        xmlFreeDoc(d);
    }
    report(state, doc, "parse/libxml2", shape, mb);
}

void LibxmlSerialize(benchmark::State& state, int shape, size_t mb) {
    const std::string& doc = documentFor(shape, mb);
    xmlDocPtr d = libxmlParse(doc);
    auto dump = [d] {
        xmlChar* mem = nullptr;
        int size = 0;
        xmlDocDumpMemory(d, &mem, &size);
        benchmark::DoNotOptimize(mem);
        xmlFree(mem);
    };
    for (auto _ : state) dump();
    xmlFreeDoc(d);
    report(state, doc, "serialize/libxml2", shape, mb);
}

void TinyParse(benchmark::State& state, int shape, size_t mb) {
    const std::string& doc = documentFor(shape, mb);
    for (auto _ : state) {
        tinyxml2::XMLDocument d;
        benchmark::DoNotOptimize(d.Parse(doc.data(), doc.size()));
    }
    report(state, doc, "parse/tinyxml2", shape, mb);
}

void TinySerialize(benchmark::State& state, int shape, size_t mb) {
    const std::string& doc = documentFor(shape, mb);
    tinyxml2::XMLDocument d;
    d.Parse(doc.data(), doc.size());
    auto print = [&d] {
        tinyxml2::XMLPrinter printer(nullptr, true);
        d.Print(&printer);
        benchmark::DoNotOptimize(printer.CStr());
    };
    for (auto _ : state) print();
    report(state, doc, "serialize/tinyxml2", shape, mb);
}

void ExpatParse(benchmark::State& state, int shape, size_t mb) {
    const std::string& doc = documentFor(shape, mb);
    auto parse = [&doc] {
        XML_Parser p = XML_ParserCreate(nullptr);
        XML_Parse(p, doc.data(), static_cast<int>(doc.size()), 1);
        XML_ParserFree(p);
    };
    for (auto _ : state) parse();
    report(state, doc, "parse/expat", shape, mb);
}

// The child side of peak_per_MB: one case, printed in KB. The document is
// made (and for the serializers parsed) before the peak is reset.
long measureCase(const std::string& kind, int shape, size_t mb) {
    const std::string& doc = documentFor(shape, mb);
    if (kind == "parse/tarvex") return peakGrowthKb([&] { tarvex::TreeNode::Destroy(tarvexParse(doc)); });
    if (kind == "parse/pugixml")
        return peakGrowthKb([&] {
            pugi::xml_document d;
            d.load_buffer(doc.data(), doc.size());
        });
    if (kind == "parse/libxml2") return peakGrowthKb([&] { xmlFreeDoc(libxmlParse(doc)); });
    if (kind == "parse/tinyxml2")
        return peakGrowthKb([&] {
            tinyxml2::XMLDocument d;
            d.Parse(doc.data(), doc.size());
        });
    if (kind == "parse/expat")
        return peakGrowthKb([&] {
            XML_Parser p = XML_ParserCreate(nullptr);
            XML_Parse(p, doc.data(), static_cast<int>(doc.size()), 1);
            XML_ParserFree(p);
        });
    if (kind == "serialize/tarvex") {
        tarvex::TreeNode* root = tarvexParse(doc);
        long kb = peakGrowthKb([&] {
            tarvex::StringBuffer out;
            tarvex::XmlSerializer::serializeNode(root, out, 0);
        });
        tarvex::TreeNode::Destroy(root);
        return kb;
    }
    if (kind == "serialize/pugixml") {
        pugi::xml_document d;
        d.load_buffer(doc.data(), doc.size());
        return peakGrowthKb([&] {
            StringWriter w;
            d.save(w, "", pugi::format_raw);
        });
    }
    if (kind == "serialize/libxml2") {
        xmlDocPtr d = libxmlParse(doc);
        long kb = peakGrowthKb([&] {
            xmlChar* mem = nullptr;
            int size = 0;
            xmlDocDumpMemory(d, &mem, &size);
            xmlFree(mem);
        });
        xmlFreeDoc(d);
        return kb;
    }
    if (kind == "serialize/tinyxml2") {
        tinyxml2::XMLDocument d;
        d.Parse(doc.data(), doc.size());
        return peakGrowthKb([&] {
            tinyxml2::XMLPrinter printer(nullptr, true);
            d.Print(&printer);
        });
    }
    return -1;
}

void registerAll() {
    std::vector<size_t> sizes{10};
    const char* large = std::getenv("TARVEX_BENCH_LARGE");
    if (large && *large && std::strcmp(large, "0") != 0) sizes.push_back(100);
    using Fn = void (*)(benchmark::State&, int, size_t);
    const std::pair<const char*, Fn> parsers[] = {
        {"parse/tarvex", TarvexParse}, {"parse/pugixml", PugiParse},   {"parse/libxml2", LibxmlParse},
        {"parse/tinyxml2", TinyParse}, {"parse/expat", ExpatParse},
    };
    const std::pair<const char*, Fn> writers[] = {
        {"serialize/tarvex", TarvexSerialize},
        {"serialize/pugixml", PugiSerialize},
        {"serialize/libxml2", LibxmlSerialize},
        {"serialize/tinyxml2", TinySerialize},
    };
    for (size_t mb : sizes) {
        for (int shape = 0; shape < 4; ++shape) {
            for (const auto& group : {std::make_pair(std::begin(parsers), std::end(parsers)),
                                      std::make_pair(std::begin(writers), std::end(writers))}) {
                for (auto it = group.first; it != group.second; ++it) {
                    std::string name = std::string(it->first) + "/" + kShapeNames[shape] + "/" + std::to_string(mb) + "MB";
                    Fn fn = it->second;
                    benchmark::RegisterBenchmark(name.c_str(), [fn, shape, mb](benchmark::State& s) { fn(s, shape, mb); })
                        ->Unit(benchmark::kMillisecond)
                        ->MinTime(mb >= 100 ? 0.1 : 0.5);
                }
            }
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    xmlInitParser();
    gSelf = argv[0];
    if (argc == 2 && std::strncmp(argv[1], "--peak=", 7) == 0) {
        // --peak=kind:shape:mb
        std::string spec = argv[1] + 7;
        size_t a = spec.find(':');
        size_t b = spec.find(':', a + 1);
        if (a == std::string::npos || b == std::string::npos) return 2;
        long kb = measureCase(spec.substr(0, a), std::atoi(spec.c_str() + a + 1),
                              static_cast<size_t>(std::atol(spec.c_str() + b + 1)));
        std::printf("%ld\n", kb);
        return kb < 0 ? 1 : 0;
    }
    registerAll();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    xmlCleanupParser();
    return 0;
}
