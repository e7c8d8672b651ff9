// Generated documents through parse, serialize, re-parse and free: the
// second round must give the first round's text. Seeded and bounded, so every
// run sees the same inputs; parsed from exact-size heap copies, so a read
// past the end shows under ASan. Mutated bytes are the parser fuzz target's.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <string>

#include "xml/XmlSupport.h"

using namespace tarvex;

namespace {

class Rng {
public:
    explicit Rng(uint32_t seed) : gen_(seed) {}
    uint32_t below(uint32_t n) { return n ? gen_() % n : 0; }
    bool chance(uint32_t percent) { return below(100) < percent; }
    template <size_t N>
    const char* pick(const char* const (&items)[N]) { return items[below(N)]; }

private:
    std::mt19937 gen_;
};

const char* const kNames[] = {"a", "b", "item", "x-y", "n.1", "data_2", "\xC3\xA9l\xC3\xA9ment", "q"};
const char* const kText[] = {"text", "caf\xC3\xA9", "a &amp; b", "&lt;tag&gt;", "&#233;", "&eacute;",
                             "&amp;lt;", "&foo;", "x > y", "\"quoted\" 'single'", "\xE4\xB8\xAD\xE6\x96\x87",
                             "tab\there", "line\nbreak", "&nbsp", "]]", "\xF0\x9F\x98\x80"};
const char* const kValues[] = {"", "v", "1 2", "&lt;&gt;&amp;&quot;&apos;", "&#65;", "&amp;#65;", "a>b",
                               "\xC3\xA9", "&eacute;", "x\ny"};
const char* const kCdata[] = {"", "<raw>", "a && b", "]]", "]", "x]]y", "\xE4\xB8\xAD", " spaced "};

std::string name(Rng& r) { return r.pick(kNames); }

void element(Rng& r, std::string& out, int depth) {
    std::string tag = name(r);
    out += "<" + tag;
    uint32_t attrs = r.below(4);
    for (uint32_t i = 0; i < attrs; ++i) {
        out += " " + name(r) + "=";
        switch (r.below(3)) {
            case 0: out += std::string("\"") + r.pick(kValues) + "\""; break;
            case 1: out += std::string("'") + r.pick(kValues) + "'"; break;
            default: out += r.chance(50) ? "plain" : "p/q"; break;
        }
    }
    if (r.chance(20)) {
        out += r.chance(50) ? "/>" : " />";
        return;
    }
    out += ">";
    uint32_t parts = r.below(depth > 6 ? 2 : 6);
    for (uint32_t i = 0; i < parts; ++i) {
        switch (r.below(6)) {
            case 0: out += r.pick(kText); break;
            case 1: out += std::string("<![CDATA[") + r.pick(kCdata) + "]]>"; break;
            case 2: out += "<!-- note > here -->"; break;
            case 3: out += "  \r\n "; break;
            default: element(r, out, depth + 1); break;
        }
    }
    out += "</" + tag + ">";
}

std::string document(Rng& r) {
    std::string out;
    if (r.chance(50)) out += "<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"no\"?>\n";
    if (r.chance(20)) out += "<?xml-stylesheet type='text/xsl' href='s.xsl'?>\n";
    if (r.chance(30)) out += "<!DOCTYPE r [<!ENTITY lt \"<\"><!-- > --><!ELEMENT r ANY>]>\n";
    if (r.chance(20)) out += "<?pi some data?>\n";
    element(r, out, 0);
    return out;
}

// Parses from an exact-size heap copy; returns the serialized tree (or a
// marker when no root came out).
std::string cycle(const std::string& text) {
    std::unique_ptr<char[]> copy(new char[text.size() ? text.size() : 1]);
    if (!text.empty()) std::memcpy(copy.get(), text.data(), text.size());
    TreeNode* root = nullptr;
    EXPECT_TRUE(XmlParser::parseUtf8(copy.get(), static_cast<int32_t>(text.size()), nullptr, &root));
    if (!root) return "<none>";
    std::string out = tarvex_test::xmlOf(root);
    TreeNode::Destroy(root);
    return out;
}

}  // namespace

TEST(XmlFuzz, GeneratedDocumentsReachFixedPoint) {
    Rng r(20240611);
    for (int i = 0; i < 8000; ++i) {
        std::string doc = document(r);
        std::string once = cycle(doc);
        ASSERT_NE(once, "<none>") << doc;
        std::string twice = cycle(once);
        ASSERT_EQ(twice, once) << "input: " << doc;
    }
}
