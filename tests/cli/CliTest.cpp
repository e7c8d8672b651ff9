// The tarvex command-line tool, run as a user runs it.
#include <gtest/gtest.h>

#include <cctype>

#include "support/CommandRunner.h"

#ifdef TARVEX_CLI

namespace {

using tarvex_test::CommandResult;
using tarvex_test::readAll;
using tarvex_test::ScratchDir;
using tarvex_test::writeAll;

const char kOrders[] =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
    "<orders>\n"
    "  <order id=\"1\"><customer>Chlo\xC3\xA9 M\xC3\xBCller</customer><note>fragile</note></order>\n"
    "  <order id=\"2\"><customer>Jos\xC3\xA9</customer><note>leave at door</note></order>\n"
    "  <order id=\"3\"><customer>chloe martin</customer></order>\n"
    "</orders>\n";

CommandResult tarvex(const ScratchDir& dir, const std::vector<std::string>& args) {
    return tarvex_test::runProgram(TARVEX_CLI, args, dir);
}

// Runs a command that must succeed and stay quiet on standard error; its output.
std::string succeeded(const ScratchDir& dir, const std::vector<std::string>& args) {
    const CommandResult r = tarvex(dir, args);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.err.empty()) << r.err;  // no progress or log in a pipe
    return r.out;
}

TEST(CliTest, BadUsageExitsWithTwoAndSaysWhy) {
    ScratchDir dir("cli-usage");
    writeAll(dir / "a.xml", kOrders);
    const std::vector<std::vector<std::string>> cases = {
        {},                                            // no command
        {"frobnicate", "a.xml"},                       // unknown command
        {"fmt"},                                       // missing FILE
        {"fmt", "a.xml", "b.xml"},                     // one too many
        {"fmt", "a.xml", "--bogus"},                   // unknown option
        {"fmt", "a.xml", "-o"},                        // option without its value
        {"fmt", "a.xml", "--tag", "x"},                // option the command does not take
        {"convert", "a.xml", "-o", "b.xml"},           // --to missing
        {"encrypt", "a.xml", "--tag", "note"},         // --password missing
        {"compress", "a.xml", "--tag", ""},            // empty tag
        {"find", "a.xml"},                             // TAG missing
    };
    for (const auto& args : cases) {
        const CommandResult r = tarvex(dir, args);
        std::string line;
        for (const auto& a : args) line += a + " ";
        EXPECT_EQ(r.status, 2) << line;
        EXPECT_NE(r.err.find("tarvex: "), std::string::npos) << line;
        EXPECT_TRUE(r.out.empty()) << line;
    }
    EXPECT_EQ(readAll(dir / "a.xml"), kOrders);  // nothing was touched
    const CommandResult help = tarvex(dir, {"--help"});
    EXPECT_EQ(help.status, 0);
    for (const char* command : {"fmt", "convert", "find", "get", "encrypt", "decrypt", "compress", "decompress"})
        EXPECT_NE(help.out.find(command), std::string::npos) << command;
}

TEST(CliTest, MissingFileFailsWithTheCallLog) {
    ScratchDir dir("cli-missing");
    for (const char* command : {"fmt", "find"}) {
        std::vector<std::string> args = {command, "absent.xml"};
        if (std::string(command) == "find") args.push_back("x");
        const CommandResult r = tarvex(dir, args);
        EXPECT_EQ(r.status, 1) << command;
        EXPECT_NE(r.err.find("cannot load absent.xml"), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("LoadXmlFile"), std::string::npos) << r.err;  // the call log follows
        EXPECT_TRUE(r.out.empty());
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "absent.xml"));
}

TEST(CliTest, FmtWritesBackInPlaceOrToOutput) {
    ScratchDir dir("cli-fmt");
    writeAll(dir / "a.xml", kOrders);
    const std::string out = succeeded(dir, {"fmt", "a.xml", "-o", "-"});
    EXPECT_NE(out.find("<customer>Chlo\xC3\xA9 M\xC3\xBCller</customer>"), std::string::npos) << out;
    succeeded(dir, {"fmt", "a.xml"});
    const std::string once = readAll(dir / "a.xml");
    EXPECT_EQ(once, out);
    // Formatting is stable: a second run changes nothing.
    succeeded(dir, {"fmt", "a.xml", "-o", "again.xml"});
    EXPECT_EQ(readAll(dir / "again.xml"), once);
}

