// ViewerServer: admission of requests (token and Host), and the answers to the page's requests.
//   /TOKEN/                          the page; app.css and app.js beside it
//   /TOKEN/catalog                   volumes and palettes (JSON)
//   /TOKEN/entries?filter=EXPR       the matching entries (JSON)
//   /TOKEN/entry/V/P                 what entry P of volume V holds (JSON)
//   /TOKEN/entry/V/P/raw             its decoded bytes, as a download
//   /TOKEN/entry/V/P/picture?suffix=S[&sheet=1][&palette=N][&sample=TEXT][&download=1]
//                                    the PNG file --png names with suffix S
#include "tool/serve/ViewerServer.h"

#include "tool/PictureMaker.h"
#include "tool/serve/ViewerPage.h"
#include "tool/serve/ViewerReplies.h"

#include <httplib.h>

#include <cctype>

namespace qarvex {

namespace tool {

namespace {

void send(httplib::Response &response, int status, const std::string &body, const char *type) {
    response.status = status;
    response.set_content(body, type);
}

void fail(httplib::Response &response, int status, const std::string &why) {
    send(response, status, why + "\n", "text/plain; charset=utf-8");
}

// A number of at most nine digits, nothing else; -1 otherwise.
int32_t numberOf(const std::string &text) {
    if (text.empty() || text.size() > 9)
        return -1;
    int32_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return -1;
        value = value * 10 + (c - '0');
    }
    return value;
}

// A download's file name: the entry's last name step, with only plain characters kept.
std::string downloadName(const std::string &name) {
    std::string file = name.substr(std::min(name.size(), name.find_last_of("\\/") + 1));
    for (char &c : file)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '-' && c != '_')
            c = '_';
    return file.empty() ? "entry" : file;
}

void offerDownload(httplib::Response &response, const std::string &file) {
    response.set_header("Content-Disposition", "attachment; filename=\"" + file + "\"");
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
    : catalog(catalog), token(std::move(token)), server(std::make_unique<httplib::Server>()) {
    // One program per port: the library's default (SO_REUSEPORT) would let a second one bind the
    // same port and take some of the connections.
    server->set_socket_options([](socket_t socket) {
        int yes = 1;
#ifdef _WIN32
        setsockopt(socket, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char *>(&yes), sizeof yes);
#else
        setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
#endif
    });
    server->set_pre_routing_handler([this](const httplib::Request &request, httplib::Response &response) {
        if (admitted(request))
            return httplib::Server::HandlerResponse::Unhandled;
        fail(response, 403, "refused");
        return httplib::Server::HandlerResponse::Handled;
    });
    server->Get(".*", [this](const httplib::Request &request, httplib::Response &response) {
        answer(request, response);
    });
    // Whatever the answer, the page's rules go with it: nothing from elsewhere, nothing kept.
    server->set_post_routing_handler([](const httplib::Request &, httplib::Response &response) {
        response.set_header(
            "Content-Security-Policy",
            "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self' data:; "
            "connect-src 'self'; base-uri 'none'; form-action 'none'; frame-ancestors 'none'");
        response.set_header("X-Content-Type-Options", "nosniff");
        response.set_header("Referrer-Policy", "no-referrer");
        response.set_header("Cache-Control", "no-store");
    });
    server->set_error_handler([](const httplib::Request &, httplib::Response &response) {
        if (response.body.empty())
            fail(response, response.status, response.status == 400 ? "malformed request" : "not found");
    });
}

ViewerServer::~ViewerServer() = default;

int ViewerServer::bind(int wanted) {
    if (wanted == 0)
        port = server->bind_to_any_port("127.0.0.1");
    else
        port = server->bind_to_port("127.0.0.1", wanted) ? wanted : -1;
    return port;
}

bool ViewerServer::run() {
    return server->listen_after_bind();
}

bool ViewerServer::running() const {
    return server->is_running();
}

void ViewerServer::stop() {
    server->stop();
}

bool ViewerServer::admitted(const httplib::Request &request) const {
    if (request.get_header_value_count("Host") != 1 || !hostAllowed(request.get_header_value("Host"), port))
        return false;
    // "/TOKEN" alone or followed by "/...".
    const std::string &path = request.path;
    size_t end = path.find('/', 1);
    std::string first = path.substr(1, end == std::string::npos ? std::string::npos : end - 1);
    return !path.empty() && path[0] == '/' && sameSecret(first, token);
}

void ViewerServer::answer(const httplib::Request &request, httplib::Response &response) {
    std::string rest = request.path.substr(1 + token.size());
    if (rest.empty()) {
        response.set_redirect("/" + token + "/");
        return;
    }
    if (rest == "/")
        return send(response, 200, viewerPage(), "text/html; charset=utf-8");
    if (rest == "/app.css")
        return send(response, 200, viewerStyle(), "text/css; charset=utf-8");
    if (rest == "/app.js")
        return send(response, 200, viewerScript(), "text/javascript; charset=utf-8");
    if (rest == "/catalog")
        return send(response, 200, catalogJson(catalog), "application/json");
    if (rest == "/entries") {
        if (request.get_param_value_count("filter") != 1)
            return fail(response, 400, "one filter expected");
        return send(response, 200, entriesJson(catalog.filter(request.get_param_value("filter"))),
                    "application/json");
    }
    // entry/V/P[/part]
    if (rest.compare(0, 7, "/entry/") != 0)
        return fail(response, 404, "not found");
    std::string steps = rest.substr(7);
    size_t slash = steps.find('/');
    size_t next = slash == std::string::npos ? std::string::npos : steps.find('/', slash + 1);
    int32_t volume = numberOf(steps.substr(0, slash));
    int32_t position = slash == std::string::npos ? -1 : numberOf(steps.substr(slash + 1, next - slash - 1));
    if (volume < 0 || position < 0)
        return fail(response, 400, "an entry is named by two numbers");
    const CatalogEntry *entry = catalog.find(volume, position);
    if (!entry)
        return fail(response, 404, "no such entry");
    answerEntry(*entry, next == std::string::npos ? "" : steps.substr(next + 1), request, response);
}

void ViewerServer::answerEntry(const CatalogEntry &entry, const std::string &part,
                               const httplib::Request &request, httplib::Response &response) {
    if (part.empty())
        return send(response, 200, entryJson(catalog, entry), "application/json");
    if (part == "picture")
        return answerPicture(entry, request, response);
    if (part != "raw")
        return fail(response, 404, "not found");
    std::vector<uint8_t> bytes;
    std::string error;
    if (!catalog.read(entry, PictureMaker::MaxSourceBytes, bytes, error))
        return fail(response, 422, entry.name + ": " + error);
    offerDownload(response, downloadName(entry.name));
    response.set_content(reinterpret_cast<const char *>(bytes.data()), bytes.size(),
                         "application/octet-stream");
}

void ViewerServer::answerPicture(const CatalogEntry &entry, const httplib::Request &request,
                                 httplib::Response &response) {
    for (const char *name : {"suffix", "sheet", "palette", "sample", "download"})
        if (request.get_param_value_count(name) > 1)
            return fail(response, 400, std::string("one ") + name + " expected");
    std::string suffix = request.get_param_value("suffix");
    png::Settings settings;
    settings.contactSheet = request.get_param_value("sheet") == "1";
    settings.sampleText = request.has_param("sample") ? request.get_param_value("sample") : DefaultSampleText;
    if (settings.sampleText.empty() || settings.sampleText.size() > MaxSampleText)
        return fail(response, 400,
                    "the sample text must have 1 to " + std::to_string(MaxSampleText) + " characters");
    const PaletteChoice *choice = nullptr;
    if (request.has_param("palette")) {
        int32_t number = numberOf(request.get_param_value("palette"));
        if (number < 0)
            return fail(response, 400, "a palette is named by its number");
        if (size_t(number) >= catalog.palettes().size())
            return fail(response, 404, "no such palette");
        choice = &catalog.palettes()[size_t(number)];
    }
    if (entry.kind == png::GraphicsKind::None)
        return fail(response, 404, entry.name + ": not a graphics entry");
    png::Conversion conversion = catalog.pictures(entry, settings, choice);
    if (!conversion.ok())
        return fail(response, 422, entry.name + ": no picture: " + conversion.error);
    for (const png::OutputFile &file : conversion.files) {
        if (file.suffix != suffix || suffix.size() < 4 || suffix.compare(suffix.size() - 4, 4, ".png") != 0)
            continue;
        if (request.get_param_value("download") == "1")
            offerDownload(response, downloadName(entry.name + file.suffix));
        response.set_content(reinterpret_cast<const char *>(file.bytes.data()), file.bytes.size(),
                             "image/png");
        return;
    }
    return fail(response, 404, entry.name + ": no picture " + suffix);
}

} // namespace tool

} // namespace qarvex
