// HttpGet and HttpPost against nginx on loopback, plain and TLS (a full
// handshake per request, as the component opens a connection per call),
// side by side with libcurl + pugixml (a new easy handle per request, no TLS
// session reuse) and libcurl alone. "RawTcp" reads the same response with
// nothing but a socket: the floor for large bodies.
//
// "first/..." rows time the first request of a fresh process (object or
// library set-up, trust store, the request, parse and release), one process
// per iteration.
//
// The servers are started by tests/http/http_test_server.py --bench.
#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <pugixml.hpp>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "base/LogBase.h"
#include "http/HttpClient.h"
#include "platform/Socket.h"
#include "text/DataBuffer.h"
#include "tarvex/tarvex.hpp"

namespace {

struct Servers {
    std::map<std::string, int> ports;
    std::string ca;
    Servers() {
        std::string cmd = std::string("exec python3 '") + TARVEX_SOURCE_DIR +
                          "/tests/http/http_test_server.py' --bench --lifetime 3600 2>/dev/null";
        FILE* pipe = popen(cmd.c_str(), "r");
        char line[2048] = {};
        if (!pipe || !std::fgets(line, sizeof(line), pipe)) return;
        std::istringstream in(line);
        std::string word;
        while (in >> word) {
            size_t eq = word.find('=');
            if (eq == std::string::npos) continue;
            if (word.compare(0, eq, "ca") == 0)
                ca = word.substr(eq + 1);
            else
                ports[word.substr(0, eq)] = std::atoi(word.c_str() + eq + 1);
        }
        setenv("SSL_CERT_FILE", ca.c_str(), 1);
    }
    std::string url(bool tls, const std::string& path) {
        return std::string(tls ? "https" : "http") + "://127.0.0.1:" +
               std::to_string(ports[tls ? "nginx13" : "nginx"]) + path;
    }
};

Servers& servers() {
    static Servers s;
    return s;
}

const char* const kFiles[] = {"/1k.xml", "/1m.xml", "/100m.xml"};
const int64_t kSizes[] = {1024, 1 << 20, 100 << 20};

size_t collect(char* p, size_t size, size_t n, void* user) {
    static_cast<std::string*>(user)->append(p, size * n);
    return size * n;
}

bool curlFetch(const std::string& url, std::string& body, const std::string* post = nullptr) {
    CURL* curl = curl_easy_init();
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
    // The test CA, which Servers exports (a fresh measuring process inherits it).
    if (const char* ca = std::getenv("SSL_CERT_FILE")) curl_easy_setopt(curl, CURLOPT_CAINFO, ca);
    curl_easy_setopt(curl, CURLOPT_SSL_SESSIONID_CACHE, 0L);
    if (post) {
        curl_easy_setopt(curl, CURLOPT_POSTFIELDS, post->data());
        curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE, static_cast<long>(post->size()));
    }
    CURLcode rc = curl_easy_perform(curl);
    curl_easy_cleanup(curl);
    return rc == CURLE_OK;
}

void setCounters(benchmark::State& state, int64_t bytes) {
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(state.iterations() * bytes);
}

void BM_TarvexHttpGet(benchmark::State& state) {
    bool tls = state.range(1) != 0;
    std::string url = servers().url(tls, kFiles[state.range(0)]);
    tarvex::Tarvex caller = tarvex::Tarvex::create();
    for (auto _ : state) {
        ITarvex* out = nullptr;
        caller->HttpGet(tarvex::BstrArg(url), &out);
        if (!out) {
            state.SkipWithError(caller.lastErrorText().c_str());
            break;
        }
        out->Release();
    }
    setCounters(state, kSizes[state.range(0)]);
}

void BM_CurlPugixml(benchmark::State& state) {
    bool tls = state.range(1) != 0;
    std::string url = servers().url(tls, kFiles[state.range(0)]);
    for (auto _ : state) {
        std::string body;
        pugi::xml_document doc;
        if (!curlFetch(url, body) || !doc.load_buffer(body.data(), body.size())) {
            state.SkipWithError("curl or pugixml failed");
            break;
        }
        benchmark::DoNotOptimize(doc.first_child());
    }
    setCounters(state, kSizes[state.range(0)]);
}

