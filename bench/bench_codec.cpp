// Node content codings on 64 MiB, through the members a script calls, side by
// side with the same work done directly: zlib raw deflate (level 6) or inflate
// plus base64 lines, and OpenSSL EVP AES-128-CBC plus base64 lines. Base64
// alone is measured against EVP_EncodeBlock and EVP_DecodeBlock. Every run
// allocates its output afresh, as a caller would.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

#include "codec/ContentCoding.h"
#include "tarvex/tarvex.hpp"
#include "text/DataBuffer.h"
#include "text/StringBuffer.h"

namespace {

constexpr size_t kSize = 64u << 20;

// Record-like text: compresses about as well as real documents do.
const std::string& plainText() {
    static const std::string text = [] {
        std::mt19937 rng(5);
        std::string s;
        s.reserve(kSize + 256);
        while (s.size() < kSize)
            s += "<row id=\"" + std::to_string(rng() % 100000) + "\"><name>item " + std::to_string(rng()) +
                 "</name><qty>" + std::to_string(rng() % 1000) + "</qty></row>\r\n";
        s.resize(kSize);
        return s;
    }();
    return text;
}

struct Block {
    unsigned char* p;
    size_t n;
};

// Base64 in 72-character lines ended by CR LF, one EVP_EncodeBlock per line.
Block base64Lines(const unsigned char* in, size_t n) {
    const size_t lines = n / 54 + 1;
    unsigned char* out = static_cast<unsigned char*>(std::malloc(lines * 74 + 4));
    unsigned char* o = out;
    size_t at = 0;
    while (n - at >= 54) {
        o += EVP_EncodeBlock(o, in + at, 54);
        *o++ = '\r';
        *o++ = '\n';
        at += 54;
    }
    if (at < n) o += EVP_EncodeBlock(o, in + at, static_cast<int>(n - at));
    *o++ = '\r';
    *o++ = '\n';
    return {out, static_cast<size_t>(o - out)};
}

// Decodes 72-character lines (the last one may be shorter and padded).
Block unbase64Lines(const unsigned char* text, size_t n) {
    unsigned char* out = static_cast<unsigned char*>(std::malloc(n / 4 * 3 + 3));
    unsigned char* o = out;
    size_t at = 0;
    while (at < n) {
        size_t end = at;
        while (end < n && text[end] != '\r') ++end;
        const size_t len = end - at;
        if (len > 0) {
            int got = EVP_DecodeBlock(o, text + at, static_cast<int>(len));
            if (got < 0) std::abort();
            if (len >= 2 && text[end - 1] == '=') got -= (text[end - 2] == '=') ? 2 : 1;
            o += got;
        }
        at = end + 2;
    }
    return {out, static_cast<size_t>(o - out)};
}

const std::string& keyOf(const char* password) {
    static std::string key;
    unsigned char d[16];
    unsigned int len = 0;
    EVP_Digest(password, std::strlen(password), d, &len, EVP_md5(), nullptr);
    key.assign(reinterpret_cast<char*>(d), 16);
    return key;
}

const EVP_CIPHER* aes128() {
    static EVP_CIPHER* cipher = EVP_CIPHER_fetch(nullptr, "AES-128-CBC", nullptr);
    return cipher;
}

// The member side: one object whose content is reset before each run.
struct Node {
    tarvex::Tarvex object = tarvex::Tarvex::create();
    BSTR content = nullptr;
    ~Node() { SysFreeString(content); }
    void prepare(const std::string& text) {
        SysFreeString(content);
        content = tarvex::toBstr(text);
    }
    void reset() { object->put_Content(content); }
};

void setBytes(benchmark::State& state) {
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kSize));
}

// ------------------------------------------------------------------ deflate

void BM_CompressNode(benchmark::State& state) {
    Node node;
    node.prepare(plainText());
    for (auto _ : state) {
        state.PauseTiming();
        node.reset();
        state.ResumeTiming();
        node.object->CompressNode();
    }
    setBytes(state);
}