TEST(CliTest, ConvertWritesTheNewEncodingAndRefusesUnknownOnes) {
    ScratchDir dir("cli-convert");
    writeAll(dir / "a.xml", kOrders);
    succeeded(dir, {"convert", "a.xml", "--to", "iso-8859-1", "-o", "latin1.xml"});
    const std::string latin1 = readAll(dir / "latin1.xml");
    EXPECT_NE(latin1.find("encoding=\"iso-8859-1\""), std::string::npos);
    EXPECT_NE(latin1.find("Chlo\xE9 M\xFCller"), std::string::npos);  // one byte each now

    // And back: the document reads the same.
    EXPECT_NE(succeeded(dir, {"convert", "latin1.xml", "--to", "utf-8", "-o", "-"}).find("Chlo\xC3\xA9 M\xC3\xBCller"),
              std::string::npos);
    const CommandResult r = tarvex(dir, {"convert", "a.xml", "--to", "no-such-charset", "-o", "out.xml"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("no-such-charset"), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir / "out.xml"));
}

TEST(CliTest, FindPrintsMatchesInDocumentOrder) {
    ScratchDir dir("cli-find");
    writeAll(dir / "a.xml", kOrders);
    const struct {
        std::vector<std::string> args;
        const char* out;
    } cases[] = {
        {{"customer", "Chlo*", "--content"}, "Chlo\xC3\xA9 M\xC3\xBCller\n"},
        {{"customer", "chlo*", "-i", "--content"}, "Chlo\xC3\xA9 M\xC3\xBCller\nchloe martin\n"},
        {{"note"}, "<note>fragile</note>\n<note>leave at door</note>\n"},
        {{"*", "Jos*", "--content"}, "Jos\xC3\xA9\n"},
        {{"customer", "Nobody"}, ""},  // like grep: nothing found is status 1
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"find", "a.xml"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const CommandResult r = tarvex(dir, args);
        EXPECT_EQ(r.status, *c.out ? 0 : 1) << r.err;
        EXPECT_EQ(r.out, c.out);
        EXPECT_TRUE(r.err.empty()) << r.err;
    }
}

