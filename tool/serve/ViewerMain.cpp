// qarvex-viewer: the viewer that "qarvex --serve" starts. It serves the volumes given (or found
// under a folder) to a browser on 127.0.0.1 until Ctrl+C.
//   qarvex --serve [--port N] [--open] vol... | folder
// It lives in its own program so that qarvex itself starts without loading an HTTP library.
#include "tool/Console.h"
#include "tool/Options.h"
#include "tool/serve/ViewerCatalog.h"
#include "tool/serve/ViewerServer.h"
#include <qarvex/platform/Platform.h>
#include <qarvex/platform/Process.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <thread>

using namespace qarvex;

namespace {

struct ViewerOptions {
    int port = 0; // 0: any free port
    bool open = false;
    char *const *operands = nullptr;
    int operandCount = 0;
};

bool parse(int argc, char *const *argv, ViewerOptions &options, std::string &error) {
    int at = 1;
    for (; at < argc && argv[at][0] == '-'; ++at) {
        const char *argument = argv[at];
        if (std::strcmp(argument, "--") == 0) {
            ++at;
            break;
        }
        if (std::strcmp(argument, "--serve") == 0)
            continue;
        if (std::strcmp(argument, "--open") == 0) {
            options.open = true;
            continue;
        }
        if (std::strcmp(argument, "--port") != 0) {
            error = std::string("unknown option ") + argument + " with --serve";
            return false;
        }
        const char *value = at + 1 < argc ? argv[++at] : "";
        char *end = nullptr;
        long port = std::strtol(value, &end, 10);
        if (!*value || *end || port < 1 || port > 65535) {
            error = std::string("--port needs a number from 1 to 65535, not \"") + value + "\"";
            return false;
        }
        options.port = int(port);
    }
    options.operands = argv + at;
    options.operandCount = argc - at;
    if (options.operandCount < 1) {
        error = "--serve needs volumes or a folder";
        return false;
    }
    return true;
}

// 128 random bits in hexadecimal: the secret every request must carry.
std::string newToken() {
    std::random_device source;
    std::string token;
    char digits[9];
    for (int i = 0; i < 4; ++i) {
        std::snprintf(digits, sizeof digits, "%08x", unsigned(source()));
        token += digits;
    }
    return token;
}

} // namespace

int main(int argc, char **argv) {
    ViewerOptions options;
    std::string error;
    if (!parse(argc, argv, options, error)) {
        std::fprintf(stderr, "qarvex: %s (qarvex -h lists the options)\n", error.c_str());
        return tool::UsageError;
    }
    tool::Console console(stdout, stderr, false);
    tool::ViewerCatalog catalog;
    if (!catalog.open(options.operands, options.operandCount, console)) {
        console.diagnostic("--serve: no volume to show");
        return tool::Failure;
    }
    std::string token = newToken();
    tool::ViewerServer server(catalog, token);
    int port = server.bind(options.port);
    if (port < 0) {
        if (options.port)
            console.diagnostic("--serve: cannot listen on 127.0.0.1 port %d (in use?)", options.port);
        else
            console.diagnostic("--serve: cannot listen on 127.0.0.1");
        return tool::Failure;
    }
    // Before the address is out: whoever reads it may stop the viewer at once.
    platform::catchInterrupts();
    std::string url = "http://127.0.0.1:" + std::to_string(port) + "/" + token + "/";
    console.print("qarvex viewer: %s, %s\n%s\nCtrl+C stops it.\n",
                  tool::countOf(int64_t(catalog.volumeNames().size()), "volume", "volumes").c_str(),
                  tool::countOf(int64_t(catalog.entries().size()), "entry", "entries").c_str(), url.c_str());
    std::fflush(stdout);
    std::thread serving([&] { server.run(); });
    // The port listens already: a browser started now finds the server.
    if (options.open && !platform::openInBrowser(url.c_str()))
        console.diagnostic("--open: cannot start a browser; open the address above");
    while (!platform::interruptRequested())
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    server.stop();
    serving.join();
    console.print("qarvex viewer stopped\n");
    return tool::Success;
}
