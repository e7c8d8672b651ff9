#include "text/CodePageTables.h"

#include <bzlib.h>
#include <gtest/gtest.h>
#include <iconv.h>

#include <atomic>
#include <cstring>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "text/DataBuffer.h"
#include "text/HashConvert.h"
#include "text/tables/CodePageBlobs.h"

namespace tarvex {
namespace {

// ---------------------------------------------------------------- helpers

// glibc's converter for a code page, used as the reference at test time.
class GlibcDecoder {
public:
    explicit GlibcDecoder(const char* name)
        : cd_(name ? iconv_open("UTF-16LE", name) : reinterpret_cast<iconv_t>(-1)) {}
    ~GlibcDecoder() {
        if (ok()) iconv_close(cd_);
    }
    GlibcDecoder(const GlibcDecoder&) = delete;
    GlibcDecoder& operator=(const GlibcDecoder&) = delete;

    bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    // The single BMP code unit the bytes decode to, or false.
    bool decode(const uint8_t* bytes, size_t n, uint16_t* unit) {
        char in[8];
        std::memcpy(in, bytes, n);
        char out[16];
        char* pin = in;
        char* pout = out;
        size_t inLeft = n;
        size_t outLeft = sizeof(out);
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        if (iconv(cd_, &pin, &inLeft, &pout, &outLeft) == static_cast<size_t>(-1) || inLeft != 0) {
            return false;
        }
        if (iconv(cd_, nullptr, nullptr, &pout, &outLeft) == static_cast<size_t>(-1)) {
            return false;
        }
        if (sizeof(out) - outLeft != 2) {
            return false;
        }
        *unit = static_cast<uint16_t>(static_cast<uint8_t>(out[0]) | (static_cast<uint8_t>(out[1]) << 8));
        return *unit < 0xD800 || *unit > 0xDFFF;
    }

private:
    iconv_t cd_;
};

const uint8_t* encodeUnit(const CodePageTable* t, uint16_t unit, uint32_t* len) {
    uint8_t key[2] = {static_cast<uint8_t>(unit & 0xFF), static_cast<uint8_t>(unit >> 8)};
    return t->encode->lookup(key, 2, len);
}

bool decodePair(const CodePageTable* t, uint8_t lead, uint8_t trail, uint16_t* unit) {
    uint8_t key[2] = {lead, trail};
    uint32_t len = 0;
    const uint8_t* v = t->decode->lookup(key, 2, &len);
    if (v == nullptr || len != 2) return false;
    *unit = static_cast<uint16_t>(v[0] | (v[1] << 8));
    return true;
}

std::string joinedBlob(uint32_t codePage) {
    for (uint32_t i = 0; i < tables::kCodePageBlobCount; ++i) {
        const tables::CodePageBlobEntry& e = tables::kCodePageBlobs[i];
        if (e.codePage == codePage) {
            std::string s;
            for (uint32_t j = 0; j < e.pieceCount; ++j) s += e.pieces[j];
            return s;
        }
    }
    return std::string();
}

std::string toBase64(const std::string& bytes) {
    static const char* abc = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        uint32_t v = (static_cast<uint8_t>(bytes[i]) << 16) | (static_cast<uint8_t>(bytes[i + 1]) << 8) |
                     static_cast<uint8_t>(bytes[i + 2]);
        for (int k = 18; k >= 0; k -= 6) out += abc[(v >> k) & 63];
    }
    if (i + 1 == bytes.size()) {
        uint32_t v = static_cast<uint8_t>(bytes[i]) << 16;
        out += abc[(v >> 18) & 63];
        out += abc[(v >> 12) & 63];
        out += "==";
    } else if (i + 2 == bytes.size()) {
        uint32_t v = (static_cast<uint8_t>(bytes[i]) << 16) | (static_cast<uint8_t>(bytes[i + 1]) << 8);
        out += abc[(v >> 18) & 63];
        out += abc[(v >> 12) & 63];
        out += abc[(v >> 6) & 63];
        out += '=';
    }
    return out;
}

// A compressed container: magic, length, bzip2 stream.
std::string container(const std::string& payload, uint32_t declaredLength, uint32_t magic = 0xB394A7E1u) {
    std::vector<char> packed(payload.size() + payload.size() / 50 + 1000);
    unsigned int packedLen = static_cast<unsigned int>(packed.size());
    std::string in(payload);
    EXPECT_EQ(BZ2_bzBuffToBuffCompress(packed.data(), &packedLen, &in[0],
                                       static_cast<unsigned int>(in.size()), 9, 0, 0),
              BZ_OK);
    std::string out;
    for (int i = 0; i < 4; ++i) out += static_cast<char>((magic >> (8 * i)) & 0xFF);
    for (int i = 0; i < 4; ++i) out += static_cast<char>((declaredLength >> (8 * i)) & 0xFF);
    out.append(packed.data(), packedLen);
    return out;
}

std::string payloadOf(const DataBuffer& b) {
    return std::string(reinterpret_cast<const char*>(b.getData()), b.getSize());
}

// ---------------------------------------------------------------- data

const uint32_t kSingleBytePages[] = {
    37, 437, 500, 708, 720, 737, 775, 850, 852, 855, 857, 858, 860, 861, 862, 863, 864, 865,
    866, 869, 870, 874, 875, 1026, 1047, 1140, 1141, 1142, 1143, 1144, 1145, 1146, 1147, 1148,
    1149, 1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 1258, 10000, 10004, 10005, 10006,
    10007, 10010, 10017, 10021, 10029, 10079, 10081, 10082, 20105, 20106, 20107, 20108, 20127,
    20261, 20269, 20273, 20277, 20278, 20280, 20284, 20285, 20290, 20297, 20420, 20423, 20424,
    20838, 20866, 20871, 20880, 20905, 20924, 21025, 21866, 28591, 28592, 28593, 28594, 28595,
    28596, 28597, 28598, 28599, 28603, 28605, 38598};

// Pages the tables leave out: this machine had no mapping data for them.
bool hasNoSource(uint32_t cp) { return cp == 20838 || cp == 20924; }

struct GlibcName {
    uint32_t codePage;
    const char* name;   // nullptr: glibc has no converter for this page
};

const GlibcName kGlibcNames[] = {
    {37, "IBM037"}, {437, "IBM437"}, {500, "IBM500"}, {708, "ASMO-708"}, {720, nullptr},
    {737, "CP737"}, {775, "IBM775"}, {850, "IBM850"}, {852, "IBM852"}, {855, "IBM855"},
    {857, "IBM857"}, {858, "IBM858"}, {860, "IBM860"}, {861, "IBM861"}, {862, "IBM862"},
    {863, "IBM863"}, {864, "IBM864"}, {865, "IBM865"}, {866, "IBM866"}, {869, "IBM869"},
    {870, "IBM870"}, {874, "CP874"}, {875, "IBM875"}, {1026, "IBM1026"}, {1047, "IBM1047"},
    {1140, "IBM1140"}, {1141, "IBM1141"}, {1142, "IBM1142"}, {1143, "IBM1143"},
    {1144, "IBM1144"}, {1145, "IBM1145"}, {1146, "IBM1146"}, {1147, "IBM1147"},
    {1148, "IBM1148"}, {1149, "IBM1149"}, {1250, "CP1250"}, {1251, "CP1251"},
    {1252, "CP1252"}, {1253, "CP1253"}, {1254, "CP1254"}, {1255, "CP1255"}, {1256, "CP1256"},
    {1257, "CP1257"}, {1258, "CP1258"}, {10000, "MACINTOSH"}, {10004, nullptr},
    {10005, nullptr}, {10006, nullptr}, {10007, "MAC-CYRILLIC"}, {10010, nullptr},
    {10017, "MAC-UK"}, {10021, nullptr}, {10029, "MAC-CENTRALEUROPE"}, {10079, "MAC-IS"},
    {10081, nullptr}, {10082, nullptr}, {20105, nullptr}, {20106, "DIN_66003"},
    {20107, "SEN_850200_B"}, {20108, "NS_4551-1"}, {20127, "ANSI_X3.4-1968"},
    {20261, "T.61-8BIT"}, {20269, "ISO_6937"}, {20273, "IBM273"}, {20277, "IBM277"},
    {20278, "IBM278"}, {20280, "IBM280"}, {20284, "IBM284"}, {20285, "IBM285"},
    {20290, "IBM290"}, {20297, "IBM297"}, {20420, "IBM420"}, {20423, "IBM423"},
    {20424, "IBM424"}, {20866, "KOI8-R"}, {20871, "IBM871"}, {20880, "IBM880"},
    {20905, "IBM905"}, {21025, "IBM1025"}, {21866, "KOI8-U"}, {28591, "ISO-8859-1"},
    {28592, "ISO-8859-2"}, {28593, "ISO-8859-3"}, {28594, "ISO-8859-4"},
    {28595, "ISO-8859-5"}, {28596, "ISO-8859-6"}, {28597, "ISO-8859-7"},
    {28598, "ISO-8859-8"}, {28599, "ISO-8859-9"}, {28603, "ISO-8859-13"},
    {28605, "ISO-8859-15"}, {38598, "ISO-8859-8"}};

const char* glibcName(uint32_t cp) {
    for (const GlibcName& g : kGlibcNames) {
        if (g.codePage == cp) return g.name;
    }
    return nullptr;
}

// Bytes where the table follows the code page vendor's mapping and glibc's
// converter decodes differently.
struct KnownDifference {
    uint32_t codePage;
    uint8_t byte;
    uint16_t unit;
};

const KnownDifference kKnownDifferences[] = {
    {875, 0x74, 0x00A0}, {875, 0xDD, 0x0387},
    {1026, 0x9D, 0x00B8}, {1026, 0xBC, 0x00AF},
    {10000, 0xC6, 0x2206}, {10000, 0xF0, 0xF8FF},
    {10007, 0xFF, 0x20AC},
    {10079, 0xA0, 0x00DD}, {10079, 0xC6, 0x2206}, {10079, 0xD0, 0x2013}, {10079, 0xD1, 0x2014},
    {10079, 0xD7, 0x25CA}, {10079, 0xDB, 0x20AC}, {10079, 0xDC, 0x00D0}, {10079, 0xDD, 0x00F0},
    {10079, 0xE0, 0x00FD}, {10079, 0xF0, 0xF8FF},
    {20273, 0xBC, 0x203E},
    {20424, 0x78, 0x2017},
    {28591, 0x80, 0x20AC},   // the euro sign in place of the C1 control
};

bool knownDifference(uint32_t cp, uint8_t b, uint16_t* unit) {
    for (const KnownDifference& d : kKnownDifferences) {
        if (d.codePage == cp && d.byte == b) {
            *unit = d.unit;
            return true;
        }
    }
    return false;
}

struct DoubleBytePage {
    uint32_t codePage;
    const char* glibc;
};

const DoubleBytePage kDoubleBytePages[] = {
    {932, "CP932"}, {936, "CP936"}, {949, "CP949"}, {950, "CP950"}, {1361, "JOHAB"},
    {10001, nullptr}, {51932, "EUC-JP"}, {51936, "EUC-CN"}, {51949, "EUC-KR"}};

// Double-byte keys glibc decodes where the tables (the vendors' mappings)
// have another character or none.
bool doubleByteDiffers(uint32_t cp, uint16_t key) {
    switch (cp) {
        case 950: return key >= 0xC6A1 && key <= 0xC8FE;   // vendor-specific block
        case 1361: return key == 0xD9E8;
        case 51949: return key == 0xA2E8 || key == 0xA4D4;
        default: return false;
    }
}

// ---------------------------------------------------------------- tests

// Runs first so that the page it picks has not been built in this process.
TEST(CodePageTables, ConcurrentFirstUseBuildsOnce) {
    uint32_t cp = 0;
    for (const DoubleBytePage& p : kDoubleBytePages) {
        if (!isCodePageTableBuilt(p.codePage)) {
            cp = p.codePage;
            break;
        }
    }
    if (cp == 0) GTEST_SKIP() << "every double-byte table is already built";

    const uint32_t before = codePageTablesBuilt();
    std::atomic<int> ready{0};
    std::atomic<bool> go{false};
    std::vector<const CodePageTable*> seen(8, nullptr);
    std::vector<std::thread> threads;
    for (int i = 0; i < 8; ++i) {
        threads.emplace_back([&, i] {
            ready.fetch_add(1);
            while (!go.load()) std::this_thread::yield();
            seen[i] = codePageTable(cp);
        });
    }
    while (ready.load() < 8) std::this_thread::yield();
    go.store(true);
    for (std::thread& t : threads) t.join();

    EXPECT_EQ(codePageTablesBuilt() - before, 1u);
    ASSERT_NE(seen[0], nullptr);
    for (const CodePageTable* t : seen) EXPECT_EQ(t, seen[0]);
    EXPECT_EQ(codePageTable(cp), seen[0]);
    EXPECT_EQ(codePageTablesBuilt() - before, 1u);
}

TEST(CodePageTables, EveryBuiltInTableBuilds) {
    EXPECT_EQ(tables::kCodePageBlobCount, 92u + 9u);
    for (uint32_t i = 0; i < tables::kCodePageBlobCount; ++i) {
        const tables::CodePageBlobEntry& e = tables::kCodePageBlobs[i];
        if (i > 0) {
            EXPECT_LT(tables::kCodePageBlobs[i - 1].codePage, e.codePage);
        }
        const CodePageTable* t = codePageTable(e.codePage);
        ASSERT_NE(t, nullptr) << e.codePage;
        EXPECT_TRUE(isCodePageTableBuilt(e.codePage));
        EXPECT_EQ(t->codePage, e.codePage);
        EXPECT_EQ(t->doubleByte, e.doubleByte) << e.codePage;
        EXPECT_EQ(t->asciiBased, e.asciiBased) << e.codePage;
        ASSERT_NE(t->encode, nullptr);
        if (t->doubleByte) {
            EXPECT_NE(t->decode, nullptr);
        } else {
            EXPECT_NE(t->decode256, nullptr);
        }
    }
    for (const DoubleBytePage& p : kDoubleBytePages) {
        const CodePageTable* t = codePageTable(p.codePage);
        ASSERT_NE(t, nullptr) << p.codePage;
        EXPECT_TRUE(t->doubleByte);
    }
    for (uint32_t cp : {0u, 1200u, 1201u, 65001u, 50220u, 54936u, 12345u}) {
        EXPECT_FALSE(hasCodePageTable(cp)) << cp;
        EXPECT_EQ(codePageTable(cp), nullptr) << cp;
    }
}

TEST(CodePageTables, SingleBytePagesAgreeWithGlibc) {
    std::string noGlibc;
    for (uint32_t cp : kSingleBytePages) {
        if (hasNoSource(cp)) {
            EXPECT_FALSE(hasCodePageTable(cp)) << cp;
            continue;
        }
        const CodePageTable* t = codePageTable(cp);
        ASSERT_NE(t, nullptr) << cp;
        ASSERT_FALSE(t->doubleByte) << cp;
        EXPECT_EQ(t->decode256[0], 0u);

        // Whatever a byte decodes to encodes back to a byte with that character.
        for (int b = 1; b < 256; ++b) {
            uint16_t u = t->decode256[b];
            if (u == 0 || (t->asciiBased && u < 0x80)) continue;
            uint32_t len = 0;
            const uint8_t* v = encodeUnit(t, u, &len);
            ASSERT_NE(v, nullptr) << cp << " byte " << b;
            ASSERT_EQ(len, 1u);
            EXPECT_EQ(t->decode256[v[0]], u) << cp << " byte " << b;
        }

        GlibcDecoder glibc(glibcName(cp));
        if (!glibc.ok()) {
            noGlibc += " " + std::to_string(cp);
            continue;
        }
        int compared = 0;
        for (int b = 1; b < 256; ++b) {
            uint8_t byte = static_cast<uint8_t>(b);
            uint16_t expected = 0;
            if (!glibc.decode(&byte, 1, &expected)) continue;
            knownDifference(cp, byte, &expected);
            EXPECT_EQ(t->decode256[b], expected) << "code page " << cp << " byte 0x" << std::hex << b;
            ++compared;
        }
        EXPECT_GE(compared, 120) << cp;
    }
    std::cout << "[          ] single-byte pages glibc cannot check:" << noGlibc << "\n";
}

TEST(CodePageTables, DoubleBytePagesAgreeWithGlibcOnSamples) {
    for (const DoubleBytePage& p : kDoubleBytePages) {
        const CodePageTable* t = codePageTable(p.codePage);
        ASSERT_NE(t, nullptr) << p.codePage;
        GlibcDecoder glibc(p.glibc);
        if (!glibc.ok()) {
            std::cout << "[          ] double-byte page glibc cannot check: " << p.codePage << "\n";
            continue;
        }
        int compared = 0;
        int index = 0;
        for (int lead = 0x81; lead <= 0xFE; ++lead) {
            for (int trail = 0x21; trail <= 0xFE; ++trail) {
                if (index++ % 5 != 0) continue;
                uint8_t bytes[2] = {static_cast<uint8_t>(lead), static_cast<uint8_t>(trail)};
                uint16_t expected = 0;
                if (!glibc.decode(bytes, 2, &expected)) continue;
                uint16_t key = static_cast<uint16_t>((lead << 8) | trail);
                if (doubleByteDiffers(p.codePage, key)) continue;
                uint16_t got = 0;
                EXPECT_TRUE(decodePair(t, bytes[0], bytes[1], &got) && got == expected)
                    << "code page " << p.codePage << " key 0x" << std::hex << key << " got 0x" << got
                    << " want 0x" << expected;
                ++compared;

                // The character encodes to a pair that decodes to it again.
                uint32_t len = 0;
                const uint8_t* v = encodeUnit(t, expected, &len);
                ASSERT_NE(v, nullptr) << p.codePage << " U+" << std::hex << expected;
                ASSERT_EQ(len, 2u);
                uint16_t back = 0;
                EXPECT_TRUE(decodePair(t, v[0], v[1], &back) && back == expected);
            }
        }
        EXPECT_GE(compared, 1000) << p.codePage;
    }
}

TEST(CodePageTables, Latin1HasTheEuroAtByte80) {
    const CodePageTable* t = codePageTable(28591);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->decode256[0x80], 0x20ACu);
    EXPECT_EQ(t->decode256[0x81], 0x81u);
    EXPECT_EQ(t->decode256[0x9F], 0x9Fu);
    EXPECT_EQ(t->decode256[0xFF], 0xFFu);
    uint32_t len = 0;
    const uint8_t* v = encodeUnit(t, 0x20AC, &len);
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v[0], 0x80);
    EXPECT_EQ(encodeUnit(t, 0x0080, &len), nullptr);
}

