// XML parse and serialize throughput beside other parsers, on generated
// documents of four shapes. Documents are made once per process. The 10 MB
// set always runs; set TARVEX_BENCH_LARGE=1 to add the 100 MB set.
//
// Counters: bytes_per_second (input bytes), and peak_per_MB, the resident
// memory a parse (with the tree kept) or a serialization adds at its peak,
// per megabyte of input, measured in a fresh process per case.
//
// The caller's path (caller/...): LoadXmlFile through the interface with the
// release of the object, and SaveXml, beside pugixml's load_file with the
// document's destruction and save_file followed by the same syncs (file and
// folder). 50 MB documents of four shapes, each case in a fresh process of
// this program: "first" is the first operation there, "fifth" the fifth of
// the same document (a process that has parsed before). Set
// TARVEX_BENCH_CALLER=0 to skip these, TARVEX_BENCH_CALLER_MB to resize.
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

#include <chrono>
#include <fcntl.h>
#include <unistd.h>

#include "tarvex/tarvex.hpp"

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


// ---- the caller's path ------------------------------------------------------

// a: many small elements with one attribute; b: text-heavy; c: attribute-heavy;
// e: mixed (records with attributes, short and long texts, nesting).
std::string smallElements(size_t target) {
    std::string s = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<root>\n";
    for (unsigned i = 0; s.size() < target; ++i) {
        s += "<i n=\"";
        appendNumber(s, i);
        s += "\">v";
        appendNumber(s, i % 1000);
        s += "</i>\n";
    }
    return s + "</root>\n";
}

std::string mixed(size_t target) {
    std::string s = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<catalog>\n";
    for (unsigned i = 0; s.size() < target; ++i) {
        s += "<book id=\"bk";
        appendNumber(s, i);
        s += "\" lang=\"en\"><author>Author ";
        appendNumber(s, i % 977);
        s += "</author><title>A title &amp; more</title><price currency=\"EUR\">";
        appendNumber(s, 10 + i % 90);
        s += ".95</price><tags><tag>x</tag><tag>y</tag></tags><description>An account of the matter, "
             "told at some length so that the text runs past a line or two, with &lt;marks&gt; in it.";
        s += "</description></book>\n";
    }
    return s + "</catalog>\n";
}

const char* const kCallerShapes = "abce";

size_t callerMegabytes() {
    const char* v = std::getenv("TARVEX_BENCH_CALLER_MB");
    long mb = v ? std::atol(v) : 50;
    return mb > 0 ? static_cast<size_t>(mb) : 50;
}

std::string callerPath(char shape) {
    return "/tmp/tarvex_bench_" + std::string(1, shape) + "_" + std::to_string(callerMegabytes()) + "MB.xml";
}

// Writes the document file once per machine (kept between runs).
const std::string& callerFile(char shape) {
    static std::map<char, std::string> made;
    auto it = made.find(shape);
    if (it != made.end()) return it->second;
    std::string path = callerPath(shape);
    std::ifstream probe(path, std::ios::binary | std::ios::ate);
    size_t target = callerMegabytes() * 1000 * 1000;
    if (!probe || static_cast<size_t>(probe.tellg()) < target) {
        std::string doc;
        switch (shape) {
            case 'a': doc = smallElements(target); break;
            case 'b': doc = textHeavy(target); break;
            case 'c': doc = attributeHeavy(target); break;
            default: doc = mixed(target); break;
        }
        std::ofstream(path, std::ios::binary).write(doc.data(), static_cast<std::streamsize>(doc.size()));
    }
    return made.emplace(shape, path).first->second;
}

double seconds(std::chrono::steady_clock::time_point a, std::chrono::steady_clock::time_point b) {
    return std::chrono::duration<double>(b - a).count();
}