void BM_DirectDeflateBase64(benchmark::State& state) {
    const std::string& text = plainText();
    for (auto _ : state) {
        z_stream zs{};
        deflateInit2(&zs, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
        const size_t bound = deflateBound(&zs, kSize);
        unsigned char* packed = static_cast<unsigned char*>(std::malloc(bound));
        zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
        zs.avail_in = static_cast<uInt>(kSize);
        zs.next_out = packed;
        zs.avail_out = static_cast<uInt>(bound);
        deflate(&zs, Z_FINISH);
        Block lines = base64Lines(packed, zs.total_out);
        deflateEnd(&zs);
        benchmark::DoNotOptimize(lines.p);
        std::free(packed);
        std::free(lines.p);
    }
    setBytes(state);
}

std::string compressedContent() {
    Node node;
    node.prepare(plainText());
    node.reset();
    node.object->CompressNode();
    return node.object.content();
}

void BM_DecompressNode(benchmark::State& state) {
    Node node;
    node.prepare(compressedContent());
    for (auto _ : state) {
        state.PauseTiming();
        node.reset();
        state.ResumeTiming();
        LONG ok = 0;
        node.object->DecompressNode(&ok);
        if (!ok) state.SkipWithError("DecompressNode failed");
    }
    setBytes(state);
}

void BM_DirectBase64Inflate(benchmark::State& state) {
    const std::string stored = compressedContent();
    for (auto _ : state) {
        Block packed = unbase64Lines(reinterpret_cast<const unsigned char*>(stored.data()), stored.size());
        size_t capacity = packed.n * 3, size = 0;
        unsigned char* out = static_cast<unsigned char*>(std::malloc(capacity));
        z_stream zs{};
        inflateInit2(&zs, -15);
        zs.next_in = packed.p;
        zs.avail_in = static_cast<uInt>(packed.n);
        int rc = Z_OK;
        while (rc == Z_OK) {
            if (size == capacity) {
                capacity *= 2;
                out = static_cast<unsigned char*>(std::realloc(out, capacity));
            }
            zs.next_out = out + size;
            zs.avail_out = static_cast<uInt>(capacity - size);
            rc = inflate(&zs, Z_NO_FLUSH);
            size = capacity - zs.avail_out;
        }
        inflateEnd(&zs);
        if (rc != Z_STREAM_END || size != kSize) state.SkipWithError("inflate failed");
        std::free(packed.p);
        std::free(out);
    }
    setBytes(state);
}

// ------------------------------------------------------------------ AES

void BM_EncryptNode(benchmark::State& state) {
    Node node;
    node.prepare(plainText());
    tarvex::BstrArg password("password");
    for (auto _ : state) {
        state.PauseTiming();
        node.reset();
        state.ResumeTiming();
        node.object->EncryptNode(password);
    }
    setBytes(state);
}

void BM_DirectEncryptBase64(benchmark::State& state) {
    const std::string& text = plainText();
    const std::string& key = keyOf("password");
    const unsigned char iv[16] = {};
    for (auto _ : state) {
        EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
        EVP_EncryptInit_ex2(ctx, aes128(), reinterpret_cast<const unsigned char*>(key.data()), iv, nullptr);
        unsigned char* sealed = static_cast<unsigned char*>(std::malloc(kSize + 16));
        int n1 = 0, n2 = 0;
        EVP_EncryptUpdate(ctx, sealed, &n1, reinterpret_cast<const unsigned char*>(text.data()),
                          static_cast<int>(kSize));
        EVP_EncryptFinal_ex(ctx, sealed + n1, &n2);
        EVP_CIPHER_CTX_free(ctx);
        Block lines = base64Lines(sealed, static_cast<size_t>(n1 + n2));
        benchmark::DoNotOptimize(lines.p);
        std::free(sealed);
        std::free(lines.p);
    }
    setBytes(state);
}

std::string encryptedContent() {
    Node node;
    node.prepare(plainText());
    node.reset();
    node.object->EncryptNode(tarvex::BstrArg("password"));
    return node.object.content();
}

void BM_DecryptNode(benchmark::State& state) {
    Node node;
    node.prepare(encryptedContent());
    tarvex::BstrArg password("password");
    for (auto _ : state) {
        state.PauseTiming();
        node.reset();
        state.ResumeTiming();
        LONG ok = 0;
        node.object->DecryptNode(password, &ok);
        if (!ok) state.SkipWithError("DecryptNode failed");
    }
    setBytes(state);
}

void BM_DirectBase64Decrypt(benchmark::State& state) {
    const std::string stored = encryptedContent();
    const std::string& key = keyOf("password");
    const unsigned char iv[16] = {};
    for (auto _ : state) {
        Block sealed = unbase64Lines(reinterpret_cast<const unsigned char*>(stored.data()), stored.size());
        EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
        EVP_DecryptInit_ex2(ctx, aes128(), reinterpret_cast<const unsigned char*>(key.data()), iv, nullptr);
        int n1 = 0, n2 = 0;
        EVP_DecryptUpdate(ctx, sealed.p, &n1, sealed.p, static_cast<int>(sealed.n));
        if (EVP_DecryptFinal_ex(ctx, sealed.p + n1, &n2) != 1 || static_cast<size_t>(n1 + n2) != kSize)
            state.SkipWithError("decrypt failed");
        EVP_CIPHER_CTX_free(ctx);
        std::free(sealed.p);
    }
    setBytes(state);
}

// ------------------------------------------------------------------ base64

const std::string& randomBytes() {
    static const std::string bytes = [] {
        std::mt19937_64 rng(9);
        std::string s(kSize, '\0');
        for (size_t i = 0; i < kSize; i += 8) {
            const uint64_t v = rng();
            std::memcpy(&s[i], &v, 8);
        }
        return s;
    }();
    return bytes;
}

void BM_Base64Encode(benchmark::State& state) {
    const std::string& bytes = randomBytes();
    for (auto _ : state) {
        tarvex::StringBuffer out;
        tarvex::ContentCoding::encodeBase64(bytes.data(), static_cast<uint32_t>(kSize), out);
        benchmark::DoNotOptimize(out.getString());
    }
    setBytes(state);
}

void BM_EvpEncodeBlock(benchmark::State& state) {
    const std::string& bytes = randomBytes();
    for (auto _ : state) {
        unsigned char* out = static_cast<unsigned char*>(std::malloc(kSize / 3 * 4 + 8));
        benchmark::DoNotOptimize(
            EVP_EncodeBlock(out, reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<int>(kSize)));
        std::free(out);
    }
    setBytes(state);
}

const std::string& base64Text() {
    static const std::string text = [] {
        tarvex::StringBuffer out;
        tarvex::ContentCoding::encodeBase64(randomBytes().data(), static_cast<uint32_t>(kSize), out);
        return std::string(out.getString(), static_cast<size_t>(out.getSize()));
    }();
    return text;
}

void BM_Base64Decode(benchmark::State& state) {
    const std::string& text = base64Text();
    for (auto _ : state) {
        tarvex::DataBuffer out;
        if (!tarvex::ContentCoding::decodeBase64Strict(text.data(), static_cast<uint32_t>(text.size()), out))
            state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(out.getData());
    }
    setBytes(state);
}

void BM_EvpDecodeBlock(benchmark::State& state) {
    const std::string& text = base64Text();
    for (auto _ : state) {
        unsigned char* out = static_cast<unsigned char*>(std::malloc(text.size() / 4 * 3 + 3));
        if (EVP_DecodeBlock(out, reinterpret_cast<const unsigned char*>(text.data()), static_cast<int>(text.size())) < 0)
            state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(out);
        std::free(out);
    }
    setBytes(state);
}

}  // namespace

BENCHMARK(BM_CompressNode)->Unit(benchmark::kMillisecond)->MinTime(3);
BENCHMARK(BM_DirectDeflateBase64)->Unit(benchmark::kMillisecond)->MinTime(3);
BENCHMARK(BM_DecompressNode)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_DirectBase64Inflate)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_EncryptNode)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_DirectEncryptBase64)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_DecryptNode)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_DirectBase64Decrypt)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_Base64Encode)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_EvpEncodeBlock)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_Base64Decode)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_EvpDecodeBlock)->Unit(benchmark::kMillisecond)->MinTime(2);

BENCHMARK_MAIN();
