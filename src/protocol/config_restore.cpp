// The configuration restore: a multipart form to the camera's configuration CGI.
#include <chrono>

#include "protocol/cgi_client.h"

namespace vcq {
namespace {

constexpr size_t kPiece = 1460;  // one Ethernet segment of payload
constexpr const char* kAgent = "VCQ Upgrade Tool";
// The camera's factory-default administrator: after the upgrade the camera
// has forgotten the operator's account until its configuration is back.
constexpr const char* kFactoryToken = "Authorization: Basic AAAAAAAAAAAAAAA=";

}  // namespace

std::string RestoreBoundary(long long secondsSince1970) {
    return std::string(27, '-') + "7d" + std::to_string(secondsSince1970);
}

void CgiClient::SetRestoreData(const char* data, uint32_t size) {
    restoreData_ = data;
    restoreSize_ = size;
}

int CgiClient::RestoreConfiguration() {
    restoreWrites_.clear();
    restoreError_.clear();
    restoreStatus_ = 0;
    net::Endpoint camera;
    if (!ParseHostText(hostText_, camera)) {
        restoreError_ = "\"" + hostText_ + "\" is not an IPv4 address with an optional port";
        return -1;
    }

    const auto now = std::chrono::system_clock::now().time_since_epoch();
    const std::string boundary =
        RestoreBoundary(std::chrono::duration_cast<std::chrono::seconds>(now).count());
    const std::string head =
        "\r\n" + boundary +
        "\r\nContent-Disposition: form-data; name=\"Restore\"; "
        "filename=\"temp.cfg\"\r\nContent-Type: application/octet-stream\r\n\r\n";
    const std::string tail = "\r\n" + boundary + "--\r\n\r\n";
    const size_t total = head.size() + tail.size() + restoreSize_;

    const std::vector<std::string> headers = {
        "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, "
        "application/x-shockwave-flash, application/vnd.ms-excel, "
        "application/vnd.ms-powerpoint, application/msword, */*",
        "Content-Type: multipart/form-data; boundary=" + boundary,
        "Accept-Encoding: gzip, deflate",
        "Connection: Keep-Alive",
        "Proxy-Connection: Keep-Alive",
        "Cache-Control: no-cache",
        "Content-Length: " + std::to_string(total),
        kFactoryToken,
    };

    // Head, the configuration in pieces (an empty piece after an exact
    // multiple), tail.
    std::vector<std::string_view> writes = {head};
    size_t at = 0;
    do {
        size_t n = std::min(kPiece, restoreSize_ - at);
        writes.emplace_back(restoreData_ ? restoreData_ + at : "", n);
        at += n;
        if (n < kPiece)
            break;
    } while (true);
    writes.push_back(tail);

    const std::string url = "http://" + hostText_ + "/command/all-configuration.cgi";
    http::PostResult result = http::Post(
        url, kAgent, headers, writes,
        [&](size_t index) { restoreWrites_.push_back(writes[index].size()); }, restoreLimits_);
    restoreStatus_ = result.status;
    switch (result.outcome) {
        case http::PostResult::Outcome::Ok:
            // A refused configuration must stay in its backup file; but a
            // web form's usual yes is a redirect, so 3xx counts as taken.
            if (result.status >= 200 && result.status < 400)
                return 0;
            restoreError_ =
                "the camera refused the configuration (HTTP " + std::to_string(result.status) + ")";
            return -3;
        case http::PostResult::Outcome::EndFailed:
            restoreError_ = "the camera did not answer the restore whole: " + result.error;
            return -2;
        default:
            restoreError_ = "the configuration could not be sent: " + result.error;
            return -1;
    }
}

}  // namespace vcq
