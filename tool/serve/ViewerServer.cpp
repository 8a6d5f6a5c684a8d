// ViewerServer: HTTP/1.1 over Asio sockets, the messages read and written by Beast. Connections
// are accepted one after the other and served side by side on a few threads, each connection on
// its own strand; the catalog's lock makes the library work take turns. Every reading and
// writing has a time limit, so an idle or stalled client costs a socket, never a thread.
#include "tool/serve/ViewerServer.h"

#include "tool/serve/ViewerRoutes.h"
#include "tool/serve/ViewerTarget.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/strand.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include <cctype>
#include <chrono>
#include <optional>
#include <thread>
#include <vector>

namespace qarvex {

namespace tool {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;

struct ViewerServer::Network {
    Network(ViewerCatalog &catalog, std::string token) : catalog(catalog), token(std::move(token)) {}

    ViewerCatalog &catalog;
    const std::string token;
    int port = -1;
    asio::io_context context;
    tcp::acceptor acceptor{context};
    asio::steady_timer pause{context}; // after a failed accept, so that a lack of sockets does not spin
};

namespace {

using Request = http::request<http::empty_body>; // a body in a request is malformed here
using Response = http::response<http::string_body>;

constexpr std::chrono::seconds IdleTime{30};   // for a request to arrive, or an answer to leave
constexpr std::chrono::seconds LingerTime{5};  // for a refused client to read its answer and close
constexpr uint32_t MaxHeaderBytes = 16 * 1024; // the request line and headers together
constexpr size_t MaxTargetBytes = 8 * 1024;
constexpr unsigned ServingThreads = 4;

#ifdef _WIN32
// On Windows a socket that asks for SO_REUSEADDR may bind a port another one listens on already;
// this option on the viewer's socket forbids that.
using OnlyUser = asio::detail::socket_option::boolean<SOL_SOCKET, SO_EXCLUSIVEADDRUSE>;
#endif

// Whatever the answer, the page's rules go with it: nothing from elsewhere, nothing kept.
Response responseOf(ViewerReply reply, unsigned version) {
    Response response{http::status(reply.status), version};
    response.set(http::field::content_type, reply.type);
    if (!reply.download.empty())
        response.set(http::field::content_disposition, "attachment; filename=\"" + reply.download + "\"");
    response.set("Content-Security-Policy",
                 "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self' data:; "
                 "connect-src 'self'; base-uri 'none'; form-action 'none'; frame-ancestors 'none'");
    response.set("X-Content-Type-Options", "nosniff");
    response.set("Referrer-Policy", "no-referrer");
    response.set(http::field::cache_control, "no-store");
    response.body() = std::move(reply.body);
    response.prepare_payload();
    return response;
}

bool admitted(const ViewerServer::Network &network, const Request &request, const std::string &path) {
    if (request.count(http::field::host) != 1 ||
        !hostAllowed(std::string(request[http::field::host]), network.port))
        return false;
    // "/TOKEN" alone or followed by "/...".
    size_t end = path.find('/', 1);
    return sameSecret(path.substr(1, end == std::string::npos ? std::string::npos : end - 1), network.token);
}

Response answer(ViewerServer::Network &network, const Request &request) {
    unsigned version = request.version();
    if ((version != 10 && version != 11) || request.method() == http::verb::unknown)
        return responseOf(failureReply(400, "malformed request"), 11);
    if (request.target().size() > MaxTargetBytes)
        return responseOf(failureReply(414, "request target too long"), version);
    ViewerTarget target;
    if (!parseTarget(std::string_view(request.target().data(), request.target().size()), target))
        return responseOf(failureReply(400, "malformed request"), version);
    if (!admitted(network, request, target.path))
        return responseOf(failureReply(403, "refused"), version);
    if (request.method() != http::verb::get) {
        Response response = responseOf(failureReply(405, "only GET is served"), version);
        response.set(http::field::allow, "GET");
        return response;
    }
    std::string rest = target.path.substr(1 + network.token.size());
    if (rest.empty()) {
        std::string page = "/" + network.token + "/";
        Response response = responseOf(failureReply(302, "see " + page), version);
        response.set(http::field::location, page);
        return response;
    }
    try {
        return responseOf(answerRequest(network.catalog, rest, target), version);
    } catch (const std::exception &) { // no memory for a picture: this request fails, the server stays
        return responseOf(failureReply(500, "cannot answer"), version);
    }
}

// One client's connection: requests read and answered one after the other, as long as the client
// keeps the connection. After a malformed request the connection ends, since where the next one
// would begin is unknown.
class Connection : public std::enable_shared_from_this<Connection> {
public:
    Connection(tcp::socket socket, ViewerServer::Network &network)
        : stream(std::move(socket)), network(network) {}

