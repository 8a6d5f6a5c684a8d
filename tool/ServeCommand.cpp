// The "--serve" command: the viewer program started in qarvex's place.
#include "tool/ServeCommand.h"

#include "tool/Options.h"
#include <qarvex/platform/Process.h>

#include <string>

namespace qarvex {

namespace tool {

int startViewer(char *const *argv, Console &console) {
    std::string reason;
    int status = platform::runProgramBeside(ViewerProgram, argv, reason);
    if (status < 0) {
        console.diagnostic("--serve: cannot start the viewer: %s", reason.c_str());
        return Failure;
    }
    return status;
}

void printServeHelp(std::FILE *out) {
    std::fprintf(out, "\n"
                      "  Qarvex --serve [--port N] [--open] vol... | folder\n"
                      "                                  show the volumes (or those under folder) in a\n"
                      "                                  web browser: prints an address on 127.0.0.1 to\n"
                      "                                  open (--open starts the browser); Ctrl+C stops\n");
}

} // namespace tool

} // namespace qarvex