void BM_Curl(benchmark::State& state) {
    bool tls = state.range(1) != 0;
    std::string url = servers().url(tls, kFiles[state.range(0)]);
    for (auto _ : state) {
        std::string body;
        if (!curlFetch(url, body)) {
            state.SkipWithError("curl failed");
            break;
        }
        benchmark::DoNotOptimize(body.data());
    }
    setCounters(state, kSizes[state.range(0)]);
}

// The library's client alone: transport and framing, no parsing.
void BM_TarvexClientGet(benchmark::State& state) {
    bool tls = state.range(1) != 0;
    std::string url = servers().url(tls, kFiles[state.range(0)]);
    for (auto _ : state) {
        tarvex::HttpClient client;
        tarvex::HttpResponseHeader header;
        tarvex::DataBuffer body;
        tarvex::LogNull log;
        if (!client.quickGet(url.c_str(), header, body, log)) {
            state.SkipWithError("client failed");
            break;
        }
        benchmark::DoNotOptimize(body.getData());
    }
    setCounters(state, kSizes[state.range(0)]);
}

// One GET on a bare socket, read until the server closes into a string
// reserved for the whole response: no framing, no regrowth copies.
void BM_RawTcp(benchmark::State& state) {
    using namespace tarvex::platform;
    int port = servers().ports["nginx"];
    std::string request = std::string("GET ") + kFiles[state.range(0)] + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
    std::vector<char> buffer(1 << 20);
    for (auto _ : state) {
        SocketAddress address;
        int32_t error = 0;
        if (resolveHost("127.0.0.1", static_cast<uint16_t>(port), &address, 1) != 1) break;
        SocketHandle h = openSocket(address.family, error);
        if (h == kInvalidSocket || connectSocket(h, address) != 0) {
            state.SkipWithError("connect failed");
            break;
        }
        sendSocket(h, request.data(), static_cast<uint32_t>(request.size()), error);
        std::string body;
        body.reserve(static_cast<size_t>(kSizes[state.range(0)]) + 4096);
        for (;;) {
            int64_t n = receiveSocket(h, buffer.data(), static_cast<uint32_t>(buffer.size()), error);
            if (n <= 0) break;
            body.append(buffer.data(), static_cast<size_t>(n));
        }
        closeSocket(h);
        benchmark::DoNotOptimize(body.data());
    }
    setCounters(state, kSizes[state.range(0)]);
}

std::string postDocument() {
    std::string xml = "<doc>";
    while (xml.size() < (1 << 20)) xml += "<item id=\"1\">some text &amp; more</item>";
    return xml + "</doc>";
}

void BM_TarvexHttpPost1MB(benchmark::State& state) {
    bool tls = state.range(0) != 0;
    std::string url = servers().url(tls, "/post");
    tarvex::Tarvex doc = tarvex::Tarvex::create();
    doc.loadXml(postDocument());
    for (auto _ : state) {
        ITarvex* out = nullptr;
        doc->HttpPost(tarvex::BstrArg(url), &out);
        if (!out) {
            state.SkipWithError(doc.lastErrorText().c_str());
            break;
        }
        out->Release();
    }
    setCounters(state, 1 << 20);
}

// The peer writes its document to text, posts it and parses the answer.
void BM_CurlPugixmlPost1MB(benchmark::State& state) {
    bool tls = state.range(0) != 0;
    std::string url = servers().url(tls, "/post");
    std::string source = postDocument();
    pugi::xml_document tree;
    tree.load_buffer(source.data(), source.size());
    for (auto _ : state) {
        std::ostringstream text;
        tree.save(text, "", pugi::format_raw | pugi::format_no_declaration);
        std::string xml = text.str();
        std::string body;
        pugi::xml_document doc;
        if (!curlFetch(url, body, &xml) || !doc.load_buffer(body.data(), body.size())) {
            state.SkipWithError("curl post failed");
            break;
        }
    }
    setCounters(state, 1 << 20);
}

// ---- the first request of a fresh process ------------------------------------

std::string gSelf;