TEST(CliTest, FindWalksLargeAndDeepDocuments) {
    ScratchDir dir("cli-find-large");
    std::string xml = "<r>";
    for (int i = 0; i < 20000; ++i) xml += "<i>" + std::to_string(i) + "</i>";
    for (int i = 0; i < 2000; ++i) xml += "<d>";
    xml += "<i>deep</i>";
    for (int i = 0; i < 2000; ++i) xml += "</d>";
    xml += "</r>";
    writeAll(dir / "big.xml", xml);
    const CommandResult r = tarvex(dir, {"find", "big.xml", "i", "*9999", "--content"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "9999\n19999\n");
    EXPECT_EQ(tarvex(dir, {"find", "big.xml", "i", "deep", "--content"}).out, "deep\n");
}

TEST(CliTest, EncryptAndDecryptRoundTrip) {
    ScratchDir dir("cli-crypt");
    writeAll(dir / "a.xml", kOrders);
    succeeded(dir, {"encrypt", "a.xml", "--password", "s3cret", "--tag", "customer", "-o", "enc.xml"});
    const std::string encrypted = readAll(dir / "enc.xml");
    EXPECT_EQ(encrypted.find("Chlo"), std::string::npos);
    EXPECT_NE(encrypted.find("fragile"), std::string::npos);  // other elements stay

    succeeded(dir, {"decrypt", "enc.xml", "--password", "s3cret", "--tag", "customer", "-o", "dec.xml"});
    EXPECT_EQ(readAll(dir / "dec.xml"), succeeded(dir, {"fmt", "a.xml", "-o", "-"}));
    // The password comes from a file too.
    writeAll(dir / "pw.txt", "s3cret\n");
    EXPECT_NE(succeeded(dir, {"decrypt", "enc.xml", "--password-file", "pw.txt", "--tag", "customer", "-o", "-"})
                  .find("Chlo\xC3\xA9"),
              std::string::npos);
}

TEST(CliTest, WrongPasswordFailsAndWritesNothing) {
    ScratchDir dir("cli-wrong-password");
    std::string xml = "<r>";
    for (int i = 0; i < 20; ++i) xml += "<secret>account number " + std::to_string(1000 + i) + "</secret>";
    xml += "</r>";
    writeAll(dir / "a.xml", xml);
    succeeded(dir, {"encrypt", "a.xml", "--password", "right", "--tag", "secret"});
    const std::string encrypted = readAll(dir / "a.xml");
    const CommandResult r = tarvex(dir, {"decrypt", "a.xml", "--password", "wrong", "--tag", "secret"});
    EXPECT_EQ(r.status, 1);
    // Said by the tool, or by the member itself where it detects it.
    std::string lower = r.err;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_NE(lower.find("wrong password"), std::string::npos) << r.err;
    EXPECT_EQ(readAll(dir / "a.xml"), encrypted);
}

TEST(CliTest, CompressAndDecompressNodesAndSubtrees) {
    ScratchDir dir("cli-compress");
    writeAll(dir / "a.xml", kOrders);
    succeeded(dir, {"compress", "a.xml", "--tag", "note", "-o", "c.xml"});
    EXPECT_EQ(readAll(dir / "c.xml").find("fragile"), std::string::npos);
    succeeded(dir, {"decompress", "c.xml", "--tag", "note", "-o", "d.xml"});
    EXPECT_EQ(readAll(dir / "d.xml"), succeeded(dir, {"fmt", "a.xml", "-o", "-"}));

    succeeded(dir, {"compress", "a.xml", "--tag", "order", "--subtree", "-o", "s.xml"});
    EXPECT_EQ(readAll(dir / "s.xml").find("customer"), std::string::npos);
    const std::string out = succeeded(dir, {"decompress", "s.xml", "--tag", "order", "--subtree", "-o", "-"});
    EXPECT_NE(out.find("<customer>Jos\xC3\xA9</customer>"), std::string::npos) << out;

    // Content that is not compressed data is refused, and nothing is written.
    const CommandResult r = tarvex(dir, {"decompress", "a.xml", "--tag", "note", "-o", "bad.xml"});
    EXPECT_EQ(r.status, 1);
    EXPECT_FALSE(std::filesystem::exists(dir / "bad.xml"));
}

TEST(CliTest, GetFromARefusedPortFails) {
    ScratchDir dir("cli-get-refused");
    // Nothing listens on port 1 of the loopback address.
    const CommandResult r = tarvex(dir, {"get", "http://127.0.0.1:1/doc.xml"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.out.empty());
    EXPECT_NE(r.err.find("cannot fetch http://127.0.0.1:1/doc.xml"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("HttpGet"), std::string::npos) << r.err;
}

TEST(CliTest, GetFetchesFromALocalServer) {
    ScratchDir dir("cli-get");
    writeAll(dir / "doc.xml", kOrders);
    // A server of our own on the loopback address; the port comes from its
    // first line. Bounded: 10 s to start, killed by its process id at the end.
    const std::string start = "cd " + tarvex_test::shellQuote(dir.path().string()) +
                              " && (timeout 60 python3 -u -m http.server 0 --bind 127.0.0.1 >server.log 2>&1 &"
                              " echo $! >server.pid)";
    ASSERT_EQ(std::system(start.c_str()), 0);
    std::string port;
    for (int i = 0; i < 100 && port.empty(); ++i) {
        const std::string log = readAll(dir / "server.log");
        const size_t at = log.find(" port ");
        if (at != std::string::npos) port = log.substr(at + 6, log.find(' ', at + 6) - at - 6);
        if (port.empty()) std::system("sleep 0.1");
    }
    ASSERT_FALSE(port.empty()) << readAll(dir / "server.log");
    const CommandResult r = tarvex(dir, {"get", "http://127.0.0.1:" + port + "/doc.xml"});
    const std::string stop = "kill " + readAll(dir / "server.pid");
    std::system(stop.c_str());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("<customer>Jos\xC3\xA9</customer>"), std::string::npos) << r.out;
}

}  // namespace

#endif  // TARVEX_CLI
