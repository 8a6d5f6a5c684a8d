// The viewer's server in this process, spoken to over real sockets, on every system the viewer is
// built for: what it admits and refuses, malformed requests, a picture byte for byte as -x --png
// writes it, many clients at once, one server per port; and qarvex --serve starting the viewer.
#include "tool/ToolRunner.h"
#include "tool/serve/ViewerCatalog.h"
#include "tool/serve/ViewerServer.h"
#include "tool/serve/ViewerTarget.h"

#include <boost/asio/connect.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/write.hpp>

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace qarvex {

namespace tool {

namespace {

using boost::asio::ip::tcp;
using namespace std::string_literals;

struct Answer {
    int status = 0; // 0: the connection closed without an answer
    std::string head;
    std::string body;
};

class ViewerHttpTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        catalog = new ViewerCatalog;
        std::string path = std::string(QARVEX_EXAMPLES_DIR) + "/graphics.vol";
        char *arguments[] = {path.data()};
        ASSERT_TRUE(catalog->open(arguments, 1, console));
        server = new ViewerServer(*catalog, Token);
        port = server->bind(0);
        ASSERT_GT(port, 0);
        serving = new std::thread([] { server->run(); });
    }

    static void TearDownTestSuite() {
        server->stop();
        serving->join();
        delete serving;
        delete server;
        delete catalog;
    }

    // Sends raw and reads to the end of the connection.
    static Answer exchange(const std::string &raw) {
        boost::asio::io_context context;
        tcp::socket socket(context);
        boost::system::error_code error;
        socket.connect(tcp::endpoint(boost::asio::ip::address_v4::loopback(), uint16_t(port)), error);
        EXPECT_FALSE(error) << error.message();
        boost::asio::write(socket, boost::asio::buffer(raw), error);
        std::string reply;
        boost::asio::read(socket, boost::asio::dynamic_buffer(reply), error); // ends at end of file
        Answer answer;
        size_t split = reply.find("\r\n\r\n");
        if (reply.compare(0, 9, "HTTP/1.1 ") != 0 || split == std::string::npos)
            return answer;
        answer.status = std::stoi(reply.substr(9, 3));
        answer.head = reply.substr(0, split);
        answer.body = reply.substr(split + 4);
        return answer;
    }

    static Answer get(const std::string &path) {
        return exchange("GET /" + std::string(Token) + "/" + path + " HTTP/1.1\r\nHost: " + host() +
                        "\r\nConnection: close\r\n\r\n");
    }

    static std::string host() { return "127.0.0.1:" + std::to_string(port); }

    static constexpr const char *Token = "0123456789abcdef0123456789abcdef";
    static inline Console console{stdout, stderr, false};
    static inline ViewerCatalog *catalog = nullptr;
    static inline ViewerServer *server = nullptr;
    static inline std::thread *serving = nullptr;
    static inline int port = -1;
};

TEST_F(ViewerHttpTest, AdmitsOnlyTheTokenAndALocalHost) {
    std::string token = Token, close = "Connection: close\r\n";
    struct Case {
        const char *label;
        std::string raw;
        int status;
    } cases[] = {
        {"the page", "GET /" + token + "/ HTTP/1.1\r\nHost: " + host() + "\r\n" + close + "\r\n", 200},
        {"localhost",
         "GET /" + token + "/ HTTP/1.1\r\nHost: LocalHost:" + std::to_string(port) + "\r\n" + close + "\r\n",
         200},
        {"no token", "GET / HTTP/1.1\r\nHost: " + host() + "\r\n" + close + "\r\n", 403},
        {"another token",
         "GET /" + std::string(32, '0') + "/ HTTP/1.1\r\nHost: " + host() + "\r\n" + close + "\r\n", 403},
        {"a foreign host", "GET /" + token + "/ HTTP/1.1\r\nHost: example.com\r\n" + close + "\r\n", 403},
        {"two hosts",
         "GET /" + token + "/ HTTP/1.1\r\nHost: " + host() + "\r\nHost: " + host() + "\r\n" + close + "\r\n",
         403},
        {"no host", "GET /" + token + "/ HTTP/1.1\r\n" + close + "\r\n", 403},
        {"garbage", "\x00\x01\x02 garbage\r\n\r\n"s, 400},
        {"no target", "GET\r\n\r\n", 400},
        {"an unknown version", "GET /" + token + "/ HTTP/2.5\r\nHost: " + host() + "\r\n\r\n", 400},
        {"an unknown method", "BREW /" + token + "/ HTTP/1.1\r\nHost: " + host() + "\r\n\r\n", 400},
        {"a broken escape", "GET /" + token + "/entries?filter=%G1 HTTP/1.1\r\nHost: " + host() + "\r\n\r\n",
         400},
        {"a body", "GET /" + token + "/ HTTP/1.1\r\nHost: " + host() + "\r\nContent-Length: 3\r\n\r\nabc",
         400},
        {"a long target",
         "GET /" + token + "/" + std::string(9000, 'a') + " HTTP/1.1\r\nHost: " + host() + "\r\n\r\n", 414},
        {"a long header",
         "GET /" + token + "/ HTTP/1.1\r\nHost: " + host() + "\r\nX: " + std::string(20000, 'x') + "\r\n\r\n",
         431},
        {"a post", "POST /" + token + "/catalog HTTP/1.1\r\nHost: " + host() + "\r\n" + close + "\r\n", 405},
        {"outside the volumes",
         "GET /" + token + "/../graphics.vol HTTP/1.1\r\nHost: " + host() + "\r\n" + close + "\r\n", 404},
    };
    for (const Case &c : cases) {
        Answer answer = exchange(c.raw);
        EXPECT_EQ(answer.status, c.status) << c.label << "\n" << answer.head;
        EXPECT_NE(answer.head.find("Content-Security-Policy: default-src 'none'"), std::string::npos)
            << c.label;
        EXPECT_EQ(answer.body.find("<title>") != std::string::npos, c.status == 200) << c.label;
    }
    // Refusals did not stop it.
    EXPECT_EQ(get("catalog").status, 200);
    Answer bare = exchange("GET /" + token + " HTTP/1.1\r\nHost: " + host() + "\r\n" + close + "\r\n");
    EXPECT_EQ(bare.status, 302);
    EXPECT_NE(bare.head.find("Location: /" + token + "/\r\n"), std::string::npos) << bare.head;
}

TEST_F(ViewerHttpTest, KeepsAConnectionForSeveralRequests) {
    std::string one = "GET /" + std::string(Token) + "/app.css HTTP/1.1\r\nHost: " + host() + "\r\n\r\n";
    Answer twice = exchange(one + one.substr(0, one.size() - 2) + "Connection: close\r\n\r\n");
    ASSERT_EQ(twice.status, 200);
    EXPECT_NE(twice.body.find("HTTP/1.1 200 OK"), std::string::npos); // the second answer follows the first
}

TEST_F(ViewerHttpTest, APictureIsWhatPngExportWrites) {
    toolrun::Scratch folder;
    std::string volume = std::string(QARVEX_EXAMPLES_DIR) + "/graphics.vol";
    toolrun::ToolRun exported = toolrun::runTool({"-x", "-f", "--png", "title.pbm", volume}, folder.path(""));
    ASSERT_EQ(exported.exitCode, 0) << exported.err;
    const CatalogEntry *title = nullptr;
    for (const CatalogEntry &entry : catalog->entries())
        if (entry.name == "title.pbm")
            title = &entry;
    ASSERT_NE(title, nullptr);
    Answer picture = get("entry/" + std::to_string(title->volume) + "/" + std::to_string(title->position) +
                         "/picture?suffix=.png&download=1");
    ASSERT_EQ(picture.status, 200) << picture.body;
    EXPECT_NE(picture.head.find("Content-Type: image/png"), std::string::npos);
    EXPECT_NE(picture.head.find("filename=\"title.pbm.png\""), std::string::npos);
    EXPECT_TRUE(picture.body == toolrun::slurp(folder.path("title.pbm.png")));
}

TEST_F(ViewerHttpTest, ManyClientsAtOnceAreAllAnswered) {
    std::string alone = get("entries?filter=*").body;
    ASSERT_FALSE(alone.empty());
    std::vector<Answer> answers(50);
    std::vector<std::thread> clients;
    for (Answer &answer : answers)
        clients.emplace_back([&answer] { answer = get("entries?filter=*"); });
    for (std::thread &client : clients)
        client.join();
    for (const Answer &answer : answers)
        EXPECT_TRUE(answer.status == 200 && answer.body == alone) << answer.status;
}

TEST_F(ViewerHttpTest, APortServesOneViewerOnly) {
    ViewerServer second(*catalog, Token);
    EXPECT_EQ(second.bind(port), -1);
}

TEST(ViewerTargetTest, DecodesStrictly) {
    struct Case {
        const char *text;
        bool ok;
        const char *path;
        std::vector<std::pair<std::string, std::string>> parameters;
    } cases[] = {
        {"/", true, "/", {}},
        {"/t/entries?filter=%2A.PB%3F", true, "/t/entries", {{"filter", "*.PB?"}}},
        {"/a%20b+c?x=a+b&&y&x=2&", true, "/a b+c", {{"x", "a b"}, {"y", ""}, {"x", "2"}}},
        {"/%FF", true, "/\xFF", {}},
        {"", false, "", {}},
        {"t/", false, "", {}},
        {"http://127.0.0.1/", false, "", {}},
        {"/%00", false, "", {}},
        {"/%4", false, "", {}},
        {"/%zz", false, "", {}},
        {"/?x=%", false, "", {}},
        {"/a\tb", false, "", {}},
    };
    for (const Case &c : cases) {
        ViewerTarget target;
        ASSERT_EQ(parseTarget(c.text, target), c.ok) << c.text;
        if (!c.ok)
            continue;
        EXPECT_EQ(target.path, c.path);
        EXPECT_EQ(target.parameters, c.parameters) << c.text;
    }
    ViewerTarget repeated;
    ASSERT_TRUE(parseTarget("/?x=1&x=2", repeated));
    EXPECT_EQ(repeated.count("x"), 2u);
    EXPECT_EQ(repeated.value("x"), "1");
    EXPECT_EQ(repeated.value("y"), "");
}

TEST(ViewerStartTest, QarvexServeRunsTheViewer) {
    toolrun::Scratch folder;
    struct Case {
        std::vector<std::string> arguments;
        int exitCode;
        const char *says;
    } cases[] = {
        {{"--serve"}, 2, "qarvex: --serve needs volumes or a folder"},
        {{"--serve", "--port", "0", "x.vol"}, 2, "--port needs a number from 1 to 65535"},
        {{"--serve", folder.path("none-such.vol")}, 1, "--serve: no volume to show"},
    };
    for (const Case &c : cases) {
        toolrun::ToolRun run = toolrun::runTool(c.arguments, folder.path(""));
        EXPECT_EQ(run.exitCode, c.exitCode) << run.err;
        EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
    }
}

} // namespace

} // namespace tool

} // namespace qarvex
