#include "command_line.h"

#include <charconv>
#include <cstdio>

namespace vcq::sim {
namespace {

template <typename T>
bool ParseNumber(std::string_view text, T& value) {
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return !text.empty() && ec == std::errc() && ptr == text.data() + text.size();
}

bool ParseMillis(std::string_view text, std::chrono::milliseconds& value) {
    unsigned millis = 0;
    if (!ParseNumber(text, millis))
        return false;
    value = std::chrono::milliseconds(millis);
    return true;
}

bool ParseOnOff(std::string_view text, bool& value) {
    if (text == "on")
        return value = true, true;
    if (text == "off")
        return value = false, true;
    return false;
}

bool ParseAccount(std::string_view text, UserAccount& account) {
    size_t colon = text.find(':');
    if (colon == std::string_view::npos || colon == 0)
        return false;
    account = {std::string(text.substr(0, colon)), std::string(text.substr(colon + 1))};
    return true;
}

bool ParseFault(std::string_view text, HttpFault& fault) {
    struct Name {
        std::string_view text;
        HttpFault fault;
    };
    static constexpr Name kNames[] = {
        {"none", HttpFault::None},
        {"refuse", HttpFault::RefuseConnections},
        {"silent", HttpFault::AcceptNeverAnswer},
        {"close-mid-reply", HttpFault::CloseMidReply},
        {"split", HttpFault::SplitHeadersAndBody},
        {"huge-body", HttpFault::HugeBody},
    };
    for (const auto& name : kNames)
        if (name.text == text)
            return fault = name.fault, true;
    return false;
}

bool ApplyOne(std::string_view key, std::string_view value, CameraConfig& camera, bool& firstUser) {
    std::string text(value);
    if (key == "address")
        return camera.address = text, true;
    if (key == "port")
        return ParseNumber(value, camera.httpPort);
    if (key == "product")
        return camera.productName = text, true;
    if (key == "model")
        return camera.model = text, true;
    if (key == "family")
        return camera.familyModel = text, true;
    if (key == "serial")
        return camera.serial = text, true;
    if (key == "mac")
        return camera.mac = text, true;
    if (key == "version")
        return camera.softVersion = text, true;
    if (key == "dhcp")
        return ParseOnOff(value, camera.dhcp);
    if (key == "dns")
        return ParseOnOff(value, camera.dnsAuto);
    if (key == "image-memory")
        return ParseOnOff(value, camera.imageMemoryOn);
    if (key == "free")
        return ParseNumber(value, camera.builtInFreeBytes);
    if (key == "fault")
        return ParseFault(value, camera.httpFault);
    if (key == "server-blank")
        return ParseOnOff(value, camera.serverTrailingBlank);
    if (key == "ftp-empty")
        return ParseNumber(value, camera.ftpEmptyEntries);
    if (key == "huge")
        return ParseNumber(value, camera.hugeBodyBytes);
    if (key == "next-version")
        return camera.versionAfterUpgrade = text, true;
    if (key == "reboot")
        return ParseMillis(value, camera.rebootDowntime);
    if (key == "delay")
        return ParseMillis(value, camera.replyDelay);
    if (key == "status") {
        // TOPIC:CODE, where a TOPIC that is a path means a POST to it (a GET
        // for the configuration file).
        size_t colon = value.rfind(':');
        int status = 0;
        if (colon == std::string_view::npos || colon == 0 ||
            !ParseNumber(value.substr(colon + 1), status) || status < 100 || status > 599)
            return false;
        std::string topic(value.substr(0, colon));
        if (topic.starts_with("/"))
            topic = (topic.ends_with(".cfg") ? "GET " : "POST ") + topic;
        camera.forcedStatus[topic] = status;
        return true;
    }
    if (key == "sysinfo")
        return value == "public" ? (camera.publicSysinfo = true, true)
                                 : value == "login" && (camera.publicSysinfo = false, true);
    if (key == "ftp")
        return ParseAccount(value, camera.ftpUser);
    if (key == "ftp-port")
        return ParseNumber(value, camera.ftpPort);
    if (key == "ftp-on")
        return ParseOnOff(value, camera.ftpServerOn);
    if (key == "ftp-login")
        return value == "refuse" ? (camera.ftpRefuseLogin = true, true)
                                 : value == "accept" && (camera.ftpRefuseLogin = false, true);
    if (key == "ftp-rate")
        return ParseNumber(value, camera.ftpRateLimit);
    if (key == "ftp-idle")
        return ParseMillis(value, camera.ftpIdle);
    if (key == "stor-fail") {
        // N or "every", optionally ":STATUS" or ":drop".
        size_t colon = value.find(':');
        std::string_view which = value.substr(0, colon);
        int status = 550;
        if (colon != std::string_view::npos && value.substr(colon + 1) == "drop")
            status = kDropStor;
        else if (colon != std::string_view::npos &&
                 (!ParseNumber(value.substr(colon + 1), status) || status < 400 || status > 599))
            return false;
        int number = 0;
        if (which == "every")
            number = -1;
        else if (!ParseNumber(which, number) || number < 0)
            return false;
        camera.ftpFailStor = number;
        camera.ftpFailStatus = status;
        return true;
    }
    if (key == "after-reboot") {
        if (value == "flashed")
            return camera.afterReboot = AfterReboot::Flashed, true;
        if (value == "old")
            return camera.afterReboot = AfterReboot::OldVersion, true;
        if (value == "never")
            return camera.afterReboot = AfterReboot::NeverBack, true;
        return false;
    }
    if (key == "config-html") {
        if (value == "login")
            return camera.configurationLoginPage = true, true;
        camera.configurationLoginPage = false;
        return ParseOnOff(value, camera.configurationAsHtml);
    }
    if (key == "server")
        return camera.serverText = text, true;
    if (key == "poll-stall") {
        int seconds = 0;
        if (!ParseNumber(value, seconds) || seconds < 0)
            return false;
        return camera.pollStall = std::chrono::seconds(seconds), true;
    }
    if (key == "reset-address")
        return camera.resetAddress = text, true;
    if (key == "restore-delay")
        return ParseMillis(value, camera.restoreDelay);
    if (key == "linger")
        return ParseMillis(value, camera.versionUpLinger);
    if (key == "blip")
        return ParseNumber(value, camera.blip) && camera.blip >= 0;
    if (key == "appear-after")
        return ParseMillis(value, camera.appearAfter);
    if (key == "flash-config") {
        if (value != "reset" && value != "keep")
            return false;
        camera.keepConfigurationOnFlash = value == "keep";
        return true;
    }
    if (key == "versionup-reply") {
        if (value == "whole")
            return camera.versionUpReply = VersionUpReply::Whole, true;
        if (value == "drop")
            return camera.versionUpReply = VersionUpReply::Dropped, true;
        if (value == "half")
            return camera.versionUpReply = VersionUpReply::HalfHead, true;
        if (value == "hold")
            return camera.versionUpReply = VersionUpReply::Hold, true;
        return false;
    }
    if (key == "restore") {
        if (value == "accept")
            return camera.restoreAnswer = RestoreAnswer::Accept, camera.restoreStatus = 200, true;
        if (value == "refuse")
            return camera.restoreAnswer = RestoreAnswer::Refuse, camera.restoreStatus = 500, true;
        if (value == "cut")
            return camera.restoreAnswer = RestoreAnswer::Cut, true;
        // A status: 2xx and 3xx store the configuration, 4xx and 5xx do not.
        int status = 0;
        if (!ParseNumber(value, status) || status < 200 || status > 599)
            return false;
        camera.restoreStatus = status;
        camera.restoreAnswer = status < 400 ? RestoreAnswer::Accept : RestoreAnswer::Refuse;
        return true;
    }
    if (key == "config-end") {
        if (value == "length")
            return camera.configBodyEnd = ConfigBodyEnd::Length, true;
        if (value == "chunked")
            return camera.configBodyEnd = ConfigBodyEnd::Chunked, true;
        if (value == "close")
            return camera.configBodyEnd = ConfigBodyEnd::Close, true;
        const bool reset = value.starts_with("reset:");
        if (!reset && !value.starts_with("stall:"))
            return false;
        camera.configBodyEnd = reset ? ConfigBodyEnd::Reset : ConfigBodyEnd::Stall;
        return ParseNumber(value.substr(6), camera.configCutAfter);
    }
    if (key == "mkd")
        return value == "refuse" ? (camera.ftpRefuseMkd = true, true)
                                 : value == "accept" && (camera.ftpRefuseMkd = false, true);
    if (key == "admin")
        return ParseAccount(value, camera.users.at(0));
    if (key == "user") {
        UserAccount account;
        if (!ParseAccount(value, account))
            return false;
        // The first user= replaces the default level-4 list, later ones add.
        if (firstUser)
            camera.users.resize(1);
        firstUser = false;
        camera.users.push_back(account);
        return true;
    }
    return false;
}

}  // namespace

CameraConfig DefaultCamera(int ordinal) {
    CameraConfig camera;
    // 127.0.0.2 to 127.0.0.251, then 127.0.1.2 on: never a .0 or .255.
    camera.address =
        "127.0." + std::to_string(ordinal / 250) + "." + std::to_string(2 + ordinal % 250);
    camera.serial = std::to_string(10000001 + ordinal);
    char mac[18];
    std::snprintf(mac, sizeof mac, "08:00:46:00:%02X:%02X", ((ordinal + 1) >> 8) & 0xFF,
                  (ordinal + 1) & 0xFF);
    camera.mac = mac;
    return camera;
}

bool ApplyCameraSettings(std::string_view settings, CameraConfig& camera, std::string& error) {
    bool firstUser = true;
    while (!settings.empty()) {
        size_t comma = settings.find(',');
        std::string_view item = settings.substr(0, comma);
        settings = comma == std::string_view::npos ? "" : settings.substr(comma + 1);
        if (item.empty())
            continue;
        size_t eq = item.find('=');
        if (eq == std::string_view::npos ||
            !ApplyOne(item.substr(0, eq), item.substr(eq + 1), camera, firstUser)) {
            error = "bad camera setting \"" + std::string(item) + "\"";
            return false;
        }
    }
    return true;
}

bool ParseCommandLine(const std::vector<std::string>& args, CommandLine& out, std::string& error) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            out.help = true;
        } else if (arg == "--camera" || arg == "--cameras") {
            if (i + 1 >= args.size()) {
                error = arg + " needs a value";
                return false;
            }
            const std::string& value = args[++i];
            if (arg == "--cameras") {
                // N, optionally followed by ",SETTINGS" for every one of them.
                std::string_view text(value);
                size_t comma = text.find(',');
                int count = 0;
                if (!ParseNumber(text.substr(0, comma), count) || count < 1 ||
                    count > kMaxCameras) {
                    error = "--cameras needs a count from 1 to " + std::to_string(kMaxCameras);
                    return false;
                }
                std::string_view settings =
                    comma == std::string_view::npos ? "" : text.substr(comma + 1);
                for (int k = 0; k < count; ++k) {
                    CameraConfig camera = DefaultCamera(static_cast<int>(out.cameras.size()));
                    if (!ApplyCameraSettings(settings, camera, error))
                        return false;
                    out.cameras.push_back(std::move(camera));
                }
            } else {
                CameraConfig camera = DefaultCamera(static_cast<int>(out.cameras.size()));
                if (!ApplyCameraSettings(value, camera, error))
                    return false;
                out.cameras.push_back(std::move(camera));
            }
        } else {
            error = "unknown argument \"" + arg + "\"";
            return false;
        }
    }
    if (out.cameras.size() > static_cast<size_t>(kMaxCameras)) {
        error = "at most " + std::to_string(kMaxCameras) + " cameras";
        return false;
    }
    if (out.cameras.empty() && !out.help)
        out.cameras.push_back(DefaultCamera(0));
    return true;
}