TEST(CodePageTables, EncodePatchesChooseTheStandardPair) {
    // Big5 has U+5341 twice; the encoder writes A4 51, not the first pair A2 CC.
    const CodePageTable* big5 = codePageTable(950);
    ASSERT_NE(big5, nullptr);
    uint16_t u = 0;
    ASSERT_TRUE(decodePair(big5, 0xA2, 0xCC, &u));
    EXPECT_EQ(u, 0x5341u);
    uint32_t len = 0;
    const uint8_t* v = encodeUnit(big5, 0x5341, &len);
    ASSERT_NE(v, nullptr);
    ASSERT_EQ(len, 2u);
    EXPECT_EQ(v[0], 0xA4);
    EXPECT_EQ(v[1], 0x51);

    // Johab encodes compatibility jamo as the composed-syllable form.
    const CodePageTable* johab = codePageTable(1361);
    ASSERT_NE(johab, nullptr);
    v = encodeUnit(johab, 0x3131, &len);
    ASSERT_NE(v, nullptr);
    ASSERT_EQ(len, 2u);
    EXPECT_EQ(v[0], 0x88);
    EXPECT_EQ(v[1], 0x41);
}

// Bytes glibc cannot decode are skipped above; the tables leave them unmapped.
TEST(CodePageTables, UnmappedBytesStayUnmapped) {
    const CodePageTable* t = codePageTable(1252);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->decode256[0x81], 0u);
    EXPECT_EQ(t->decode256[0x8D], 0u);
    const CodePageTable* german = codePageTable(20106);   // 7-bit national page
    ASSERT_NE(german, nullptr);
    EXPECT_FALSE(german->asciiBased);
    for (int b = 0x80; b < 0x100; ++b) EXPECT_EQ(german->decode256[b], 0u) << b;
}

