// Identity, accounts and behaviour of one stand-in camera. Shared by every
// service the stand-in runs (HTTP CGI, FTP, discovery responder, reboot).
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace vcq::sim {

// ftpFailStatus of a STOR that fails by the camera dropping its connections.
inline constexpr int kDropStor = 0;

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

// What the camera reports once it is back from the reboot after
// "System=versionup".
enum class AfterReboot {
    Flashed,     // the version of the image it flashed (its old one without a valid image)
    OldVersion,  // its old version, whatever was uploaded
    NeverBack,   // it stays down, refusing every connection
};

// How the camera answers "System=versionup" (it restarts in every case).
enum class VersionUpReply {
    Whole,     // 204 No Content
    Dropped,   // closes the connection without a word
    HalfHead,  // half a status line and header, then closes
    Hold,      // takes it and holds the connection without a word
};

// How the camera takes a configuration restore.
enum class RestoreAnswer {
    // The reply's status is restoreStatus when it fits the answer (a web
    // form's yes may be a redirect, 302), else 200 or 500.
    Accept,  // stores it
    Refuse,  // keeps its own settings
    Cut,     // keeps its own settings and closes without a status line
};

// How the configuration download shows where its body ends.
enum class ConfigBodyEnd {
    Length,   // Content-Length
    Chunked,  // Transfer-Encoding: chunked
    Close,    // neither: an orderly close ends the body, as an HTTP/1.0 server does
    Reset,    // neither, and the connection is reset after configCutAfter bytes of it
    Stall,    // neither, and the camera goes silent after configCutAfter bytes, never closing
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
    // When set, the whole "Server: " value instead of product/version; an
    // empty text sends no "Server: " header at all.
    std::optional<std::string> serverText;
    std::string model = "VCQ-R20";
    // The first model of its family: every camera of the family serves its
    // configuration under this model's name, whatever its own.
    std::string familyModel = "VCQ-R20";
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

    // "inq=sysinfo" answered without a login, as real cameras do and as the
    // verification of cameras added by hand (which sends none) expects.
    bool publicSysinfo = true;
    // "Server: " ends in a blank after the version, as some firmware sends it.
    bool serverTrailingBlank = false;
    // "inq=ftpuser" lists this many empty "key=," entries before the account.
    int ftpEmptyEntries = 0;
    // Size of the body sent under HttpFault::HugeBody (at least this many bytes).
    size_t hugeBodyBytes = 12 * 1024;

    // The file served as "/home/l4/<family model in lower case>.cfg"; empty gives
    // one made from the camera's identity.
    std::string configuration;
    // Served instead of `configuration` once a reboot has reset the camera;
    // empty gives one made from the camera's identity, marked as factory.
    std::string factoryConfiguration;
    // The download answers with an HTML page instead of the file.
    bool configurationAsHtml = false;
    // The download answers 200 with a lowercase HTML login page instead.
    bool configurationLoginPage = false;
    ConfigBodyEnd configBodyEnd = ConfigBodyEnd::Length;
    size_t configCutAfter = 0;
    RestoreAnswer restoreAnswer = RestoreAnswer::Accept;
    int restoreStatus = 200;
    // The file part of the last upload to "/command/all-configuration.cgi";
    // an accepted upload also becomes `configuration`.
    std::string restoredConfiguration;
    // The restore upload logs in with the factory administrator's token,
    // whatever the current accounts are.
    std::string factoryToken = "AAAAAAAAAAAAAAA=";

    // Switched on by "FtpServerFunc=on"; the FTP server accepts only while on.
    bool ftpServerOn = false;
    // FTP port on the camera's address; 0 picks a free one.
    uint16_t ftpPort = 21;
    // PASS answers 530 whatever the password.
    bool ftpRefuseLogin = false;
    // STOR number N (from 1, counted over the camera's life) fails; -1 fails
    // every STOR; 0 none. 550 refuses before the data connection, any other
    // status (451) is sent after the data has been read, and kDropStor
    // resets the data and control connections once the first bytes arrived.
    int ftpFailStor = 0;
    int ftpFailStatus = 550;
    // MKD answers 550 and creates nothing.
    bool ftpRefuseMkd = false;
    // Bytes per second a STOR reads at most; 0 is unlimited.
    uint64_t ftpRateLimit = 0;
    // A control connection idle this long is closed with 421, as real
    // cameras' FTP servers do.
    std::chrono::milliseconds ftpIdle{30000};

    // After "System=versionup" the camera restarts: it refuses HTTP, FTP and
    // discovery for rebootDowntime, flashes the first "*.img" uploaded under
    // C:\system, and comes back as afterReboot says, with its factory
    // configuration, its FTP server off and its uploads gone.
    std::chrono::milliseconds rebootDowntime{2000};
    // The old firmware keeps serving, with its old version, this long after
    // accepting "System=versionup" before the camera goes down.
    std::chrono::milliseconds versionUpLinger{0};
    // The camera answers nothing (HTTP, FTP, discovery) until this long after
    // it was started: one switched on while the batch already runs.
    std::chrono::milliseconds appearAfter{0};
    VersionUpReply versionUpReply = VersionUpReply::Whole;
    // The first "inq=sysinfo" after "System=versionup" is answered this much
    // later (the connection accepted, nothing said meanwhile).
    std::chrono::milliseconds pollStall{0};
    bool pollStallPending = false;  // set by the versionup, cleared by that poll
    // After "System=versionup", while the old firmware still runs, the next
    // this many requests are cut (reset) without an answer: a busy camera or
    // a switch dropping connections, not a restart.
    int blip = 0;
    int blipPending = 0;  // set by the versionup, counted down by the cuts
    // A camera whose settings the versionup reset comes back at its default
    // address: when set, it never answers at its own address again (nothing
    // serves at this one either).
    std::string resetAddress;
    // A configuration restore is answered this much later.
    std::chrono::milliseconds restoreDelay{0};
    AfterReboot afterReboot = AfterReboot::Flashed;
    // A flash that keeps the camera's settings instead of resetting them, so
    // that a test can tell a restore from a camera that lost nothing.
    bool keepConfigurationOnFlash = false;
    // When not empty, the version it reports after that reboot, whatever it flashed.
    std::string versionAfterUpgrade;
    // Forces the status of a request topic ("inq=sysinfo",
    // "POST /command/main.cgi"), e.g. 500 to refuse a command.
    std::map<std::string, int> forcedStatus;

    HttpFault httpFault = HttpFault::None;
    // A busy camera: every HTTP request is answered this much later.
    std::chrono::milliseconds replyDelay{0};
    DiscoveryFault discoveryFault = DiscoveryFault::None;
};

}  // namespace vcq::sim
