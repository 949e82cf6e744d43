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
    const bool open = config.publicSysinfo && request.body == "inq=sysinfo";
    if (!open && !IsAuthorized(request, config))
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
    camera.VersionUp();
    HttpReply reply = NoContent();
    if (config.versionUpReply == VersionUpReply::Dropped)
        reply.cut = HttpReply::Cut::BeforeStatus;
    else if (config.versionUpReply == VersionUpReply::HalfHead)
        reply.cut = HttpReply::Cut::MidHead;
    else if (config.versionUpReply == VersionUpReply::Hold)
        reply.cut = HttpReply::Cut::Hold;
    return reply;
}

HttpReply Configuration(const HttpRequest& request, const CameraConfig& config, CameraState&) {
    if (request.Path() != ConfigurationPath(config))
        return NotFound();
    auto header = request.Header("Authorization");
    const UserAccount& admin = config.users.at(0);
    if (!header || *header != "Basic " + BasicToken(admin.name, admin.password))
        return Unauthorized();
    if (config.configurationLoginPage)
        return HttpReply{200, "text/html",
                         "<!DOCTYPE html><html><head><title>Login</title></head><body><form "
                         "method=\"post\" action=\"/login\"><input name=\"user\"><input "
                         "name=\"password\" type=\"password\"></form></body></html>"};
    if (config.configurationAsHtml)
        return HttpReply{200, "text/html", "<HTML><BODY>Settings are not available</BODY></HTML>"};
    HttpReply reply{200, "application/octet-stream", ConfigurationFile(config)};
    switch (config.configBodyEnd) {
        case ConfigBodyEnd::Length:
            break;
        case ConfigBodyEnd::Chunked:
            reply.bodyEnd = HttpReply::BodyEnd::Chunked;
            break;
        case ConfigBodyEnd::Close:
            reply.bodyEnd = HttpReply::BodyEnd::Close;
            break;
        case ConfigBodyEnd::Reset:
            reply.bodyEnd = HttpReply::BodyEnd::Reset;
            reply.cutAfter = config.configCutAfter;
            break;
        case ConfigBodyEnd::Stall:
            reply.bodyEnd = HttpReply::BodyEnd::Stall;
            reply.cutAfter = config.configCutAfter;
            break;
    }
    return reply;
}

HttpReply Restore(const HttpRequest& request, const CameraConfig& config, CameraState& camera) {
    auto authorization = request.Header("Authorization");
    if (!authorization || *authorization != "Basic " + config.factoryToken)
        return Unauthorized();
    auto file = RestoreFormData(request);
    if (!file)
        return HttpReply{400, "text/html", "<HTML>Not a configuration form</HTML>"};
    if (config.restoreAnswer == RestoreAnswer::Refuse)
        return HttpReply{config.restoreStatus >= 400 ? config.restoreStatus : 500, "text/html",
                         "<HTML>Configuration not accepted</HTML>"};
    if (config.restoreAnswer == RestoreAnswer::Cut) {
        HttpReply cut;
        cut.cut = HttpReply::Cut::BeforeStatus;
        return cut;
    }
    camera.Update([&file](CameraConfig& c) {
        c.restoredConfiguration = *file;
        c.configuration = std::move(*file);
    });
    const int status = config.restoreStatus < 400 ? config.restoreStatus : 200;
    if (status == 204)
        return NoContent();
    HttpReply reply{status, "text/html", "<HTML>Configuration restored</HTML>"};
    // A web form's usual answer: back to the camera's settings page.
    if (status >= 300 && status < 400)
        reply.headers.emplace_back("Location", "/admin/index.html");
    return reply;
}

}  // namespace

std::string ConfigurationPath(const CameraConfig& config) {
    std::string name = config.familyModel;
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

std::string FactoryConfigurationFile(const CameraConfig& config) {
    if (!config.factoryConfiguration.empty())
        return config.factoryConfiguration;
    return "VCQ configuration\r\nfactory defaults\r\nmodel " + config.model + "\r\nserial " +
           config.serial + "\r\n";
}

std::optional<std::string> RestoreFormData(const HttpRequest& request) {
    auto type = request.Header("Content-Type");
    const std::string prefix = "multipart/form-data; boundary=";
    const std::string lead = std::string(27, '-') + "7d";
    if (!type || !type->starts_with(prefix))
        return std::nullopt;
    std::string boundary = type->substr(prefix.size());
    if (boundary.size() <= lead.size() || !boundary.starts_with(lead) ||
        boundary.find_first_not_of("0123456789", lead.size()) != std::string::npos)
        return std::nullopt;
    auto length = request.Header("Content-Length");
    if (!length || *length != std::to_string(request.body.size()))
        return std::nullopt;
    const std::string head =
        "\r\n" + boundary +
        "\r\nContent-Disposition: form-data; name=\"Restore\"; "
        "filename=\"temp.cfg\"\r\nContent-Type: application/octet-stream\r\n\r\n";
    const std::string tail = "\r\n" + boundary + "--\r\n\r\n";
    const std::string& body = request.body;
    if (body.size() < head.size() + tail.size() || !body.starts_with(head) || !body.ends_with(tail))
        return std::nullopt;
    return body.substr(head.size(), body.size() - head.size() - tail.size());
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
