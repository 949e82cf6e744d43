// The camera's web server on 127.0.0.1 and ephemeral ports: no real
// endpoint is needed for the way it reads requests and copes with clients.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "cgi_handlers.h"
#include "raw_client.h"
#include "simulator.h"

namespace vcq::sim::test {
namespace {

CameraConfig LoopbackConfig() {
    CameraConfig config;
    config.address = "127.0.0.1";
    config.httpPort = 0;
    return config;
}

class LocalCamera : public ::testing::Test {
  protected:
    void SetUp() override {
        SimulatorOptions options;
        options.http.requestTimeout = 500ms;
        options.http.splitPause = 150ms;
        options.http.limits = {1024, 64 * 1024};
        simulator_ = std::make_unique<Simulator>(options);
        std::string error;
        ASSERT_TRUE(simulator_->AddCamera(LoopbackConfig(), &error)) << error;
        camera_ = simulator_->HttpEndpoint(0);
        host_ = simulator_->HostText(0);
    }

    std::unique_ptr<Simulator> simulator_;
    net::Endpoint camera_;
    std::string host_;
};

TEST_F(LocalCamera, ReadsARequestArrivingInPiecesAndKeepsItsExactBytes) {
    std::string request = Inquiry(host_, "sysinfo");
    std::vector<std::string> pieces;
    for (size_t at = 0; at < request.size(); at += 13)
        pieces.push_back(request.substr(at, 13));
    RawReply reply = Exchange(camera_, pieces, 5ms);
    EXPECT_TRUE(reply.bytes.starts_with("HTTP/1.1 200 OK\r\n")) << reply.bytes;
    EXPECT_TRUE(reply.closedByPeer);
    EXPECT_EQ(simulator_->LastRequest(0), request);
    EXPECT_EQ(host_, "127.0.0.1:" + std::to_string(camera_.port));
    EXPECT_EQ(simulator_->Config(0).httpPort, camera_.port) << "the real port replaces 0";
}

TEST_F(LocalCamera, AnswersBadRequestsWith400AndUnknownPathsWith404) {
    struct Case {
        std::string request;
        std::string status;
    };
    std::vector<Case> cases = {
        {"GARBAGE\r\n\r\n", "HTTP/1.1 400 Bad Request\r\n"},
        {"POST /command/inquiry.cgi HTTP/1.1\r\nContent-Length: zz\r\n\r\n",
         "HTTP/1.1 400 Bad Request\r\n"},
        {"POST /command/inquiry.cgi HTTP/1.1\r\nContent-Length: 99999999\r\n\r\n",
         "HTTP/1.1 400 Bad Request\r\n"},
        {"POST / HTTP/1.1\r\nX: " + std::string(2000, 'a') + "\r\n\r\n",
         "HTTP/1.1 400 Bad Request\r\n"},
        {std::string(3000, '\x7f'), "HTTP/1.1 400 Bad Request\r\n"},
        // No Content-Length: no body, so no inquiry either.
        {"POST /command/inquiry.cgi HTTP/1.1\r\nAuthorization: Basic YWRtaW46YWRtaW4=\r\n\r\n",
         "HTTP/1.1 400 Bad Request\r\n"},
        {CgiRequest("/command/nothing.cgi", host_, BasicToken("admin", "admin"), "a"),
         "HTTP/1.1 404 Not Found\r\n"},
        {"GET /command/inquiry.cgi HTTP/1.1\r\n\r\n", "HTTP/1.1 404 Not Found\r\n"},
        {Inquiry(host_, "nosuchtopic"), "HTTP/1.1 400 Bad Request\r\n"},
    };
    for (const auto& c : cases) {
        RawReply reply = Exchange(camera_, {c.request});
        EXPECT_TRUE(reply.bytes.starts_with(c.status)) << c.request.substr(0, 60) << "\n"
                                                       << reply.bytes;
        EXPECT_EQ(HeadOf(reply.bytes).find('='), std::string::npos);
    }
    // Still serving after all that.
    EXPECT_TRUE(
        Exchange(camera_, {Inquiry(host_, "sysinfo")}).bytes.starts_with("HTTP/1.1 200 OK"));
}

TEST_F(LocalCamera, DropsAClientThatNeverFinishesItsRequest) {
    auto start = std::chrono::steady_clock::now();
    RawReply reply =
        Exchange(camera_, {"POST /command/inquiry.cgi HTTP/1.1\r\nContent-Len"}, 0ms, 3s);
    EXPECT_TRUE(reply.closedByPeer);
    EXPECT_EQ(reply.bytes, "");
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
}

TEST_F(LocalCamera, AStuckClientDoesNotHoldUpOthers) {
    net::TcpSocket stuck;
    ASSERT_TRUE(stuck.Open());
    ASSERT_TRUE(stuck.Connect(camera_, 1s));
    ASSERT_TRUE(stuck.SendAll("POST /command/inquiry.cgi HTTP/1.1\r\n", 1s));

    std::vector<std::thread> clients;
    std::atomic<int> answered{0};
    for (int i = 0; i < 8; ++i) {
        clients.emplace_back([&] {
            if (Exchange(camera_, {Inquiry(host_, "builtin")}, 0ms, 400ms)
                    .bytes.starts_with("HTTP/1.1 200 OK"))
                ++answered;
        });
    }
    for (auto& client : clients)
        client.join();
    EXPECT_EQ(answered, 8);
    EXPECT_EQ(simulator_->RequestCount(0, "inq=builtin"), 8);
    EXPECT_EQ(simulator_->RequestCount(0, "inq=sysinfo"), 0);
}

TEST_F(LocalCamera, CountsRequestsByTopic) {
    for (const char* topic : {"sysuser", "sysinfo", "sysinfo", "tcpip"})
        Exchange(camera_, {Inquiry(host_, topic)});
    Exchange(camera_, {CgiRequest("/command/main.cgi", host_, "x", "System=versionup")});
    EXPECT_EQ(simulator_->RequestCount(0, "inq=sysuser"), 1);
    EXPECT_EQ(simulator_->RequestCount(0, "inq=sysinfo"), 2);
    EXPECT_EQ(simulator_->RequestCount(0, "inq=tcpip"), 1);
    EXPECT_EQ(simulator_->RequestCount(0, "POST /command/main.cgi"), 1);
    auto all = simulator_->Requests(0);
    ASSERT_EQ(all.size(), 5u);
    EXPECT_NE(all[0].find("inq=sysuser"), std::string::npos);
}

TEST_F(LocalCamera, RefusesWhileToldToAndListensAgainAfterwards) {
    simulator_->SetHttpFault(0, HttpFault::RefuseConnections);
    std::this_thread::sleep_for(200ms);
    EXPECT_FALSE(Exchange(camera_, {Inquiry(host_, "sysinfo")}).connected);
    simulator_->SetHttpFault(0, HttpFault::None);
    std::this_thread::sleep_for(200ms);
    EXPECT_TRUE(Exchange(camera_, {Inquiry(host_, "sysinfo")}).bytes.starts_with("HTTP/1.1 200"));
}

TEST_F(LocalCamera, SwitchesOnItsFtpServerAndRebootsIntoTheNewVersion) {
    std::string token = BasicToken("admin", "admin");
    simulator_->Update(0, [](CameraConfig& c) {
        c.rebootDowntime = 400ms;
        c.versionAfterUpgrade = "1.10";
    });
    RawReply ftp =
        Exchange(camera_, {CgiRequest("/command/ftpserver.cgi", host_, token, "FtpServerFunc=on")});
    EXPECT_TRUE(ftp.bytes.starts_with("HTTP/1.1 204 No Content\r\n")) << ftp.bytes;
    EXPECT_EQ(ftp.bytes.find("Content-Length"), std::string::npos);
    EXPECT_TRUE(simulator_->Config(0).ftpServerOn);

    auto start = std::chrono::steady_clock::now();
    RawReply versionUp =
        Exchange(camera_, {CgiRequest("/command/main.cgi", host_, token, "System=versionup")});
    EXPECT_TRUE(versionUp.bytes.starts_with("HTTP/1.1 204 No Content\r\n"));
    std::this_thread::sleep_for(150ms);
    EXPECT_FALSE(Exchange(camera_, {Inquiry(host_, "sysinfo")}).connected) << "down for the reboot";

    RawReply after;
    while (!after.connected && std::chrono::steady_clock::now() - start < 3s) {
        std::this_thread::sleep_for(50ms);
        after = Exchange(camera_, {Inquiry(host_, "sysinfo")});
    }
    EXPECT_GE(std::chrono::steady_clock::now() - start, 400ms);
    EXPECT_NE(after.bytes.find("&SoftVersion=1.10&"), std::string::npos) << after.bytes;
    EXPECT_NE(after.bytes.find("\r\nServer: VCQCAM/1.10\r\n"), std::string::npos);

    for (const char* body : {"System=reboot", "FtpServerFunc=maybe"}) {
        std::string path = body[0] == 'S' ? "/command/main.cgi" : "/command/ftpserver.cgi";
        EXPECT_TRUE(Exchange(camera_, {CgiRequest(path, host_, token, body)})
                        .bytes.starts_with("HTTP/1.1 400 Bad Request"));
        EXPECT_TRUE(Exchange(camera_, {CgiRequest(path, host_, "bad", body)})
                        .bytes.starts_with("HTTP/1.1 401 Unauthorized"));
    }
}

TEST_F(LocalCamera, CanBeToldToAnswerATopicWithAnotherStatus) {
    simulator_->Update(0, [](CameraConfig& c) {
        c.forcedStatus["POST /command/main.cgi"] = 500;
        c.forcedStatus["inq=builtin"] = 204;
    });
    RawReply refused = Exchange(
        camera_,
        {CgiRequest("/command/main.cgi", host_, BasicToken("admin", "admin"), "System=versionup")});
    EXPECT_TRUE(refused.bytes.starts_with("HTTP/1.1 500 Internal Server Error\r\n"))
        << refused.bytes;
    EXPECT_TRUE(Exchange(camera_, {Inquiry(host_, "sysinfo")}).connected) << "no reboot";
    RawReply empty = Exchange(camera_, {Inquiry(host_, "builtin")});
    EXPECT_TRUE(empty.bytes.starts_with("HTTP/1.1 204 No Content\r\n"));
    EXPECT_EQ(BodyOf(empty.bytes), "");
}

TEST_F(LocalCamera, HandsOutItsConfigurationOnlyToItsUsers) {
    auto get = [&](const std::string& path, const std::string& token) {
        return Exchange(camera_, {"GET " + path + " HTTP/1.1\r\nHost: " + host_ +
                                  "\r\nAuthorization: Basic " + token + "\r\n\r\n"});
    };
    std::string admin = BasicToken("admin", "admin");
    RawReply file = get("/home/l4/vcq-r20.cfg", admin);
    EXPECT_TRUE(file.bytes.starts_with("HTTP/1.1 200 OK\r\n"));
    EXPECT_EQ(BodyOf(file.bytes), ConfigurationFile(simulator_->Config(0)));
    EXPECT_EQ(BodyOf(file.bytes).find("<HTML>"), std::string::npos);

    RawReply refused = get("/home/l4/vcq-r20.cfg", BasicToken("admin", "nope"));
    EXPECT_TRUE(refused.bytes.starts_with("HTTP/1.1 401 Unauthorized\r\n"));
    EXPECT_NE(refused.bytes.find("<HTML>"), std::string::npos) << "a page, not a file";
    EXPECT_TRUE(get("/home/l4/vcq-r30.cfg", admin).bytes.starts_with("HTTP/1.1 404"));
    EXPECT_TRUE(get("/home/l4/", admin).bytes.starts_with("HTTP/1.1 404"));
    // Every camera of the family answers under the family's first model.
    simulator_->Update(0, [](CameraConfig& c) { c.model = "VCQ-R20N"; });
    EXPECT_TRUE(get("/home/l4/vcq-r20.cfg", admin).bytes.starts_with("HTTP/1.1 200 OK\r\n"));
    EXPECT_TRUE(get("/home/l4/vcq-r20n.cfg", admin).bytes.starts_with("HTTP/1.1 404"));

    simulator_->Update(0, [](CameraConfig& c) { c.users.push_back({"viewer", "look"}); });
    EXPECT_TRUE(get("/home/l4/vcq-r20.cfg", BasicToken("viewer", "look"))
                    .bytes.starts_with("HTTP/1.1 401 Unauthorized\r\n"))
        << "level-4 users may not";

    simulator_->Update(0, [](CameraConfig& c) {
        c.familyModel = "VCQ-R30";  // a camera of another family
        c.configuration = "saved settings";
    });
    EXPECT_EQ(BodyOf(get("/home/l4/vcq-r30.cfg", admin).bytes), "saved settings");

    simulator_->Update(0, [](CameraConfig& c) { c.configurationAsHtml = true; });
    RawReply page = get("/home/l4/vcq-r30.cfg", admin);
    EXPECT_TRUE(page.bytes.starts_with("HTTP/1.1 200 OK\r\n"));
    EXPECT_TRUE(BodyOf(page.bytes).starts_with("<HTML>"));
    simulator_->Update(0,
                       [](CameraConfig& c) { c.forcedStatus["GET /home/l4/vcq-r30.cfg"] = 503; });
    EXPECT_TRUE(get("/home/l4/vcq-r30.cfg", admin).bytes.starts_with("HTTP/1.1 503 "));
}

// The restore form exactly as our client builds it, with room to spoil it.
struct RestoreForm {
    std::string boundary = std::string(27, '-') + "7d1765130000";
    std::string data = "settings\r\n\r\n" + std::string("\0\xff\r\n", 4) + std::string(3000, 'c');
    std::string token = "AAAAAAAAAAAAAAA=";
    std::string contentType;  // empty: the right one
    std::string body;         // empty: the right one
    long lengthDelta = 0;

