// Compressed, encrypted and binary content through the members a script
// calls. The plain round trips, and content another program compressed, are
// driven from script (tests/windows/codec.js, run by the script host tests);
// Python's zlib is the peer of the DEFLATE tests. Here: logs, failures, ownership.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "component/ComponentSupport.h"

using namespace tarvex_test;

namespace {

// The bytes of a returned VARIANT; "<null>" for VT_NULL, "<empty>" when unset.
std::string bytesOf(VARIANT& v) {
    std::string out;
    if (v.vt == VT_NULL) out = "<null>";
    else if (v.vt == VT_EMPTY) out = "<empty>";
    else if (v.vt == (VT_ARRAY | VT_UI1)) {
        void* data = nullptr;
        LONG lo = 0, hi = -1;
        SafeArrayGetLBound(v.parray, 1, &lo);
        SafeArrayGetUBound(v.parray, 1, &hi);
        SafeArrayAccessData(v.parray, &data);
        out.assign(static_cast<const char*>(data), static_cast<size_t>(hi - lo + 1));
        SafeArrayUnaccessData(v.parray);
    }
    VariantClear(&v);
    return out;
}

std::string binary(Tarvex& x, LONG unzip, LONG decrypt, const std::string& password) {
    VARIANT v;
    VariantInit(&v);
    x->GetBinaryContent(unzip, decrypt, BstrArg(password), &v);
    return bytesOf(v);
}

void setBinary(Tarvex& x, LONG zip, LONG encrypt, const std::string& password, const std::string& bytes) {
    VARIANT v = byteArray(bytes);
    x->SetBinaryContent(zip, encrypt, BstrArg(password), v);
    VariantClear(&v);
}

LONG decompress(Tarvex& x) { return outLong(x, &ITarvex::DecompressNode); }
LONG decrypt(Tarvex& x, const std::string& password) { return outLong(x, &ITarvex::DecryptNode, BstrArg(password)); }

std::string randomBytes(size_t n) {
    std::mt19937 rng(11);
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>(i % 7 == 0 ? rng() : 'a' + i % 13);
    return s;
}

}  // namespace

TEST(TarvexCodecTest, CompressNodeStoresOneBase64LineAndRestoresIt) {
    Tarvex x = loaded("<a>hello</a>");
    x->CompressNode();
    const std::string stored = x.content();
    EXPECT_EQ(stored.size(), stored.find("\r\n") + 2);
    EXPECT_EQ(logText(x), oneContext("CompressNode"));
    EXPECT_EQ(decompress(x), 1);
    EXPECT_EQ(logText(x), oneContext("DecompressNode"));

    // No content: nothing happens and the previous log stays.
    Tarvex empty = loaded("<a><b/></a>");
    empty.loadXml("<broken");
    const std::string before = logText(empty);
    empty->CompressNode();
    EXPECT_EQ(decompress(empty), 1);
    EXPECT_EQ(logText(empty), before);

    // Content that is not Base64 is reported and kept.
    x.setContent("abc!def");
    EXPECT_EQ(decompress(x), 0);
    EXPECT_EQ(logText(x), oneContext("DecompressNode", {"Invalid Base64 data"}));
    EXPECT_EQ(x.content(), "abc!def");
}

TEST(TarvexCodecTest, CompressSubtreeRoundTripsChildrenAndAttributes) {
    Tarvex doc = loaded("<?xml version=\"1.0\"?><r><n k=\"v\">text<c>1</c><c>2</c></n></r>");
    Tarvex n = doc.child(0);
    Tarvex held = n.child(1);  // an object inside the subtree keeps its node alive
    n->CompressSubtree();
    EXPECT_EQ(held.content(), "2");
    EXPECT_EQ(outLong(n, &ITarvex::DecompressSubtree), 1);
    EXPECT_EQ(n.child(1).content(), "2");
    EXPECT_EQ(n.content(), "text");
    EXPECT_EQ(held.content(), "2");

    // The document root takes its declaration along.
    doc->CompressSubtree();
    EXPECT_EQ(outLong(doc, &ITarvex::DecompressSubtree), 1);
    EXPECT_EQ(doc.child(0).attr("k"), "v");
}

TEST(TarvexCodecTest, EncryptAndDecryptNode) {
    Tarvex x = loaded("<a>secret text</a>");
    x->EncryptNode(BstrArg("pw"));
    EXPECT_EQ(logText(x), oneContext("EncryptNode"));
    const std::string stored = x.content();
    // A wrong password the padding check catches: the content stays.
    EXPECT_EQ(decrypt(x, "wrong"), 0);
    EXPECT_EQ(logText(x), oneContext("DecryptNode", {"Wrong password or corrupt encrypted data"}));
    EXPECT_EQ(x.content(), stored);
    EXPECT_EQ(decrypt(x, "pw"), 1);
    x->EncryptNode(BstrArg(""));  // the all-zero key
    EXPECT_EQ(decrypt(x, ""), 1);
    EXPECT_EQ(x.content(), "secret text");

    x->EncryptNode(nullptr);
    EXPECT_EQ(logText(x), oneContext("EncryptNode", {"Parameter is NULL"}));
    EXPECT_EQ(outLong(x, &ITarvex::DecryptNode, nullptr), 0);
    x.setContent("not base64!");
    EXPECT_EQ(decrypt(x, "pw"), 0);
    EXPECT_EQ(logText(x), oneContext("DecryptNode", {"Invalid Base64 data"}));
}

TEST(TarvexCodecTest, BinaryContentInEveryLayering) {
    Tarvex x = newObject();
    const std::string data = randomBytes(100000) + std::string("\0\xff", 2);
    for (LONG zip : {0, 1})
        for (LONG enc : {0, 1}) {
            setBinary(x, zip, enc, "p\xC3\xA4ss", data);
            EXPECT_EQ(binary(x, zip, enc, "p\xC3\xA4ss"), data) << zip << enc;
        }
    // Layers are not guessed: reading without the decrypt flag gives the ciphertext.
    setBinary(x, 0, 1, "pw", "abc");
    EXPECT_EQ(binary(x, 0, 0, "pw").size(), 16u);
    EXPECT_EQ(binary(x, 0, 1, "other"), "<empty>");
    EXPECT_NE(logText(x).find("Wrong password or corrupt encrypted data"), std::string::npos);

    Tarvex empty = newObject();
    EXPECT_EQ(binary(empty, 0, 0, ""), "<empty>");
    EXPECT_NE(logText(empty).find("Failed to decode base64 data"), std::string::npos);
    setBinary(empty, 1, 1, "pw", "");
    EXPECT_EQ(empty.content(), "");
    empty.setContent("AAAA");
    EXPECT_EQ(binary(empty, 1, 0, ""), "<empty>");
    EXPECT_NE(logText(empty).find("Failed to unzip data"), std::string::npos);
}

TEST(TarvexCodecTest, FiftyMegabytesRoundTrip) {
    Tarvex x = newObject();
    const std::string data = randomBytes(50 * 1000 * 1000);
    setBinary(x, 1, 1, "pw", data);
    EXPECT_TRUE(binary(x, 1, 1, "pw") == data);
    x.setContent(std::string(data.size(), 'x'));
    x->CompressNode();
    EXPECT_LT(x.content().size(), 1000000u);
    EXPECT_EQ(decompress(x), 1);
    EXPECT_EQ(x.content().size(), data.size());
}