TEST(CodePageTables, DoubleByteSingleBytes) {
    const CodePageTable* sjis = codePageTable(932);
    ASSERT_NE(sjis, nullptr);
    EXPECT_TRUE(sjis->asciiBased);
    uint8_t kana = 0xB1;   // half-width katakana A
    uint32_t len = 0;
    const uint8_t* v = sjis->decode->lookup(&kana, 1, &len);
    ASSERT_NE(v, nullptr);
    ASSERT_EQ(len, 2u);
    EXPECT_EQ(v[0] | (v[1] << 8), 0xFF71);
    uint8_t lead = 0x81;   // a lead byte alone is not a character
    EXPECT_EQ(sjis->decode->lookup(&lead, 1, &len), nullptr);
    uint16_t u = 0;
    ASSERT_TRUE(decodePair(sjis, 0x88, 0x9F, &u));
    EXPECT_EQ(u, 0x4E9Cu);

    // Mac Japanese puts the yen sign at 0x5C, so its low half is not ASCII.
    const CodePageTable* mac = codePageTable(10001);
    ASSERT_NE(mac, nullptr);
    EXPECT_FALSE(mac->asciiBased);
    uint8_t yen = 0x5C;
    v = mac->decode->lookup(&yen, 1, &len);
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v[0] | (v[1] << 8), 0xA5);
}