// Child side: one timed GET through the caller's path, in seconds.
double firstRequest(bool ours, const std::string& url) {
    auto start = std::chrono::steady_clock::now();
    bool ok;
    if (ours) {
        tarvex::Tarvex caller = tarvex::Tarvex::create();
        ITarvex* out = nullptr;
        caller->HttpGet(tarvex::BstrArg(url), &out);
        ok = out != nullptr;
        if (out) out->Release();
    } else {
        curl_global_init(CURL_GLOBAL_DEFAULT);
        std::string body;
        pugi::xml_document doc;
        ok = curlFetch(url, body) && doc.load_buffer(body.data(), body.size());
        curl_global_cleanup();
    }
    std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    return ok ? took.count() : -1;
}

// Parent side: one fresh process per iteration, timed by what it reports.
void FirstCase(benchmark::State& state, bool ours, int size, bool tls) {
    std::string url = servers().url(tls, kFiles[size]);
    for (auto _ : state) {
        std::string tmp = "/tmp/bench_http_first_" + std::to_string(std::random_device{}()) + ".txt";
        std::string cmd = "SSL_CERT_FILE='" + servers().ca + "' '" + gSelf + "' --first=" +
                          (ours ? "tarvex:" : "curl:") + url + " > " + tmp + " 2>/dev/null";
        double seconds = -1;
        if (std::system(cmd.c_str()) == 0) {
            FILE* f = std::fopen(tmp.c_str(), "r");
            if (f && std::fscanf(f, "%lf", &seconds) != 1) seconds = -1;
            if (f) std::fclose(f);
        }
        std::remove(tmp.c_str());
        if (seconds <= 0) {
            state.SkipWithError("the measuring process failed");
            break;
        }
        state.SetIterationTime(seconds);
    }
    setCounters(state, kSizes[size]);
}

void registerFirst() {
    for (int size = 0; size < 2; ++size) {
        for (int tls = 0; tls < 2; ++tls) {
            for (bool ours : {true, false}) {
                std::string name = std::string("first") + kFiles[size] + (tls ? "/tls" : "/plain") +
                                   (ours ? "/tarvex" : "/curl+pugixml");
                benchmark::RegisterBenchmark(name.c_str(), [ours, size, tls](benchmark::State& s) {
                    FirstCase(s, ours, size, tls != 0);
                })
                    ->UseManualTime()
                    ->Iterations(5)
                    ->Unit(benchmark::kMillisecond);
            }
        }
    }
}

void sizesAndTls(benchmark::internal::Benchmark* b) {
    b->ArgNames({"size", "tls"});
    for (int size = 0; size < 3; ++size)
        for (int tls = 0; tls < 2; ++tls) b->Args({size, tls});
    b->Unit(benchmark::kMillisecond)->UseRealTime();
}

BENCHMARK(BM_TarvexHttpGet)->Apply(sizesAndTls);
BENCHMARK(BM_CurlPugixml)->Apply(sizesAndTls);
BENCHMARK(BM_Curl)->Apply(sizesAndTls);
BENCHMARK(BM_TarvexClientGet)->Apply(sizesAndTls);
BENCHMARK(BM_RawTcp)->ArgName("size")->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_TarvexHttpPost1MB)->ArgName("tls")->DenseRange(0, 1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CurlPugixmlPost1MB)->ArgName("tls")->DenseRange(0, 1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strncmp(argv[1], "--first=", 8) == 0) {
        // --first=tarvex:URL or --first=curl:URL; the trust store comes from SSL_CERT_FILE.
        std::string spec = argv[1] + 8;
        size_t colon = spec.find(':');
        std::string url = spec.substr(colon + 1);
        double seconds = firstRequest(spec.compare(0, colon, "tarvex") == 0, url);
        std::printf("%.9f\n", seconds);
        return seconds > 0 ? 0 : 1;
    }
    gSelf = argv[0];
    curl_global_init(CURL_GLOBAL_DEFAULT);
    if (servers().ports.count("nginx") == 0) {
        std::fprintf(stderr, "the loopback nginx did not start\n");
        return 1;
    }
    registerFirst();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    curl_global_cleanup();
    return 0;
}
