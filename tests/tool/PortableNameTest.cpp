// Names Windows cannot hold and how --portable-names renames them; and the detection of names
// that differ only in letter case, through the file identities the platform layer reports.
#include "tool/PortableName.h"
#include "tool/CaseClashes.h"

#include <gtest/gtest.h>

namespace qarvex {

namespace tool {

namespace {

TEST(PortableNameTest, WindowsTroubleAndTheRenaming) {
    const char *device = "a device name on Windows";
    const char *trailing = "a name ending in a dot or a space, which Windows drops";
    const char *character = "a character Windows does not allow in a name";
    struct Case {
        const char *name;
        const char *trouble; // null: fine everywhere
        const char *portable;
    } cases[] = {
        {"CON", device, "CON_"},
        {"con.txt", device, "con_.txt"},
        {"Nul.tar.gz", device, "Nul_.tar.gz"},
        {"COM1", device, "COM1_"},
        {"lpt9.log", device, "lpt9_.log"},
        {"AUX .txt", device, "AUX _.txt"},
        {"PRN", device, "PRN_"},
        {"CON.", trailing, "CON_"}, // the dot dropped, then still a device
        {"name.", trailing, "name_"},
        {"name . ", trailing, "name___"},
        {"a?b", character, "a_b"},
        {"tab\there", character, "tab_here"},
        {"<pipe|star*\">", character, "_pipe_star___"},
        {"COM0", nullptr, "COM0"},
        {"LPT10", nullptr, "LPT10"},
        {"CONSOLE", nullptr, "CONSOLE"},
        {"icon.txt", nullptr, "icon.txt"},
        {".hidden", nullptr, ".hidden"},
        {"plain name.txt", nullptr, "plain name.txt"},
    };
    for (const Case &c : cases) {
        const char *trouble = windowsNameTrouble(c.name);
        EXPECT_STREQ(trouble, c.trouble) << c.name;
        EXPECT_EQ(portableName(c.name), c.portable) << c.name;
        EXPECT_EQ(windowsNameTrouble(portableName(c.name)), nullptr) << c.name;
    }
}

EntryPath pathOf(std::vector<std::string> folders, std::string file) {
    return EntryPath{std::move(folders), std::move(file)};
}

TEST(PortableNameTest, CaseClashesAreTheSameFileUnderAnotherCase) {
    CaseClashes clashes;
    clashes.written(pathOf({"Docs"}, "Read.me"), "1:100");
    clashes.written(pathOf({}, "other.txt"), "1:200");
    // A file system that ignores case finds the earlier file under the new name.
    const std::string *earlier = clashes.replaced(pathOf({"DOCS"}, "READ.ME"), "1:100");
    ASSERT_NE(earlier, nullptr);
    EXPECT_EQ(*earlier, "Docs\\Read.me");
    // One that tells case apart finds nothing there, or another file.
    EXPECT_EQ(clashes.replaced(pathOf({"DOCS"}, "READ.ME"), ""), nullptr);
    EXPECT_EQ(clashes.replaced(pathOf({"DOCS"}, "READ.ME"), "1:300"), nullptr);
    // The same name again is a duplicate entry, not a clash; other names are not either.
    EXPECT_EQ(clashes.replaced(pathOf({"Docs"}, "Read.me"), "1:100"), nullptr);
    EXPECT_EQ(clashes.replaced(pathOf({}, "new.txt"), "1:100"), nullptr);
}

} // namespace

} // namespace tool

} // namespace qarvex