    void readRequest() {
        parser.emplace();
        parser->header_limit(MaxHeaderBytes);
        stream.expires_after(IdleTime);
        http::async_read(stream, buffer, *parser,
                         beast::bind_front_handler(&Connection::onRequest, shared_from_this()));
    }

private:
    void onRequest(beast::error_code error, size_t) {
        if (error == http::error::end_of_stream || (error && error.category() != malformed()))
            return close(); // the client left, was too slow, or the network failed
        if (error) {
            response = responseOf(unreadable(error), 11);
            response.keep_alive(false);
        } else {
            response = answer(network, parser->get());
            http::status status = response.result();
            response.keep_alive(parser->get().keep_alive() && status != http::status::bad_request &&
                                status != http::status::uri_too_long);
        }
        stream.expires_after(IdleTime);
        http::async_write(stream, response,
                          beast::bind_front_handler(&Connection::onAnswered, shared_from_this()));
    }

    // A request line that cannot be read is malformed. Past it, a header line that cannot be read
    // leaves no Host that can be trusted: refused, like a request without one.
    ViewerReply unreadable(beast::error_code error) const {
        if (error == http::error::header_limit)
            return failureReply(431, "request header too large");
        if (!parser->is_header_done() && !parser->get().target().empty())
            return failureReply(403, "refused");
        return failureReply(400, "malformed request");
    }

    void onAnswered(beast::error_code error, size_t) {
        if (error)
            return close();
        if (response.keep_alive())
            return readRequest();
        // Half closed, then read until the client closes: closing at once with its bytes unread
        // would reset the connection, and the client could lose the answer before reading it.
        stream.socket().shutdown(tcp::socket::shutdown_send, error);
        stream.expires_after(LingerTime);
        drain();
    }

    void drain() {
        stream.async_read_some(asio::buffer(scrap),
                               [self = shared_from_this()](beast::error_code error, size_t) {
                                   if (error)
                                       return self->close();
                                   self->drain();
                               });
    }

    void close() {
        beast::error_code ignored;
        stream.socket().shutdown(tcp::socket::shutdown_both, ignored);
        stream.close();
    }

    static const beast::error_category &malformed() {
        return http::make_error_code(http::error::bad_method).category();
    }

    beast::tcp_stream stream;
    ViewerServer::Network &network;
    beast::flat_buffer buffer;
    std::optional<http::request_parser<http::empty_body>> parser;
    Response response;
    char scrap[4096];
};

void acceptNext(ViewerServer::Network &network) {
    network.acceptor.async_accept(
        asio::make_strand(network.context), [&network](beast::error_code error, tcp::socket socket) {
            if (error == asio::error::operation_aborted)
                return;
            if (!error) {
                std::make_shared<Connection>(std::move(socket), network)->readRequest();
                return acceptNext(network);
            }
            network.pause.expires_after(std::chrono::milliseconds(50));
            network.pause.async_wait([&network](beast::error_code) { acceptNext(network); });
        });
}

} // namespace

bool hostAllowed(const std::string &host, int port) {
    std::string lower;
    for (char c : host)
        lower += char(std::tolower(static_cast<unsigned char>(c)));
    std::string digits = std::to_string(port);
    size_t colon = lower.rfind(':');
    if (colon == std::string::npos || lower.compare(colon + 1, std::string::npos, digits) != 0)
        return false;
    lower.resize(colon);
    return lower == "127.0.0.1" || lower == "localhost";
}

bool sameSecret(const std::string &a, const std::string &b) {
    if (a.size() != b.size())
        return false; // the length is no secret: every token has the same
    unsigned difference = 0;
    for (size_t i = 0; i < a.size(); ++i)
        difference |= unsigned(static_cast<unsigned char>(a[i]) ^ static_cast<unsigned char>(b[i]));
    return difference == 0;
}

ViewerServer::ViewerServer(ViewerCatalog &catalog, std::string token)
    : network(std::make_unique<Network>(catalog, std::move(token))) {}

ViewerServer::~ViewerServer() = default;

int ViewerServer::bind(int wanted) {
    tcp::acceptor &acceptor = network->acceptor;
    beast::error_code error;
    acceptor.open(tcp::v4(), error);
    // One program per port. POSIX: SO_REUSEADDR only lets a restarted viewer take its port while
    // old connections wait out their time; without SO_REUSEPORT nobody else can bind it.
#ifdef _WIN32
    if (!error)
        acceptor.set_option(OnlyUser(true), error);
#else
    if (!error)
        acceptor.set_option(tcp::acceptor::reuse_address(true), error);
#endif
    if (!error)
        acceptor.bind(tcp::endpoint(asio::ip::address_v4::loopback(), uint16_t(wanted)), error);
    if (!error)
        acceptor.listen(asio::socket_base::max_listen_connections, error);
    if (error) {
        acceptor.close(error);
        return -1;
    }
    tcp::endpoint taken = acceptor.local_endpoint(error);
    network->port = error ? -1 : taken.port();
    return network->port;
}

bool ViewerServer::run() {
    if (!network->acceptor.is_open())
        return false;
    acceptNext(*network);
    std::vector<std::thread> helpers;
    for (unsigned i = 1; i < ServingThreads; ++i)
        helpers.emplace_back([this] { network->context.run(); });
    network->context.run();
    for (std::thread &helper : helpers)
        helper.join();
    return true;
}

void ViewerServer::stop() {
    network->context.stop();
}

} // namespace tool

} // namespace qarvex