    std::string Body() const {
        if (!body.empty())
            return body;
        return "\r\n" + boundary +
               "\r\nContent-Disposition: form-data; name=\"Restore\"; "
               "filename=\"temp.cfg\"\r\nContent-Type: application/octet-stream\r\n\r\n" +
               data + "\r\n" + boundary + "--\r\n\r\n";
    }
    std::string Request() const {
        std::string form = Body();
        return "POST /command/all-configuration.cgi HTTP/1.1\r\nContent-Type: " +
               (contentType.empty() ? "multipart/form-data; boundary=" + boundary : contentType) +
               "\r\nContent-Length: " + std::to_string(form.size() + lengthDelta) +
               "\r\nAuthorization: Basic " + token + "\r\n\r\n" + form;
    }
};

TEST_F(LocalCamera, TakesOnlyTheExactRestoreFormAndServesItBack) {
    RestoreForm good;
    std::string request = good.Request();
    RawReply reply = Exchange(camera_, {request.substr(0, 100), request.substr(100)});
    EXPECT_TRUE(reply.bytes.starts_with("HTTP/1.1 200 OK")) << reply.bytes;
    EXPECT_EQ(simulator_->LastRequest(0), request);
    EXPECT_EQ(simulator_->Config(0).restoredConfiguration, good.data);
    std::string admin = BasicToken("admin", "admin");
    RawReply served = Exchange(
        camera_,
        {"GET /home/l4/vcq-r20.cfg HTTP/1.1\r\nAuthorization: Basic " + admin + "\r\n\r\n"});
    EXPECT_EQ(BodyOf(served.bytes), good.data);

    std::vector<std::pair<std::string, RestoreForm>> spoilt;
    auto add = [&](std::string why, auto change) {
        RestoreForm form;
        change(form);
        spoilt.emplace_back(std::move(why), std::move(form));
    };
    add("dash-dash boundary lines", [](RestoreForm& f) {
        f.body = "\r\n--" + f.boundary +
                 "\r\nContent-Disposition: form-data; name=\"Restore\"; "
                 "filename=\"temp.cfg\"\r\nContent-Type: application/octet-stream\r\n\r\n" +
                 f.data + "\r\n--" + f.boundary + "--\r\n\r\n";
    });
    add("26 hyphens", [](RestoreForm& f) { f.boundary = std::string(26, '-') + "7d1765130000"; });
    add("no seconds", [](RestoreForm& f) { f.boundary = std::string(27, '-') + "7d"; });
    add("letters for seconds", [](RestoreForm& f) { f.boundary += "x"; });
    add("quoted boundary", [](RestoreForm& f) {
        f.contentType = "multipart/form-data; boundary=\"" + f.boundary + "\"";
    });
    add("other field name", [](RestoreForm& f) {
        std::string b = f.Body();
        b.replace(b.find("\"Restore\""), 9, "\"Restored\"");
        f.body = b;
    });
    add("other file name", [](RestoreForm& f) {
        std::string b = f.Body();
        b.replace(b.find("temp.cfg"), 8, "temp.txt");
        f.body = b;
    });
    add("no closing blank line", [](RestoreForm& f) {
        std::string b = f.Body();
        f.body = b.substr(0, b.size() - 2);
    });
    add("no leading line end", [](RestoreForm& f) { f.body = f.Body().substr(2); });
    for (auto& [why, form] : spoilt) {
        RawReply rejected = Exchange(camera_, {form.Request()});
        EXPECT_TRUE(rejected.bytes.starts_with("HTTP/1.1 400 ")) << why << ": " << rejected.bytes;
    }
    // A Content-Length short of the body leaves stray bytes; the form is cut short.
    RestoreForm shorter;
    shorter.lengthDelta = -3;
    EXPECT_TRUE(Exchange(camera_, {shorter.Request()}).bytes.starts_with("HTTP/1.1 400 "));

    RestoreForm operatorToken;
    operatorToken.token = admin;
    EXPECT_TRUE(Exchange(camera_, {operatorToken.Request()})
                    .bytes.starts_with("HTTP/1.1 401 Unauthorized"));
    simulator_->Update(
        0, [](CameraConfig& c) { c.forcedStatus["POST /command/all-configuration.cgi"] = 500; });
    RestoreForm refused;
    refused.data = "not taken";
    EXPECT_TRUE(Exchange(camera_, {refused.Request()}).bytes.starts_with("HTTP/1.1 500 "));
    EXPECT_EQ(simulator_->Config(0).configuration, good.data);
}

TEST(Simulator, StopsQuicklyWithClientsStillConnected) {
    auto simulator = std::make_unique<Simulator>();
    CameraConfig silent = LoopbackConfig();
    silent.httpFault = HttpFault::AcceptNeverAnswer;
    ASSERT_TRUE(simulator->AddCameras({LoopbackConfig(), silent, LoopbackConfig()}));
    std::vector<net::TcpSocket> clients(3);
    for (size_t i = 0; i < clients.size(); ++i) {
        ASSERT_TRUE(clients[i].Open());
        ASSERT_TRUE(clients[i].Connect(simulator->HttpEndpoint(i), 1s));
    }
    clients[0].SendAll("POST /", 1s);                                    // half a request
    clients[1].SendAll(Inquiry(simulator->HostText(1), "sysinfo"), 1s);  // never answered
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(simulator->RequestCount(1, "inq=sysinfo"), 1);

    auto start = std::chrono::steady_clock::now();
    simulator.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    char byte;
    EXPECT_EQ(clients[1].Receive(&byte, 1, 1s).status, net::IoStatus::Closed);
}

TEST(Simulator, AcceptsOnlyLoopbackAddressesAndFreePorts) {
    Simulator simulator;
    std::string error;
    for (const char* address : {"192.168.0.10", "0.0.0.0", "localhost", "128.0.0.1"}) {
        CameraConfig config = LoopbackConfig();
        config.address = address;
        EXPECT_FALSE(simulator.AddCamera(config, &error)) << address;
        EXPECT_NE(error.find("127."), std::string::npos);
    }
    ASSERT_TRUE(simulator.AddCamera(LoopbackConfig()));
    CameraConfig clash = LoopbackConfig();
    clash.httpPort = simulator.HttpEndpoint(0).port;
    // Two farms sharing a port: the second may not steal it.
    Simulator other;
    EXPECT_FALSE(other.AddCameras({LoopbackConfig(), clash}, &error));
    EXPECT_NE(error.find("http"), std::string::npos) << error;
    EXPECT_EQ(other.size(), 0u) << "all or none";
}

}  // namespace
}  // namespace vcq::sim::test