TEST(CodePageTablesBlob, UnpacksGoodContainers) {
    DataBuffer payload;
    ASSERT_TRUE(unpackTableBlob(joinedBlob(1252).c_str(), payload));
    ASSERT_GE(payload.getSize(), 4u);
    EXPECT_EQ(payload.getData()[0], 'a');
    EXPECT_EQ(payload.getData()[1], 'u');
    const std::string real = payloadOf(payload);

    // A large table stored in several pieces.
    DataBuffer big;
    ASSERT_TRUE(unpackTableBlob(joinedBlob(936).c_str(), big));
    EXPECT_GT(big.getSize(), 60000u);

    const std::string good = container(real, static_cast<uint32_t>(real.size()));
    ASSERT_TRUE(unpackTableBlob(("c" + toBase64(good)).c_str(), payload));
    EXPECT_EQ(payloadOf(payload), real);

    // Flag 'x': the base64 is the payload itself.
    const std::string raw("au\x01\x80\x20\x00", 6);
    ASSERT_TRUE(unpackTableBlob(("x" + toBase64(raw)).c_str(), payload));
    EXPECT_EQ(payloadOf(payload), raw);
}

TEST(CodePageTablesBlob, RefusesDamagedBlobs) {
    DataBuffer payload;
    ASSERT_TRUE(unpackTableBlob(joinedBlob(1252).c_str(), payload));
    const std::string real = payloadOf(payload);
    const uint32_t n = static_cast<uint32_t>(real.size());
    const std::string good = container(real, n);

    auto refused = [&](const std::string& blob) {
        payload.append("junk", 4);
        bool ok = unpackTableBlob(blob.c_str(), payload);
        return !ok && payload.getSize() == 0;
    };
    EXPECT_TRUE(refused(""));
    EXPECT_FALSE(unpackTableBlob(nullptr, payload));
    EXPECT_TRUE(refused("c"));
    EXPECT_TRUE(refused("c" + toBase64(container(real, n, 0xB394A7E0u))));   // bad magic
    EXPECT_TRUE(refused("c" + toBase64(container(real, n + 1))));            // stream too short
    EXPECT_TRUE(refused("c" + toBase64(container(real, n - 1))));            // stream too long
    EXPECT_TRUE(refused("c" + toBase64(container(real, 0xFFFFFFFFu))));      // absurd length
    EXPECT_TRUE(refused("c" + toBase64(good.substr(0, good.size() - 12))));  // truncated bzip2
    EXPECT_TRUE(refused("c" + toBase64(good.substr(0, 6))));                 // truncated header
    std::string flipped = good;
    flipped[flipped.size() / 2] = static_cast<char>(flipped[flipped.size() / 2] ^ 0x55);
    EXPECT_TRUE(refused("c" + toBase64(flipped)));                           // corrupt stream

    std::string text = "c" + toBase64(good);
    std::string badChar = text;
    badChar[10] = '*';
    EXPECT_TRUE(refused(badChar));
    EXPECT_TRUE(refused(text + "A"));        // one dangling base64 character
    EXPECT_TRUE(refused(text + " "));
    EXPECT_TRUE(refused("x" + toBase64("") ));
    EXPECT_TRUE(refused("x=="));
}

}  // namespace
}  // namespace tarvex
