// Charset conversion throughput on 64 MiB of mixed text, next to glibc
// iconv(3) converting the same bytes in the same run.
#include <benchmark/benchmark.h>
#include <iconv.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "text/DataBuffer.h"
#include "charset/EncodingConvert.h"

using tarvex::DataBuffer;
using tarvex::EncodingConvert;

namespace {

constexpr size_t kTarget = 64u << 20;

// Deterministic pseudo-random numbers (xorshift).
struct Rng {
    uint32_t s = 0x9E3779B9u;
    uint32_t next() {
        s ^= s << 13;
        s ^= s >> 17;
        s ^= s << 5;
        return s;
    }
};

void putUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += char(cp);
    } else if (cp < 0x800) {
        out += char(0xC0 | (cp >> 6));
        out += char(0x80 | (cp & 0x3F));
    } else {
        out += char(0xE0 | (cp >> 12));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
}

// Words of ASCII letters with Latin-1 letters sprinkled in (about one word in
// six), and with `cjk` set, about one word in eight made of kana and kanji.
std::string makeUtf8Text(size_t approxBytes, bool cjk) {
    static const uint32_t kLatin1[] = {0xE9, 0xE8, 0xE0, 0xFC, 0xF6, 0xE4, 0xF1, 0xE7, 0xC9, 0xDF, 0xF8, 0xE5};
    static const uint32_t kKanji[] = {0x65E5, 0x672C, 0x8A9E, 0x6F22, 0x5B57, 0x6771, 0x4EAC, 0x5927, 0x5B66, 0x4E9C,
                                      0x5E74, 0x6708, 0x6642, 0x9593, 0x4EBA, 0x5B50};
    Rng rng;
    std::string out;
    out.reserve(approxBytes + 64);
    while (out.size() < approxBytes) {
        uint32_t r = rng.next();
        uint32_t len = 2 + (r % 9);
        if (cjk && (r >> 8) % 8 == 0) {
            for (uint32_t i = 0; i < len / 2 + 1; ++i) {
                uint32_t q = rng.next();
                putUtf8(out, (q & 1) ? kKanji[(q >> 1) % 16] : 0x3042 + (q >> 1) % 80);
            }
        } else {
            bool latin = (r >> 8) % 6 == 0;
            for (uint32_t i = 0; i < len; ++i) {
                uint32_t q = rng.next();
                if (latin && q % 4 == 0) {
                    putUtf8(out, kLatin1[(q >> 2) % 12]);
                } else {
                    out += char('a' + (q >> 3) % 26);
                }
            }
        }
        out += (r >> 24) % 12 == 0 ? ".\n" : " ";
    }
    return out;
}

std::vector<uint8_t> convertWithTarvex(uint32_t from, uint32_t to, const std::string& in) {
    DataBuffer out;
    EncodingConvert c;
    c.convert(from, to, reinterpret_cast<const uint8_t*>(in.data()), uint32_t(in.size()), out);
    return std::vector<uint8_t>(out.getData(), out.getData() + out.getSize());
}

struct Inputs {
    std::vector<uint8_t> latin1;   // windows-1252
    std::vector<uint8_t> utf8;     // Latin-1 mix as UTF-8
    std::vector<uint8_t> utf16;    // Latin-1 mix as UTF-16LE
    std::vector<uint8_t> sjis;     // CJK mix as Shift-JIS
};

const Inputs& inputs() {
    static const Inputs in = [] {
        Inputs r;
        std::string latinText = makeUtf8Text(kTarget, false);
        r.utf8.assign(latinText.begin(), latinText.end());
        r.latin1 = convertWithTarvex(65001, 1252, latinText);
        r.utf16 = convertWithTarvex(65001, 1200, latinText);
        r.sjis = convertWithTarvex(65001, 932, makeUtf8Text(kTarget, true));
        return r;
    }();
    return in;
}

void runTarvex(benchmark::State& state, uint32_t from, uint32_t to, const std::vector<uint8_t>& in) {
    DataBuffer out;
    EncodingConvert c;
    for (auto _ : state) {
        out.clear();
        bool ok = c.convert(from, to, in.data(), uint32_t(in.size()), out);
        benchmark::DoNotOptimize(ok);
        benchmark::DoNotOptimize(out.getData());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(in.size()));
    state.counters["out_bytes"] = double(out.getSize());
}

void runIconv(benchmark::State& state, const char* from, const char* to, const std::vector<uint8_t>& in,
              uint32_t fromPage, uint32_t toPage) {
    iconv_t cd = iconv_open(to, from);
    if (cd == iconv_t(-1)) {
        state.SkipWithError("iconv_open failed");
        return;
    }
    std::vector<char> out(in.size() * 4 + 16);
    size_t produced = 0;
    for (auto _ : state) {
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        char* src = const_cast<char*>(reinterpret_cast<const char*>(in.data()));
        size_t srcLeft = in.size();
        char* dst = out.data();
        size_t dstLeft = out.size();
        size_t rc = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        benchmark::DoNotOptimize(rc);
        benchmark::DoNotOptimize(out.data());
        produced = out.size() - dstLeft;
    }
    iconv_close(cd);
    // Both converters must produce the same bytes for the comparison to hold.
    DataBuffer ours;
    EncodingConvert c;
    c.convert(fromPage, toPage, in.data(), uint32_t(in.size()), ours);
    if (ours.getSize() != produced || std::memcmp(ours.getData(), out.data(), produced) != 0)
        state.SkipWithError("outputs differ from iconv");
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(in.size()));
    state.counters["out_bytes"] = double(produced);
}

void BM_Tarvex_1252_to_Utf8(benchmark::State& s) { runTarvex(s, 1252, 65001, inputs().latin1); }
void BM_Iconv_1252_to_Utf8(benchmark::State& s) { runIconv(s, "CP1252", "UTF-8", inputs().latin1, 1252, 65001); }
void BM_Tarvex_Utf8_to_Utf16(benchmark::State& s) { runTarvex(s, 65001, 1200, inputs().utf8); }
void BM_Iconv_Utf8_to_Utf16(benchmark::State& s) { runIconv(s, "UTF-8", "UTF-16LE", inputs().utf8, 65001, 1200); }
void BM_Tarvex_ShiftJis_to_Utf8(benchmark::State& s) { runTarvex(s, 932, 65001, inputs().sjis); }
void BM_Iconv_ShiftJis_to_Utf8(benchmark::State& s) { runIconv(s, "CP932", "UTF-8", inputs().sjis, 932, 65001); }
void BM_Tarvex_Utf16_to_Utf8(benchmark::State& s) { runTarvex(s, 1200, 65001, inputs().utf16); }
void BM_Iconv_Utf16_to_Utf8(benchmark::State& s) { runIconv(s, "UTF-16LE", "UTF-8", inputs().utf16, 1200, 65001); }

}  // namespace

BENCHMARK(BM_Tarvex_1252_to_Utf8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Iconv_1252_to_Utf8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Tarvex_Utf8_to_Utf16)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Iconv_Utf8_to_Utf16)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Tarvex_ShiftJis_to_Utf8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Iconv_ShiftJis_to_Utf8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Tarvex_Utf16_to_Utf8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Iconv_Utf16_to_Utf8)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
