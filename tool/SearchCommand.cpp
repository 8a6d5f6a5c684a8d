// The search command: the names of each volume's matching entries, then the "match list full"
// line when the limit cut them short.
#include "tool/SearchCommand.h"

#include "tool/Console.h"
#include "tool/JsonReport.h"
#include "tool/VolumeWalk.h"

namespace qarvex {

namespace search {

void printUsage(std::FILE *out) {
    std::fprintf(out, "Qarvex  (V1.00)  A utility to search volumes for files\n");
    std::fprintf(out, "  Usage: Qarvex <expression> name1.vol [name2.vol] [*.vol] \n\n");
    std::fprintf(out, "    Where <expression> is a filename, Wildcards *,? are allowed\n");
    std::fprintf(out, "    At least one volume must be specified.  Wildcards *?.vol allowed\n");
}

int run(const char *expression, char *const *arguments, int count, std::FILE *out, std::FILE *err) {
    tool::Console console(out, err, false);
    return run(expression, arguments, count, false, console);
}

int run(const char *expression, char *const *arguments, int count, bool recursive, tool::Console &console) {
    tool::JsonReport *json = console.json();
    tool::forEachVolume(expression, arguments, count, recursive, MatchLimit, console,
                        [&](VolumeRStream &volume, const std::string &path, tool::EntrySelector &selection) {
                            if (json) {
                                for (int32_t position : selection.selected())
                                    json->addEntry(volume, position);
                                json->lastVolume()["match_list_full"] = selection.full();
                                return true;
                            }
                            if (!selection.selected().empty()) {
                                console.print("%s\n", path.c_str());
                                for (int32_t position : selection.selected())
                                    console.print("  %s\n", volume.entryName(position));
                            }
                            if (selection.full())
                                console.print(ListFullLine, path.c_str());
                            return true;
                        });
    // Whatever was found or reported, the search ends with 0.
    return 0;
}

} // namespace search

} // namespace qarvex
