// The --json document written as it is made must be the very text of the whole document dumped
// at once, whatever the commands record and in whichever order.
#include "tool/JsonReport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>

using namespace qarvex::tool;

namespace {

using Recording = std::function<void(JsonReport &)>;

std::string written(const Recording &record) {
    std::unique_ptr<std::FILE, int (*)(std::FILE *)> file(std::tmpfile(), std::fclose);
    JsonReport report("list", file.get());
    record(report);
    report.finish();
    std::string text(size_t(std::ftell(file.get())), '\0');
    std::rewind(file.get());
    EXPECT_EQ(std::fread(text.data(), 1, text.size(), file.get()), text.size());
    return text;
}

std::string kept(const Recording &record) {
    JsonReport report("list", nullptr);
    record(report);
    report.finish();
    return report.document().dump() + '\n';
}

TEST(JsonReportTest, WrittenAsItGoesIsTheWholeDocument) {
    const std::string longName(70000, 'n'); // past a written piece
    const struct {
        const char *what;
        Recording record;
    } cases[] = {
        {"nothing recorded", [](JsonReport &) {}},
        {"only a summary",
         [](JsonReport &r) {
             r.summary() = {{"entries", 0}};
         }},
        {"a volume without entries, with an error",
         [](JsonReport &r) { r.addVolume("missing.vol")["error"] = "no matching file"; }},
        {"entries with fields of their own, volumes with fields after them",
         [](JsonReport &r) {
             r.addVolume("a.vol");
             r.addEntry(1, "x.txt", 10, 4, 3)["action"] = "kept";
             Json &second = r.addEntry(0, "caf\xE9 \"q\"\\\x01", 5, -1, 0);
             second["extracted_to"] = nullptr;
             second["pictures"] = {"p/0.png", "p/1.png"};
             r.lastVolume()["bytes"] = 15;
             r.lastVolume()["match_list_full"] = false;
             r.addVolume("\xFF.vol");
             r.addVolume("c.vol")["error"] = "damaged";
             r.addEntry(7, "y", 1, 1, 0);
         }},
        {"an entry before any volume", [](JsonReport &r) { r.addEntry(2, "z", 0, 0, 0); }},
        {"files and a summary after the volumes",
         [&](JsonReport &r) {
             r.document()["files"] = Json::array();
             r.addVolume("v.vol");
             for (int i = 0; i < 3; ++i)
                 r.addEntry(uint32_t(i + 1), longName, i, i, 0);
             r.document()["files"].push_back({{"path", "f.pbm"}, {"pictures", Json::array()}});
             r.summary()["converted"] = 1;
         }},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(written(c.record), kept(c.record));
        EXPECT_TRUE(Json::accept(written(c.record)));
    }
}

} // namespace
