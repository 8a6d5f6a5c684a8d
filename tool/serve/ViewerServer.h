// ViewerServer: the viewer's HTTP side, on 127.0.0.1 only. Every request must carry the viewer's
// random token as the first step of its path and a Host header naming 127.0.0.1 or localhost with
// the viewer's port (so that neither another local user nor a web page, not even through a
// rebound name, can read the volumes); anything else is refused before it reaches the catalog.
// Requests only read: nothing a request asks for changes a file.
#pragma once

#include "tool/serve/ViewerCatalog.h"

#include <memory>
#include <string>

namespace httplib {
class Server;
struct Request;
struct Response;
} // namespace httplib

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

    // Takes port on 127.0.0.1 (0: any free one). The port taken, or -1.
    int bind(int port);
    // Answers requests until stop is called from another thread. False when it could not serve.
    bool run();
    bool running() const;
    void stop();

private:
    bool admitted(const httplib::Request &request) const;
    void answer(const httplib::Request &request, httplib::Response &response);
    void answerEntry(const CatalogEntry &entry, const std::string &part, const httplib::Request &request,
                     httplib::Response &response);
    void answerPicture(const CatalogEntry &entry, const httplib::Request &request,
                       httplib::Response &response);

    ViewerCatalog &catalog;
    std::string token;
    int port = -1;
    std::unique_ptr<httplib::Server> server;
};

} // namespace tool

} // namespace qarvex
