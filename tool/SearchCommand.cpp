// The search command: expanding volume arguments into files, listing each volume's matches and
// telling on standard error why a file gave nothing.
#include "tool/SearchCommand.h"

#include "code/VolumeRStream.h"
#include "platform/Platform.h"
#include "tool/MatchList.h"

#include <cstring>
#include <string>

namespace search {
namespace {

const char *reasonFor(VolumeStream::OpenError error) {
    switch (error) {
    case VolumeStream::OpenError::CannotOpen:
        return "cannot open";
    case VolumeStream::OpenError::EmptyFile:
    case VolumeStream::OpenError::NotAVolume:
        return "not a volume";
    case VolumeStream::OpenError::DamagedDirectory:
        return "damaged volume directory";
    case VolumeStream::OpenError::None:
        break;
    }
    return "cannot open";
}

void listVolume(VolumeRStream &volume, MatchList &list, const std::string &path, std::FILE *out,
                std::FILE *err) {
    // A volume that opens only in part still has its loaded entries listed.
    if (!volume.open(path.c_str()))
        std::fprintf(err, "qarvex: %s: %s\n", path.c_str(), reasonFor(volume.lastOpenError()));
    list.clear();
    list.addVolume(volume, false);
    if (list.count() > 0) {
        std::fprintf(out, "%s\n", path.c_str());
        for (int32_t i = 0; i < list.count(); ++i)
            std::fprintf(out, "  %s\n", list.at(i));
    }
    if (list.full())
        std::fprintf(out, "... match list full, %s may have have more entries ..\n", path.c_str());
}

} // namespace

void printUsage(std::FILE *out) {
    std::fprintf(out, "Qarvex  (V1.00)  A utility to search volumes for files\n");
    std::fprintf(out, "  Usage: Qarvex <expression> name1.vol [name2.vol] [*.vol] \n\n");
    std::fprintf(out, "    Where <expression> is a filename, Wildcards *,? are allowed\n");
    std::fprintf(out, "    At least one volume must be specified.  Wildcards *?.vol allowed\n");
}

int run(const char *expression, char *const *arguments, int count, std::FILE *out, std::FILE *err) {
    VolumeRStream volume;
    MatchList list(expression, MatchLimit);
    for (int i = 0; i < count; ++i) {
        // The files are looked for, and opened, in the argument's own directory; the printed
        // name keeps that directory part as the argument wrote it.
        const char *argument = arguments[i];
        size_t split = platform::directoryPartLength(argument);
        std::string directory(argument, split);
        const char *pattern = argument + split;
        std::vector<std::string> found = platform::listPlainFiles(directory, pattern);
        if (found.empty())
            std::fprintf(err, "qarvex: %s: no matching file\n", argument);
        for (const std::string &name : found)
            listVolume(volume, list, directory + name, out, err);
    }
    return 0;
}

} // namespace search
