// qarvex: searches volumes for entries whose names match a wildcard expression, and with options
// lists, extracts or tests those entries.
//   qarvex <expression> name1.vol [name2.vol] [*.vol]
//   qarvex -l | -x [-C dir] [-f] | -t <expression> vol...
//   qarvex -c out.vol | -a vol [-m method] [-i] file...
//   qarvex -u vol [-C dir] [-m method] [--dry-run] [--no-add]
//   qarvex --png | --from-png [-C dir] [-f] file...
//   qarvex --serve [--port N] [--open] vol... | folder
#include "tool/Commands.h"
#include "tool/CreateCommand.h"
#include "tool/FromPngCommand.h"
#include "tool/Options.h"
#include "tool/PngCommand.h"
#include "tool/SearchCommand.h"
#include "tool/ServeCommand.h"
#include "tool/UpdateCommand.h"
#include <qarvex/platform/Platform.h>
#include <qarvex/platform/TemporaryFile.h>

#include <cstdio>
#include <string>

using namespace qarvex;

namespace {

// The command's name in a JSON document; empty for those that print only text.
const char *commandName(tool::Command command) {
    switch (command) {
    case tool::Command::Search:
        return "search";
    case tool::Command::List:
        return "list";
    case tool::Command::Extract:
        return "extract";
    case tool::Command::Test:
        return "test";
    case tool::Command::Png:
        return "png";
    case tool::Command::FromPng:
        return "from-png";
    case tool::Command::Create:
        return "create";
    case tool::Command::Add:
        return "add";
    case tool::Command::Update:
        return "update";
    case tool::Command::Help:
    case tool::Command::Version:
    case tool::Command::Serve:
        break;
    }
    return "";
}

int run(const tool::Options &options, tool::Console &console) {
    switch (options.command) {
    case tool::Command::Help:
        tool::printHelp(stdout);
        return tool::Success;
    case tool::Command::Version:
        tool::printVersion(stdout);
        return tool::Success;
    case tool::Command::List:
        return tool::listEntries(options, console);
    case tool::Command::Extract:
        return tool::extractEntries(options, console);
    case tool::Command::Test:
        return tool::testEntries(options, console);
    case tool::Command::Png:
        return tool::convertFiles(options, console);
    case tool::Command::FromPng:
        return tool::convertPicturesBack(options, console);
    case tool::Command::Create:
        return tool::createVolume(options, console);
    case tool::Command::Add:
        return tool::addToVolume(options, console);
    case tool::Command::Update:
        return tool::updateVolume(options, console);
    case tool::Command::Serve:
        return tool::startViewer(options.operands, console);
    case tool::Command::Search:
        break;
    }
    if (options.operandCount < 2) {
        search::printUsage(stdout);
        return 0;
    }
    return search::run(options.operands[0], options.operands + 1, options.operandCount - 1, options.recursive,
                       console);
}

} // namespace

int main(int argc, char **argv) {
    tool::Options options;
    std::string error;
    if (!tool::parseOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "qarvex: %s (qarvex -h lists the options)\n", error.c_str());
        return tool::UsageError;
    }
    // An interrupted run leaves no half-written file behind, and says so in its exit code.
    platform::removeTemporariesOnInterrupt();
    tool::Console console(stdout, stderr, platform::standardErrorIsTerminal());
    // Help, the version and the search's usage text are text whatever is asked.
    bool usageOnly = options.command == tool::Command::Search && options.operandCount < 2;
    if (options.json && *commandName(options.command) && !usageOnly)
        console.startJson(commandName(options.command));
    int status = run(options, console);
    console.finish();
    return status;
}