void syncFileAndFolder(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
    std::string folder = path.substr(0, path.find_last_of('/'));
    fd = ::open(folder.empty() ? "/" : folder.c_str(), O_RDONLY);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

struct CallerResult {
    double load = 0;      // seconds, load plus release
    double release = 0;   // seconds, release alone
    double save = 0;
    long peakKb = 0;      // of the first load, with the tree kept
};

// One load (with release) and one save, repeated `rounds` times in this
// process; the figures of the last round are kept.
CallerResult runCaller(bool ours, const std::string& path, int rounds) {
    CallerResult r;
    const std::string out = path + (ours ? ".tarvex-out.xml" : ".pugixml-out.xml");
    using clock = std::chrono::steady_clock;
    for (int round = 0; round < rounds; ++round) {
        const bool first = round == 0;
        if (first) {
            std::ofstream reset("/proc/self/clear_refs");
            reset << "5";
        }
        long before = first ? statusKb("VmRSS:") : 0;
        if (ours) {
            auto t0 = clock::now();
            tarvex::Tarvex doc = tarvex::Tarvex::create();
            if (!doc.loadXmlFile(path)) std::fprintf(stderr, "LoadXmlFile failed\n");
            auto t1 = clock::now();
            if (first) r.peakKb = statusKb("VmHWM:") - before;
            auto t2 = clock::now();
            if (!doc.saveXml(out)) std::fprintf(stderr, "SaveXml failed\n");
            auto t3 = clock::now();
            doc = tarvex::Tarvex();
            auto t4 = clock::now();
            r.release = seconds(t3, t4);
            r.load = seconds(t0, t1) + r.release;
            r.save = seconds(t2, t3);
        } else {
            auto t0 = clock::now();
            auto* doc = new pugi::xml_document();
            if (!doc->load_file(path.c_str())) std::fprintf(stderr, "load_file failed\n");
            auto t1 = clock::now();
            if (first) r.peakKb = statusKb("VmHWM:") - before;
            auto t2 = clock::now();
            if (!doc->save_file(out.c_str(), "", pugi::format_raw)) std::fprintf(stderr, "save_file failed\n");
            syncFileAndFolder(out);
            auto t3 = clock::now();
            delete doc;
            auto t4 = clock::now();
            r.release = seconds(t3, t4);
            r.load = seconds(t0, t1) + r.release;
            r.save = seconds(t2, t3);
        }
    }
    std::remove(out.c_str());
    return r;
}

// Parent side: one fresh process per iteration, timed by what it reports.
void CallerCase(benchmark::State& state, bool ours, char shape, int rounds, bool save) {
    const std::string& path = callerFile(shape);
    double inputMb = 0;
    {
        std::ifstream f(path, std::ios::binary | std::ios::ate);
        inputMb = static_cast<double>(f.tellg()) / (1024.0 * 1024.0);
    }
    double peakKb = 0, releaseShare = 0;
    for (auto _ : state) {
        std::string tmp = "/tmp/bench_xml_caller_" + std::to_string(std::random_device{}()) + ".txt";
        std::string cmd = "'" + gSelf + "' --caller=" + (ours ? "tarvex:" : "pugixml:") + shape + ":" +
                          std::to_string(rounds) + " > " + tmp + " 2>/dev/null";
        CallerResult r;
        if (std::system(cmd.c_str()) == 0) {
            std::ifstream f(tmp);
            f >> r.load >> r.release >> r.save >> r.peakKb;
        }
        std::remove(tmp.c_str());
        double t = save ? r.save : r.load;
        if (t <= 0) {
            state.SkipWithError("the measuring process failed");
            break;
        }
        state.SetIterationTime(t);
        peakKb = static_cast<double>(r.peakKb);
        releaseShare = r.load > 0 ? r.release / r.load : 0;
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(inputMb * 1024.0 * 1024.0));
    if (!save) {
        state.counters["release_share"] = releaseShare;
        if (rounds == 1) state.counters["peak_per_MB"] = peakKb / 1024.0 / inputMb;
    }
}

void registerCaller() {
    const char* v = std::getenv("TARVEX_BENCH_CALLER");
    if (v && std::strcmp(v, "0") == 0) return;
    for (const char* shape = kCallerShapes; *shape; ++shape) {
        for (int rounds : {1, 5}) {
            for (bool save : {false, true}) {
                for (bool ours : {true, false}) {
                    std::string name = std::string("caller/") + (save ? "save/" : "load/") +
                                       (rounds == 1 ? "first/" : "fifth/") + *shape + "/" +
                                       (ours ? "tarvex" : "pugixml");
                    char sh = *shape;
                    benchmark::RegisterBenchmark(name.c_str(), [ours, sh, rounds, save](benchmark::State& s) {
                        CallerCase(s, ours, sh, rounds, save);
                    })
                        ->UseManualTime()
                        ->Iterations(3)
                        ->Unit(benchmark::kMillisecond);
                }
            }
        }
    }
}

void registerAll() {
    registerCaller();
    const char* only = std::getenv("TARVEX_BENCH_CALLER_ONLY");
    if (only && *only && std::strcmp(only, "0") != 0) return;
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
    if (argc == 2 && std::strncmp(argv[1], "--caller=", 9) == 0) {
        // --caller=library:shape:rounds
        std::string spec = argv[1] + 9;
        size_t a = spec.find(':');
        if (a == std::string::npos || a + 3 >= spec.size()) return 2;
        CallerResult r = runCaller(spec.substr(0, a) == "tarvex", callerFile(spec[a + 1]),
                                   std::atoi(spec.c_str() + a + 3));
        std::printf("%.6f %.6f %.6f %ld\n", r.load, r.release, r.save, r.peakKb);
        return 0;
    }
    registerAll();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    xmlCleanupParser();
    return 0;
}
