#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "codec/BlowFish.h"
#include "codec/ClsAesInterop.h"
#include "codec/CryptHeader.h"
#include "codec/OutputDataBuffer.h"
#include "codec/ToolSupport.h"
#include "codec/TwoFish.h"
#include "support/TextSupport.h"
#include "log/Logger.h"
#include "platform/Crypto.h"
#include "text/StringBuffer.h"

using namespace tarvex;
using tarvex_test::hex;
using tarvex_test::unhex;

namespace {

std::string asString(const uint8_t* p, size_t n) { return std::string(reinterpret_cast<const char*>(p), n); }
const uint8_t* bytes(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

std::string md5Hex(const std::string& s) {
    uint8_t d[16];
    EXPECT_TRUE(platform::md5(s.data(), static_cast<uint32_t>(s.size()), d));
    return hex(asString(d, 16));
}

std::string encrypted(const std::string& password, const std::string& plain) {
    ClsAesInterop cipher;
    EXPECT_TRUE(cipher.setPassword(bytes(password), static_cast<uint32_t>(password.size())));
    OutputDataBuffer out;
    EXPECT_TRUE(cipher.encryptBytes(bytes(plain), static_cast<uint32_t>(plain.size()), out));
    return asString(out.data(), out.size());
}

bool decrypted(const std::string& password, std::string data, std::string* plain, std::string* log = nullptr) {
    ClsAesInterop cipher;
    cipher.setPassword(bytes(password), static_cast<uint32_t>(password.size()));
    Logger logger;
    uint32_t length = 0;
    bool ok = cipher.decryptBytes(reinterpret_cast<uint8_t*>(&data[0]), static_cast<uint32_t>(data.size()), &length,
                                  logger);
    *plain = data.substr(0, length);
    if (log) *log = tarvex_test::logText(logger);
    return ok;
}

std::string legacy(uint8_t algorithm, uint32_t plainLength, uint32_t keyBits, const std::string& payload) {
    std::string h("ostrand\0", 8);
    h += static_cast<char>(algorithm);
    h += std::string("\0\x01\0", 3);
    for (uint32_t v : {plainLength, keyBits, 0u})
        for (int i = 0; i < 4; ++i) h += static_cast<char>(v >> (8 * i));
    return h + payload;
}

// A block cipher's answer for key and plaintext (hex), and its way back.
template <typename Cipher, size_t N>
void blockKnownAnswer(const std::string& key, const std::string& plain, const char* expected) {
    Cipher cipher;
    const std::string k = unhex(key), p = unhex(plain);
    ASSERT_TRUE(cipher.setKey(bytes(k), static_cast<uint32_t>(k.size())));
    uint8_t out[N], back[N];
    cipher.encryptBlock(bytes(p), out);
    EXPECT_EQ(hex(asString(out, N)), expected) << key;
    cipher.decryptBlock(out, back);
    EXPECT_EQ(asString(back, N), p);
}

}  // namespace

// Published known answers: RFC 1321, FIPS-197, Schneier's and the Twofish
// authors' vectors.
TEST(CipherTest, KnownAnswers) {
    EXPECT_EQ(md5Hex(""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(md5Hex("abc"), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(md5Hex("12345678901234567890123456789012345678901234567890123456789012345678901234567890"),
              "57edf4a22be3c955ac49da2e2107b67a");

    const uint8_t zeroIv[16] = {};
    for (auto [key, ct] : {std::pair<std::string, std::string>{"000102030405060708090a0b0c0d0e0f",
                                                               "69c4e0d86a7b0430d8cdb78070b4c55a"},
                           {"000102030405060708090a0b0c0d0e0f1011121314151617", "dda97ca4864cdfe06eaf70a0ec0d7191"},
                           {"000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f",
                            "8ea2b7ca516745bfeafc49904b496089"}}) {
        const std::string k = unhex(key), pt = unhex("00112233445566778899aabbccddeeff");
        platform::AesCbc aes;
        uint8_t out[16];
        ASSERT_TRUE(aes.init(true, bytes(k), static_cast<uint32_t>(k.size()), zeroIv));
        ASSERT_TRUE(aes.update(bytes(pt), 16, out));
        EXPECT_EQ(hex(asString(out, 16)), ct);
        ASSERT_TRUE(aes.init(false, bytes(k), static_cast<uint32_t>(k.size()), zeroIv));
        ASSERT_TRUE(aes.update(out, 16, out));
        EXPECT_EQ(asString(out, 16), pt);
    }

    const char* const blowfish[][3] = {{"0000000000000000", "0000000000000000", "4ef997456198dd78"},
                                       {"ffffffffffffffff", "ffffffffffffffff", "51866fd5b85ecb8a"},
                                       {"3000000000000000", "1000000000000001", "7d856f9a613063f2"},
                                       {"0123456789abcdef", "1111111111111111", "61f9c3802281b096"},
                                       {"fedcba9876543210", "0123456789abcdef", "0aceab0fc6a0a28d"}};
    for (const auto& v : blowfish) blockKnownAnswer<BlowFish, 8>(v[0], v[1], v[2]);
    const std::string zero(32, '0');
    blockKnownAnswer<TwoFish, 16>(zero, zero, "9f589f5cf6122c32b6bfec2f2ae8c35a");
    blockKnownAnswer<TwoFish, 16>("0123456789abcdeffedcba98765432100011223344556677", zero,
                                  "cfd1d2e5a9be9cdf501f13b892bd2248");
    blockKnownAnswer<TwoFish, 16>("0123456789abcdeffedcba987654321000112233445566778899aabbccddeeff", zero,
                                  "37527be0052334b89f0cfccae87cfa20");
}

TEST(CipherTest, KeyMaterialIsTwoDigestsAndPaddingIsAlwaysAdded) {
    ClsAesInterop cipher;
    ASSERT_TRUE(cipher.setPassword(bytes("secret"), 6));
    EXPECT_EQ(hex(asString(cipher.keyMaterial(), 16)), md5Hex("secret"));
    EXPECT_EQ(hex(asString(cipher.keyMaterial() + 16, 16)), md5Hex("c2VjcmV0"));
    ASSERT_TRUE(cipher.setPassword(bytes(""), 0));
    EXPECT_EQ(hex(asString(cipher.keyMaterial(), 32)), std::string(64, '0'));

    EXPECT_EQ(encrypted("pw", std::string(16, 'a')).size(), 32u);
    EXPECT_EQ(encrypted("pw", "").size(), 16u);
    EXPECT_EQ(encrypted("pw", std::string(17, 'a')).size(), 32u);
}

TEST(CipherTest, WrongPasswordsAndTruncationAreCaught) {
    const std::string plain = "The quick brown fox";
    std::string back, log;
    ASSERT_TRUE(decrypted("right", encrypted("right", plain), &back));
    EXPECT_EQ(back, plain);
    // A pair of passwords whose garbage fails the padding check.
    EXPECT_FALSE(decrypted("wrong", encrypted("right", plain), &back, &log));
    EXPECT_NE(log.find("Wrong password or corrupt encrypted data"), std::string::npos);
    const std::string c = encrypted("right", plain);
    EXPECT_FALSE(decrypted("right", c.substr(0, c.size() - 5), &back, &log));
    EXPECT_NE(log.find("not a whole number of blocks"), std::string::npos);
    EXPECT_FALSE(decrypted("right", c.substr(0, 16), &back));  // the padding block is gone
    EXPECT_FALSE(decrypted("right", "", &back));
}

TEST(CipherTest, LegacyFormatIsReadAndItsHeaderIsNotTrusted) {
    ClsAesInterop key;
    key.setPassword(bytes("pw"), 2);
    const uint8_t zeroIv[16] = {};
    const std::string plain = "legacy data 1234567";  // 19 bytes, no padding kept

    // AES: 32 bytes of ciphertext for 19 bytes of plaintext.
    std::string block = plain + std::string(13, 'z');
    platform::AesCbc aes;
    ASSERT_TRUE(aes.init(true, key.keyMaterial(), 16, zeroIv));
    std::string payload(32, '\0');
    ASSERT_TRUE(aes.update(bytes(block), 32, reinterpret_cast<uint8_t*>(&payload[0])));
    std::string back, log;
    ASSERT_TRUE(decrypted("pw", legacy(1, 19, 128, payload), &back));
    EXPECT_EQ(back, plain);

    // Blowfish: 40-bit minimum key, ECB.
    BlowFish bf;
    ASSERT_TRUE(bf.setKey(key.keyMaterial(), 5));
    std::string bfPayload(24, '\0');
    const std::string bfBlock = plain + std::string(5, 'z');
    for (int i = 0; i < 24; i += 8) bf.encryptBlock(bytes(bfBlock) + i, reinterpret_cast<uint8_t*>(&bfPayload[i]));
    ASSERT_TRUE(decrypted("pw", legacy(2, 19, 16, bfPayload), &back));
    EXPECT_EQ(back, plain);

    // Twofish with a 256-bit key (the key material's second half in use).
    TwoFish tf;
    ASSERT_TRUE(tf.setKey(key.keyMaterial(), 32));
    std::string tfPayload(32, '\0');
    uint8_t chain[16] = {};
    for (int i = 0; i < 32; i += 16) {
        uint8_t in[16];
        for (int b = 0; b < 16; ++b) in[b] = static_cast<uint8_t>(block[i + b]) ^ chain[b];
        tf.encryptBlock(in, chain);
        std::memcpy(&tfPayload[i], chain, 16);
    }
    ASSERT_TRUE(decrypted("pw", legacy(3, 19, 256, tfPayload), &back));
    EXPECT_EQ(back, plain);

    EXPECT_FALSE(decrypted("pw", legacy(1, 33, 128, payload), &back, &log));
    EXPECT_NE(log.find("claims more bytes"), std::string::npos);
    EXPECT_FALSE(decrypted("pw", legacy(1, 0xFFFFFFFFu, 128, payload), &back));
    EXPECT_FALSE(decrypted("pw", legacy(1, 19, 128, payload.substr(0, 31)), &back, &log));
    EXPECT_NE(log.find("not a whole number of blocks"), std::string::npos);
    EXPECT_FALSE(decrypted("pw", legacy(1, 19, 128, "").substr(0, 20), &back, &log));
    EXPECT_NE(log.find("too short"), std::string::npos);
    EXPECT_FALSE(decrypted("pw", legacy(9, 19, 128, payload), &back, &log));
    EXPECT_NE(log.find("Unknown encryption algorithm"), std::string::npos);
    ASSERT_TRUE(decrypted("pw", legacy(1, 0, 128, ""), &back));  // nothing at all
    EXPECT_EQ(back, "");
}

// Peer: the openssl command line, both directions.
TEST(CipherTest, InteroperatesWithOpensslEnc) {
    REQUIRE_TOOL("openssl");
    const std::string plain = std::string("Interop \x00\xff text ", 17) + std::string(1000, 'x');
    const std::string keyHex = md5Hex("s3cret");
    const std::string args = " enc -aes-128-cbc -K " + keyHex + " -iv 00000000000000000000000000000000";
    std::string out;
    ASSERT_TRUE(tarvex_test::runTool("openssl" + args + " -d", encrypted("s3cret", plain), &out));
    EXPECT_EQ(out, plain);
    ASSERT_TRUE(tarvex_test::runTool("openssl" + args, plain, &out));
    EXPECT_EQ(out, encrypted("s3cret", plain));
    std::string back;
    ASSERT_TRUE(decrypted("s3cret", out, &back));
    EXPECT_EQ(back, plain);
}
