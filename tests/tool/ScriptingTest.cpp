// The scripting side of the tool: names as text, --json documents, and -r over folder trees.
#include "ToolRunner.h"

#include "tool/NameText.h"

#include <nlohmann/json.hpp>

namespace qarvex {

using namespace toolrun;
using nlohmann::json;

namespace {

TEST(NameTextTest, EveryByteHasOneCharacterAndComesBack) {
    std::string all;
    for (int byte = 1; byte < 256; ++byte)
        all += char(byte);
    std::string text = tool::nameToText(all), back;
    EXPECT_TRUE(tool::isUtf8(text));
    ASSERT_TRUE(tool::textToName(text, back));
    EXPECT_EQ(back, all);
    struct Case {
        std::string bytes, text;
    } cases[] = {
        {"\x80", "\u20AC"}, {"\x81", "\u0081"}, {"\x8D", "\u008D"},     {"\x8F", "\u008F"},
        {"\x90", "\u0090"}, {"\x9D", "\u009D"}, {"\x9F", "\u0178"},     {"\xA0", "\u00A0"},
        {"\xE9", "\u00E9"}, {"\x01", "\x01"},   {"a\"b\\c", "a\"b\\c"},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(tool::nameToText(c.bytes), c.text) << c.text;
        ASSERT_TRUE(tool::textToName(c.text, back));
        EXPECT_EQ(back, c.bytes);
    }
}

TEST(NameTextTest, TextWithoutBytesIsRefused) {
    std::string bytes;
    for (const char *text :
         {"\u0100", "\u4E2D", "\U0001F600", "\xC3", "\xC0\xAF", "\xED\xA0\x80", "\x80", "a\xFF"})
        EXPECT_FALSE(tool::textToName(text, bytes)) << text;
    EXPECT_FALSE(tool::isUtf8("\xE9t\xE9"));
}

class ScriptingTest : public ToolTest {
protected:
    json runJson(const std::vector<std::string> &arguments, int expectedExit = 0) {
        ToolRun result = run(arguments);
        EXPECT_EQ(result.exitCode, expectedExit) << result.err;
        json document = json::parse(result.out, nullptr, false);
        EXPECT_FALSE(document.is_discarded()) << result.out;
        return document;
    }
};

TEST_F(ScriptingTest, NamesOfAnyBytesAreTextThatGivesThemBack) {
    const std::string name = "dir\"\x01\xE9\\b\x9D\x81\x80\xFF.txt";
    VolumeBuilder builder;
    builder.add(7, name.c_str(), "12345");
    builder.add(0, "plain.txt", "");
    volume("odd.vol", builder);
    json listed = runJson({"-l", "--json", "*", "odd.vol"});
    ASSERT_EQ(listed["volumes"].size(), 1u);
    const json &entries = listed["volumes"][0]["entries"];
    ASSERT_EQ(entries.size(), 2u);
    std::string back;
    ASSERT_TRUE(tool::textToName(entries[0]["name"].get<std::string>(), back));
    EXPECT_EQ(back, name);
    EXPECT_EQ(entries[0]["id"], 7);
    EXPECT_EQ(entries[0]["size"], 5);
    EXPECT_EQ(entries[0]["stored_size"], 5);
    EXPECT_EQ(entries[0]["method"], "stored");
    EXPECT_TRUE(entries[1]["id"].is_null());
    EXPECT_EQ(listed["volumes"][0]["bytes"], 5);
    // The control byte is escaped as JSON requires.
    EXPECT_NE(run({"--json", "*", "odd.vol"}).out.find("\\u0001"), std::string::npos);
}

TEST_F(ScriptingTest, TheMatchLimitIsAFieldAndExitCodesStayAsTheyAre) {
    VolumeBuilder builder;
    for (int i = 0; i < 16385; ++i)
        builder.add(uint32_t(i + 1), std::to_string(i).insert(0, 1, 'n').c_str(), "");
    volume("big.vol", builder);
    scratch.write("text.vol", fixture::Bytes{'n', 'o'});
    json found = runJson({"--json", "*", "big.vol", "text.vol", "none.vol"});
    ASSERT_EQ(found["volumes"].size(), 3u);
    EXPECT_EQ(found["volumes"][0]["entries"].size(), 16384u);
    EXPECT_EQ(found["volumes"][0]["match_list_full"], true);
    EXPECT_EQ(found["volumes"][1]["error"], "not a volume");
    EXPECT_EQ(found["volumes"][2]["error"], "no matching file");
    // Each command ends as its text form does, with the same diagnostics.
    for (std::vector<std::string> command : {std::vector<std::string>{"-l", "*", "big.vol", "text.vol"},
                                             {"-t", "n1*", "big.vol", "none.vol"},
                                             {"*", "none.vol"}}) {
        ToolRun text = run(command);
        command.insert(command.begin(), "--json");
        ToolRun asJson = run(command);
        EXPECT_EQ(asJson.exitCode, text.exitCode) << command[1];
        EXPECT_EQ(asJson.err, text.err) << command[1];
    }
}

TEST_F(ScriptingTest, FoldersAreSearchedForVolumesThreeDeep) {
    VolumeBuilder a, b, c;
    a.add(1, "a.txt", "a");
    b.add(2, "b.txt", "bb");
    c.add(3, "c.txt", "ccc");
    volume("tree/one.vol", a);
    volume("tree/Sub/two.dat", b); // a volume whatever its extension
    volume("tree/Sub/deeper/deepest/three.vol", c);
    scratch.write("tree/notes.txt", fixture::text("not a volume"));
    scratch.write("tree/Sub/deeper/fake.vol", fixture::text("a text, not a volume"));
    scratch.write("tree/Sub/deeper/empty.vol", {});
    ToolRun found = run({"-r", "*.txt", "tree"});
    std::string sep(1, platform::PathSeparator);
    std::string one = "tree" + sep + "one.vol", two = "tree" + sep + "Sub" + sep + "two.dat",
                three = "tree" + sep + "Sub" + sep + "deeper" + sep + "deepest" + sep + "three.vol";
    // In name order, letter case aside: "deeper" comes before "two.dat".
    EXPECT_EQ(found.out, one + "\n  a.txt\n" + three + "\n  c.txt\n" + two + "\n  b.txt\n");
    EXPECT_EQ(found.err, "");
    EXPECT_EQ(found.exitCode, 0);
    // Every command visits the same volumes in the same order.
    for (std::vector<std::string> command :
         {std::vector<std::string>{"-l"}, {"-t"}, {"-x", "-C", "out"}, {}}) {
        std::filesystem::create_directories(scratch.path("out"));
        command.insert(command.begin(), {"--json", "-r"});
        command.insert(command.end(), {"*", "tree"});
        json document = runJson(command);
        std::vector<std::string> paths;
        for (const json &volume : document["volumes"])
            paths.push_back(volume["path"]);
        EXPECT_EQ(paths, (std::vector<std::string>{one, three, two})) << command[2];
    }
    EXPECT_EQ(treeOf(scratch.path("out")), "a.txt 1\nb.txt 2\nc.txt 3\n");
    // Without -r a folder is no volume; in a tree, a file that claims to be one and is damaged is
    // reported.
    EXPECT_EQ(run({"-l", "*", "tree"}).exitCode, 1);
    scratch.write("tree/Sub/bad.vol", fixture::text("PVOL\xFF\xFF\xFF\x7F"));
    ToolRun damaged = run({"-r", "-l", "*", "tree"});
    EXPECT_EQ(damaged.exitCode, 1);
    EXPECT_EQ(damaged.err, "qarvex: tree" + sep + "Sub" + sep + "bad.vol: damaged volume directory\n");
}

} // namespace

} // namespace qarvex
