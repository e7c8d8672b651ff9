#include "charset/CodePageTables.h"

#include <bzlib.h>
#include <gtest/gtest.h>
#include <iconv.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "codec/ContentCoding.h"
#include "support/TextSupport.h"
#include "charset/HashConvert.h"
#include "charset/tables/CodePageBlobs.h"

namespace tarvex {
namespace {

// ---------------------------------------------------------------- helpers

// glibc's converter for a code page, used as the reference at test time.
struct GlibcDecoder {
    explicit GlibcDecoder(const char* name) : cd_(name ? iconv_open("UTF-16LE", name) : iconv_t(-1)) {}
    ~GlibcDecoder() {
        if (ok()) iconv_close(cd_);
    }
    bool ok() const { return cd_ != iconv_t(-1); }

    // The single BMP code unit the bytes decode to, or false.
    bool decode(const uint8_t* bytes, size_t n, uint16_t* unit) {
        char in[8], out[16];
        std::memcpy(in, bytes, n);
        char *pin = in, *pout = out;
        size_t inLeft = n, outLeft = sizeof(out);
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        if (iconv(cd_, &pin, &inLeft, &pout, &outLeft) == static_cast<size_t>(-1) || inLeft != 0 ||
            iconv(cd_, nullptr, nullptr, &pout, &outLeft) == static_cast<size_t>(-1) || sizeof(out) - outLeft != 2) {
            return false;
        }
        *unit = static_cast<uint16_t>(static_cast<uint8_t>(out[0]) | (static_cast<uint8_t>(out[1]) << 8));
        return *unit < 0xD800 || *unit > 0xDFFF;
    }
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
    StringBuffer out;
    ContentCoding::encodeBase64(bytes.data(), static_cast<uint32_t>(bytes.size()), out);
    return std::string(out.getString(), out.getSize());
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

// ---------------------------------------------------------------- data


// glibc's name for a code page, or nullptr when it has no converter for it.
const char* glibcName(uint32_t cp) {
    static const std::map<uint32_t, std::string> special = {
        {708, "ASMO-708"}, {737, "CP737"}, {874, "CP874"}, {10000, "MACINTOSH"}, {10007, "MAC-CYRILLIC"},
        {10017, "MAC-UK"}, {10029, "MAC-CENTRALEUROPE"}, {10079, "MAC-IS"}, {20106, "DIN_66003"},
        {20107, "SEN_850200_B"}, {20108, "NS_4551-1"}, {20127, "ANSI_X3.4-1968"}, {20261, "T.61-8BIT"},
        {20269, "ISO_6937"}, {20866, "KOI8-R"}, {21025, "IBM1025"}, {21866, "KOI8-U"}, {28603, "ISO-8859-13"},
        {28605, "ISO-8859-15"}, {38598, "ISO-8859-8"}};
    static std::map<uint32_t, std::string> names;
    std::string& name = names[cp];
    char ibm[16];
    std::snprintf(ibm, sizeof ibm, "IBM%03u", cp % 10000);
    // The rest follow a pattern: CP125x, ISO-8859-n, and IBM with the page
    // number (the 20xxx EBCDIC pages drop their leading 20).
    if (special.count(cp)) name = special.at(cp);
    else if (cp >= 1250 && cp <= 1258) name = "CP" + std::to_string(cp);
    else if (cp >= 28591 && cp <= 28599) name = "ISO-8859-" + std::to_string(cp - 28590);
    else if ((cp < 1200 && cp != 720) || (cp >= 20273 && cp <= 20905)) name = ibm;
    return name.empty() ? nullptr : name.c_str();
}

// Bytes where the table follows the code page vendor's mapping and glibc's
// converter decodes differently.
struct KnownDifference {
    uint32_t codePage;
    uint8_t byte;
    uint16_t unit;
};

const KnownDifference kKnownDifferences[] = {
    {875, 0x74, 0x00A0}, {875, 0xDD, 0x0387}, {1026, 0x9D, 0x00B8}, {1026, 0xBC, 0x00AF}, {10000, 0xC6, 0x2206},
    {10000, 0xF0, 0xF8FF}, {10007, 0xFF, 0x20AC}, {10079, 0xA0, 0x00DD}, {10079, 0xC6, 0x2206},
    {10079, 0xD0, 0x2013}, {10079, 0xD1, 0x2014}, {10079, 0xD7, 0x25CA}, {10079, 0xDB, 0x20AC},
    {10079, 0xDC, 0x00D0}, {10079, 0xDD, 0x00F0}, {10079, 0xE0, 0x00FD}, {10079, 0xF0, 0xF8FF},
    {20273, 0xBC, 0x203E}, {20424, 0x78, 0x2017},
    {28591, 0x80, 0x20AC},  // the euro sign in place of the C1 control
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

TEST(CodePageTables, SingleBytePagesAgreeWithGlibc) {
    // Pages without a table: the converter's own, and those this machine had no mapping data for.
    for (uint32_t cp : {0u, 1200u, 65001u, 50220u, 54936u, 12345u}) EXPECT_EQ(codePageTable(cp), nullptr) << cp;
    EXPECT_FALSE(hasCodePageTable(20924));
    std::string noGlibc;
    int pages = 0;
    for (uint32_t i = 0; i < tables::kCodePageBlobCount; ++i) {
        if (tables::kCodePageBlobs[i].doubleByte) continue;
        const uint32_t cp = tables::kCodePageBlobs[i].codePage;
        ++pages;
        const CodePageTable* t = codePageTable(cp);
        ASSERT_NE(t, nullptr) << cp;
        ASSERT_TRUE(!t->doubleByte && t->decode256 && t->encode) << cp;
        EXPECT_EQ(t->asciiBased, tables::kCodePageBlobs[i].asciiBased) << cp;
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
    EXPECT_EQ(pages, 93);
    std::cout << "[          ] single-byte pages glibc cannot check:" << noGlibc << "\n";
}

TEST(CodePageTables, DoubleBytePagesAgreeWithGlibcOnSamples) {
    for (const DoubleBytePage& p : kDoubleBytePages) {
        const CodePageTable* t = codePageTable(p.codePage);
        ASSERT_TRUE(t && t->doubleByte && t->decode && t->encode) << p.codePage;
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

// The bytes a character encodes to, as hex, or "none".
std::string encoded(uint32_t cp, uint16_t unit) {
    uint32_t len = 0;
    const uint8_t* v = encodeUnit(codePageTable(cp), unit, &len);
    std::string out = v ? "" : "none";
    for (uint32_t i = 0; v && i < len; ++i) out += (i ? " " : "") + std::to_string(v[i]);
    return out;
}

// The character bytes decode to in a double-byte page, or -1.
long decoded(uint32_t cp, const std::string& bytes) {
    uint32_t len = 0;
    const uint8_t* v = codePageTable(cp)->decode->lookup(reinterpret_cast<const uint8_t*>(bytes.data()),
                                                         static_cast<uint32_t>(bytes.size()), &len);
    return v && len == 2 ? v[0] | (v[1] << 8) : -1;
}

TEST(CodePageTables, VendorChoicesAndUnmappedBytes) {
    // Big5 has U+5341 twice; the encoder writes A4 51, not the first pair A2 CC.
    EXPECT_EQ(decoded(950, "\xA2\xCC"), 0x5341);
    EXPECT_EQ(encoded(950, 0x5341), "164 81");
    // Johab encodes compatibility jamo as the composed-syllable form.
    EXPECT_EQ(encoded(1361, 0x3131), "136 65");
    // Latin-1 encodes the euro sign, not the C1 control, at 0x80.
    EXPECT_EQ(encoded(28591, 0x20AC), "128");
    EXPECT_EQ(encoded(28591, 0x0080), "none");

    // Bytes glibc cannot decode are skipped above; the tables leave them unmapped.
    EXPECT_EQ(codePageTable(1252)->decode256[0x81] | codePageTable(1252)->decode256[0x8D], 0u);
    const CodePageTable* german = codePageTable(20106);  // 7-bit national page
    EXPECT_FALSE(german->asciiBased);
    for (int b = 0x80; b < 0x100; ++b) EXPECT_EQ(german->decode256[b], 0u) << b;

    EXPECT_TRUE(codePageTable(932)->asciiBased);
    EXPECT_EQ(decoded(932, "\x81"), -1);  // a lead byte alone is not a character
    // Mac Japanese puts the yen sign at 0x5C, so its low half is not ASCII.
    EXPECT_FALSE(codePageTable(10001)->asciiBased);
    EXPECT_EQ(decoded(10001, "\x5C"), 0xA5);
}

TEST(CodePageTablesBlob, UnpacksGoodAndRefusesDamagedBlobs) {
    DataBuffer payload;
    ASSERT_TRUE(unpackTableBlob(joinedBlob(1252).c_str(), payload));
    const std::string real = tarvex_test::textOf(payload);
    const uint32_t n = static_cast<uint32_t>(real.size());
    const std::string good = container(real, n);
    ASSERT_TRUE(unpackTableBlob(("c" + toBase64(good)).c_str(), payload));
    EXPECT_EQ(tarvex_test::textOf(payload), real);
    // Flag 'x': the base64 is the payload itself.
    const std::string raw("au\x01\x80\x20\x00", 6);
    ASSERT_TRUE(unpackTableBlob(("x" + toBase64(raw)).c_str(), payload));
    EXPECT_EQ(tarvex_test::textOf(payload), raw);

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