std::string_view UsageText() {
    return R"usage(usage: vcq-camera-sim [--camera SETTINGS]... [--cameras N] [--help]

Runs stand-in network cameras until SIGINT or SIGTERM. Prints one line
"listening on ADDR:PORT, ftp ADDR:PORT" per camera once all of them
serve; a camera started with fault=refuse adds " (refusing connections)"
to its line.

  --camera SETTINGS  one camera; SETTINGS is KEY=VALUE,KEY=VALUE...
  --cameras N[,SETTINGS]
                     N cameras with default settings, each changed by
                     SETTINGS when given (--cameras 200,reboot=5000)
  --help             this text

Without settings, camera number i (from 0) is on 127.0.0.(2+i) (from the
251st on 127.0.1.2, 127.0.1.3...), port 80, serial 10000001+i and MAC
08:00:46:00:HH:LL with i+1 in hex. At most 256 cameras, as many as a
batch holds.

Keys:
  address=A.B.C.D      loopback address (127.x.y.z only)
  port=N               HTTP port; 0 picks a free one (default 80)
  product=TEXT         product name in "Server: " (default VCQCAM)
  server=TEXT          the whole "Server: " value instead of product/version
                       (server= sends no "Server: " header)
  model=TEXT           ModelName (default VCQ-R20)
  family=TEXT          the family's first model, whose lower-case name the
                       configuration file has (/home/l4/vcq-r20.cfg) whatever
                       the camera's own model (default VCQ-R20)
  serial=TEXT          Serial
  mac=XX:XX:XX:XX:XX:XX  MacAddress
  version=TEXT         SoftVersion and the "Server: " version (default 1.05;
                       any text: 3.00, 1.08, 1.09...)
  dhcp=on|off          dns=on|off
  admin=NAME:PASS      the administrator (default admin:admin)
  user=NAME:PASS       a level-4 user; repeat for more
  ftp=NAME:PASS        the FTP account (default ftpuser:ftppass)
  ftp-empty=N          list N empty FTP entries before the account
  image-memory=on|off  ImageMemoryFunc (default off)
  free=N               built-in free space in bytes (default 16777216)
  server-blank=on|off  end the "Server: " header with a blank
  huge=N               body size under fault=huge-body (default 12288)
  fault=KIND           none, refuse, silent (accepts, never answers),
                       close-mid-reply, split (head and body apart),
                       huge-body
  delay=MS             answer every HTTP request MS late (default 0)
  sysinfo=public|login answer "inq=sysinfo" without a login (default public)
                       or only with one
  ftp-port=N           FTP port; 0 picks a free one (default 21)
  ftp-on=on|off        FTP server on from the start (default off, until
                       "FtpServerFunc=on")
  ftp-login=refuse     answer every FTP login with 530 (or accept)
  stor-fail=N[:CODE]   STOR number N fails (N=every: all of them) with
                       CODE: 550 (default) before the data connection, or
                       any other (451) after the data was read; CODE drop
                       resets the data and control connections once the
                       first bytes of the file arrived
  ftp-rate=BYTES       STOR reads at most BYTES per second (0: no limit)
  ftp-idle=MS          an FTP control connection idle this long is closed
                       (default 30000)
  reboot=MS            downtime after "System=versionup" (default 2000);
                       the camera flashes the first *.img uploaded under
                       C:\system, comes back with factory settings (same
                       accounts), its FTP server off and its uploads gone
  after-reboot=KIND    flashed (the image's version; the old one without a
                       valid image), old (keeps its version), never (stays
                       down)
  next-version=TEXT    report this version after that reboot regardless
  flash-config=KIND    reset (default: the flash brings back the factory
                       settings) or keep (the settings survive the flash)
  config-html=on|off|login
                       answer the configuration download with an HTML page
                       (login: a lowercase login page with status 200)
  linger=MS            the old firmware keeps answering, with its old
                       version, for MS after accepting "System=versionup"
                       before the restart begins (default 0)
  blip=N               after "System=versionup", while the old firmware
                       still runs, the next N requests are cut without an
                       answer (default 0)
  appear-after=MS      the camera answers nothing (HTTP, FTP, discovery)
                       until MS after the simulator started (default 0)
  versionup-reply=KIND whole (204), drop (no reply), half (half a head) or
                       hold (the connection held without a word); the
                       camera restarts in every case
  poll-stall=SECONDS   the first "inq=sysinfo" after "System=versionup" is
                       answered SECONDS late (default 0)
  reset-address=IP     the versionup resets the camera to its default
                       address IP: it stops answering at its own address
                       (nothing is served at IP)
  restore-delay=MS     answer a configuration restore MS late (default 0)
  restore=KIND         accept (default), refuse (500, settings kept),
                       cut (closes without a status line, settings kept)
                       or a status: 200 to 399 store the configuration
                       (a 3xx with a Location, as a web form redirects),
                       400 to 599 keep the camera's settings
  config-end=KIND      how the configuration download ends: length
                       (Content-Length, default), chunked, close (no
                       length; an orderly close ends it), reset:N (no
                       length; the connection is reset after N bytes) or
                       stall:N (no length; silent after N bytes, never
                       closing)
  mkd=refuse           answer every MKD with 550, creating nothing (or accept)
  status=TOPIC:CODE    answer a request with CODE instead, TOPIC being an
                       inquiry (inq=sysinfo) or a path (/command/main.cgi,
                       /home/l4/vcq-r20.cfg); the request then has no other
                       effect (no reboot, no restore); repeat for more

Every camera runs a web server and an FTP server (active mode only; data
connections go only to 127.0.0.0/8). Inside tests/isolated one discovery
responder on UDP 2380 answers for all cameras, silent while one reboots.

Names and passwords cannot contain ",". Ports below 1024 and addresses
other than 127.0.0.1 need the private network of tests/isolated; outside
it, give address=127.0.0.1,port=0,ftp-port=0.
)usage";
}

}  // namespace vcq::sim
