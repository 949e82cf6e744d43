#include "cgi_handlers.h"

#include <cctype>

#include "base64.h"

namespace vcq::sim {
namespace {

const char* OnOff(bool on) {
    return on ? "on" : "off";
}

std::string SysUserBody(const CameraConfig& config) {
    // Every token is followed by ",", so even a lone administrator's token
    // ends where a client looking for the next "," expects it to.
    std::string body = "SysUserSet=";
    for (const auto& user : config.users)
        body += BasicToken(user.name, user.password) + ",";
    return body;
}

std::string SysInfoBody(const CameraConfig& config) {
    // Every key a client reads is followed by "&", so none of them runs to
    // the end of the reply.
    return "ModelName=" + config.model + "&SoftVersion=" + config.softVersion +
           "&Serial=" + config.serial + "&ProductName=" + config.productName +
           "&Dhcp=" + OnOff(config.dhcp) + "&DnsAuto=" + OnOff(config.dnsAuto);
}

std::string TcpIpBody(const CameraConfig& config) {
    return "Ip=" + config.address + "&MacAddress=" + config.mac + "&Dhcp=" + OnOff(config.dhcp) +
           "&DnsAuto=" + OnOff(config.dnsAuto) + "&HttpPort=" + std::to_string(config.httpPort);
}

std::string FtpUserBody(const CameraConfig& config) {
    std::string body;
    int key = 1;
    for (; key <= config.ftpEmptyEntries; ++key)
        body += "FtpUser" + std::to_string(key) + "=,&";
    return body + "FtpUser" + std::to_string(key) + "=" + config.ftpUser.name + "," +
           config.ftpUser.password;
}

HttpReply Inquiry(const HttpRequest& request, const CameraConfig& config, CameraState&) {
    if (!IsAuthorized(request, config))
        return Unauthorized();
    std::string_view body = request.body;
    if (!body.starts_with("inq="))
        return HttpReply{400, "text/plain", "no inquiry"};
    body.remove_prefix(4);
    auto reply = InquiryBody(body.substr(0, body.find('&')), config);
    if (!reply)
        return HttpReply{400, "text/plain", "unknown inquiry"};
    return HttpReply{200, "text/plain", *reply};
}

HttpReply NoContent() {
    return HttpReply{204, "text/plain", ""};
}

HttpReply FtpServer(const HttpRequest& request, const CameraConfig& config, CameraState& camera) {
    if (!IsAuthorized(request, config))
        return Unauthorized();
    if (request.body != "FtpServerFunc=on" && request.body != "FtpServerFunc=off")
        return HttpReply{400, "text/plain", "unknown setting"};
    bool on = request.body.ends_with("on");
    camera.Update([on](CameraConfig& c) { c.ftpServerOn = on; });
    return NoContent();
}

HttpReply Main(const HttpRequest& request, const CameraConfig& config, CameraState& camera) {
    if (!IsAuthorized(request, config))
        return Unauthorized();
    if (request.body != "System=versionup")
        return HttpReply{400, "text/plain", "unknown command"};
    // The reply still goes out on this connection; new ones are refused
    // until the camera is back.
    camera.Reboot(config.rebootDowntime, [](CameraConfig& c) {
        if (!c.versionAfterUpgrade.empty())
            c.softVersion = c.versionAfterUpgrade;
    });
    return NoContent();
}

HttpReply Configuration(const HttpRequest& request, const CameraConfig& config, CameraState&) {
    if (request.Path() != ConfigurationPath(config))
        return NotFound();
    if (!IsAuthorized(request, config))
        return Unauthorized();
    return HttpReply{200, "application/octet-stream", ConfigurationFile(config)};
}

HttpReply Restore(const HttpRequest& request, const CameraConfig& config, CameraState& camera) {
    auto authorization = request.Header("Authorization");
    bool factory = authorization && *authorization == "Basic " + config.factoryToken;
    if (!factory && !IsAuthorized(request, config))
        return Unauthorized();
    auto file = UploadedFile(request);
    if (!file)
        return HttpReply{400, "text/html", "<HTML>No configuration file</HTML>"};
    camera.Update([&file](CameraConfig& c) { c.restoredConfiguration = std::move(*file); });
    return HttpReply{200, "text/html", "<HTML>Configuration restored</HTML>"};
}

}  // namespace

std::string ConfigurationPath(const CameraConfig& config) {
    std::string name = config.model;
    for (char& c : name)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return "/home/l4/" + name + ".cfg";
}

std::string ConfigurationFile(const CameraConfig& config) {
    if (!config.configuration.empty())
        return config.configuration;
    std::string file = "VCQ configuration\r\nmodel " + config.model + "\r\nserial " +
                       config.serial + "\r\nmac " + config.mac + "\r\n";
    // Binary bytes too, so that a transfer which treats the file as text shows.
    for (int i = 0; i < 256; ++i)
        file += static_cast<char>(i);
    return file;
}

std::optional<std::string> UploadedFile(const HttpRequest& request) {
    auto type = request.Header("Content-Type");
    const std::string_view marker = "boundary=";
    if (!type || type->find(marker) == std::string::npos)
        return std::nullopt;
    std::string boundary = type->substr(type->find(marker) + marker.size());
    if (boundary.size() >= 2 && boundary.front() == '"' && boundary.back() == '"')
        boundary = boundary.substr(1, boundary.size() - 2);
    if (boundary.empty())
        return std::nullopt;
    const std::string& body = request.body;
    // Boundary lines may be the boundary alone or "--" and the boundary.
    size_t first = body.find(boundary);
    if (first == std::string::npos)
        return std::nullopt;
    size_t start = body.find("\r\n\r\n", first);
    size_t last = body.rfind(boundary);
    if (start == std::string::npos || last <= first)
        return std::nullopt;
    start += 4;
    size_t end = last;
    if (end >= 2 && body.compare(end - 2, 2, "--") == 0)
        end -= 2;
    if (end >= 2 && body.compare(end - 2, 2, "\r\n") == 0)
        end -= 2;
    if (end < start)
        return std::nullopt;
    return body.substr(start, end - start);
}

bool IsAuthorized(const HttpRequest& request, const CameraConfig& config) {
    auto header = request.Header("Authorization");
    if (!header || !header->starts_with("Basic "))
        return false;
    std::string_view token = std::string_view(*header).substr(6);
    for (const auto& user : config.users)
        if (token == BasicToken(user.name, user.password))
            return true;
    return false;
}

std::optional<std::string> InquiryBody(std::string_view topic, const CameraConfig& config) {
    if (topic == "sysuser")
        return SysUserBody(config);
    if (topic == "sysinfo")
        return SysInfoBody(config);
    if (topic == "imagememory")
        return std::string("ImageMemoryFunc=") + OnOff(config.imageMemoryOn);
    if (topic == "builtin")
        return "BuiltIn=Free space : " + std::to_string(config.builtInFreeBytes) + " byte";
    if (topic == "tcpip")
        return TcpIpBody(config);
    if (topic == "ftpuser")
        return FtpUserBody(config);
    return std::nullopt;
}

HttpReply Unauthorized() {
    // An HTML page, as a real camera answers; the configuration download
    // recognises such a page by its "<HTML>".
    return HttpReply{401, "text/html", "<HTML><BODY>401 Unauthorized</BODY></HTML>"};
}

void InstallCameraCgi(Router& router) {
    router.Add("POST", "/command/inquiry.cgi", Inquiry);
    router.Add("POST", "/command/ftpserver.cgi", FtpServer);
    router.Add("POST", "/command/main.cgi", Main);
    router.Add("POST", "/command/all-configuration.cgi", Restore);
    router.AddPrefix("GET", "/home/l4/", Configuration);
}

}  // namespace vcq::sim
