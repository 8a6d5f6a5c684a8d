// ViewerServer: the viewer's HTTP side, on 127.0.0.1 only. Every request must carry the viewer's
// random token as the first step of its path and a Host header naming 127.0.0.1 or localhost with
// the viewer's port (so that neither another local user nor a web page, not even through a
// rebound name, can read the volumes); anything else is refused before it reaches the catalog.
// Requests only read: nothing a request asks for changes a file.
#pragma once

#include "tool/serve/ViewerCatalog.h"

#include <memory>
#include <string>

namespace qarvex {

namespace tool {

// True when host (a Host header) is 127.0.0.1:port or localhost:port, letters in any case.
bool hostAllowed(const std::string &host, int port);
// True when a equals b, compared in a time that does not depend on where they differ.
bool sameSecret(const std::string &a, const std::string &b);

class ViewerServer {
public:
    ViewerServer(ViewerCatalog &catalog, std::string token);
    ~ViewerServer();

    // Takes port on 127.0.0.1 (0: any free one) and listens there: from now on connections wait
    // for run. The port taken, or -1 (no other program may share it).
    int bind(int port);
    // Answers requests on a few threads until stop is called from another thread. False when
    // bind has not succeeded.
    bool run();
    // Makes run return; also when called before run starts.
    void stop();

    struct Network;

private:
    std::unique_ptr<Network> network;
};

} // namespace tool

} // namespace qarvex
