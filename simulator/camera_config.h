// Identity, accounts and behaviour of one stand-in camera. Shared by every
// service the stand-in runs (HTTP CGI, FTP, discovery responder, reboot).
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace vcq::sim {

struct UserAccount {
    std::string name;
    std::string password;
};

// Ways the camera's web server can misbehave.
enum class HttpFault {
    None,
    RefuseConnections,    // nothing listens on the HTTP port
    AcceptNeverAnswer,    // accepts, reads the request, never replies
    CloseMidReply,        // sends part of the reply, then closes
    SplitHeadersAndBody,  // headers and body in separate segments, with a pause between
    HugeBody,             // a body larger than 10 kB
};

// Ways the discovery responder can misbehave.
enum class DiscoveryFault {
    None,
    Silent,        // never answers
    AnswerTwice,   // sends its reply twice
    UnknownModel,  // reports a model not in the model list
    NoModel,       // reply without "MODEL:"
    Malformed,     // values without their 0xFF end, stray bytes
    Truncated,     // the reply cut short
};

struct CameraConfig {
    std::string address = "127.0.0.2";  // its own loopback address
    uint16_t httpPort = 80;
    std::string productName = "VCQCAM";  // first part of the "Server: " header
    std::string model = "VCQ-R20";
    std::string serial = "10000001";
    std::string mac = "08:00:46:00:00:01";  // with colons, as "inq=tcpip" reports it
    std::string softVersion = "1.05";
    bool dhcp = false;
    bool dnsAuto = false;
    // users[0] is the administrator; the others are level-4 users.
    std::vector<UserAccount> users = {{"admin", "admin"}};
    UserAccount ftpUser = {"ftpuser", "ftppass"};
    bool imageMemoryOn = false;
    uint64_t builtInFreeBytes = 16u * 1024 * 1024;

    // "Server: " ends in a blank after the version, as some firmware sends it.
    bool serverTrailingBlank = false;
    // "inq=ftpuser" lists this many empty "key=," entries before the account.
    int ftpEmptyEntries = 0;
    // Size of the body sent under HttpFault::HugeBody (at least this many bytes).
    size_t hugeBodyBytes = 12 * 1024;

    // The file served as "/home/l4/<model in lower case>.cfg"; empty gives
    // one made from the camera's identity.
    std::string configuration;
    // The file part of the last upload to "/command/all-configuration.cgi".
    std::string restoredConfiguration;
    // The restore upload logs in with the factory administrator's token,
    // whatever the current accounts are.
    std::string factoryToken = "AAAAAAAAAAAAAAA=";

    // Switched on by "FtpServerFunc=on".
    bool ftpServerOn = false;
    // After "System=versionup" the camera restarts: it refuses connections
    // for this long, then reports versionAfterUpgrade (when not empty).
    std::chrono::milliseconds rebootDowntime{2000};
    std::string versionAfterUpgrade;
    // Forces the status of a request topic ("inq=sysinfo",
    // "POST /command/main.cgi"), e.g. 500 to refuse a command.
    std::map<std::string, int> forcedStatus;

    HttpFault httpFault = HttpFault::None;
    DiscoveryFault discoveryFault = DiscoveryFault::None;
};

}  // namespace vcq::sim
