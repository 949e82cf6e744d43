// A bare FTP client for driving the stand-in camera's FTP server, with no
// help from our product's own client. Active mode only, like our client.
#pragma once

#include <chrono>
#include <string>

#include "platform/socket.h"

namespace vcq::sim::test {

using namespace std::chrono_literals;

class RawFtp {
  public:
    // Connects and reads the greeting; false when refused or not greeted.
    bool Connect(const net::Endpoint& server) {
        if (!control_.Open() || !control_.Connect(server, 1s))
            return false;
        return ReadReply().starts_with("220");
    }

    // One command; the whole reply (all lines of a multi-line one), or "" on
    // a closed or silent connection.
    std::string Command(const std::string& line) {
        if (!control_.SendAll(line + "\r\n", 1s))
            return "";
        return ReadReply();
    }

    bool Login(const std::string& user, const std::string& password) {
        return Command("USER " + user).starts_with("331") &&
               Command("PASS " + password).starts_with("230");
    }

    // PORT (or EPRT) to a fresh listener on 127.0.0.1, STOR, send `bytes`.
    // The final reply, or the first one when no data connection was asked for.
    std::string Store(const std::string& name, const std::string& bytes, bool eprt = false) {
        net::TcpSocket listener;
        if (!listener.Open() || !listener.Bind({0x7F000001, 0}) || !listener.Listen(1))
            return "listener";
        uint16_t port = listener.LocalEndpoint()->port;
        std::string portReply = eprt ? Command("EPRT |1|127.0.0.1|" + std::to_string(port) + "|")
                                     : Command("PORT 127,0,0,1," + std::to_string(port >> 8) + "," +
                                               std::to_string(port & 0xFF));
        if (!portReply.starts_with("200"))
            return portReply;
        std::string first = Command("STOR " + name);
        if (!first.starts_with("150"))
            return first;
        net::TcpSocket data = listener.Accept(2s);
        if (!data.valid())
            return "no data connection";
        data.SendAll(bytes, 5s);
        data.Close();
        return ReadReply(10s);
    }

    void Close() { control_.Close(); }
    net::TcpSocket& socket() { return control_; }

    std::string ReadReply(std::chrono::milliseconds timeout = 2s) {
        std::string reply;
        char byte;
        for (;;) {
            auto got = control_.Receive(&byte, 1, timeout);
            if (!got.ok())
                return reply;
            reply += byte;
            // A reply ends with a line "NNN " (multi-line ones start "NNN-").
            size_t lineStart = reply.rfind('\n', reply.size() - 2);
            lineStart = lineStart == std::string::npos ? 0 : lineStart + 1;
            std::string_view line = std::string_view(reply).substr(lineStart);
            if (byte == '\n' && line.size() >= 4 && line[3] == ' ' &&
                line.substr(0, 3) == std::string_view(reply).substr(0, 3))
                return reply;
        }
    }

  private:
    net::TcpSocket control_;
};

}  // namespace vcq::sim::test
