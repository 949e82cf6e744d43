// Checks a configuration restore as the camera received it, whichever
// transport sent it. libcurl sends the headers as we list them; WinINet adds
// Host, User-Agent and Content-Length where it likes. What must hold on both:
// the request line, our headers in our order, Host and User-Agent, no header
// twice, and the form byte for byte.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

namespace vcq::test {

struct RestoreForm {
    std::string boundary;
    std::string head;
    std::string tail;
};

inline RestoreForm CheckRestoreRequest(const std::string& request, const std::string& host,
                                       const std::string& config) {
    RestoreForm form;
    const size_t end = request.find("\r\n\r\n");
    if (end == std::string::npos) {
        ADD_FAILURE() << "no end of headers";
        return form;
    }
    std::vector<std::string> lines;
    for (size_t at = 0; at < end;) {
        size_t next = request.find("\r\n", at);
        lines.push_back(request.substr(at, next - at));
        at = next + 2;
    }
    EXPECT_EQ(lines.at(0), "POST /command/all-configuration.cgi HTTP/1.1");

    std::map<std::string, std::string> values;
    std::vector<std::string> names;
    for (size_t i = 1; i < lines.size(); ++i) {
        size_t colon = lines[i].find(": ");
        std::string name = lines[i].substr(0, colon);
        EXPECT_TRUE(values.count(name) == 0) << name << " sent twice";
        values[name] = colon == std::string::npos ? "" : lines[i].substr(colon + 2);
        names.push_back(name);
    }
    const std::string typePrefix = "multipart/form-data; boundary=";
    const std::string& type = values["Content-Type"];
    EXPECT_EQ(type.rfind(typePrefix, 0), 0u) << type;
    form.boundary = type.substr(std::min(type.size(), typePrefix.size()));
    form.head = "\r\n" + form.boundary +
                "\r\nContent-Disposition: form-data; name=\"Restore\"; filename=\"temp.cfg\"\r\n"
                "Content-Type: application/octet-stream\r\n\r\n";
    form.tail = "\r\n" + form.boundary + "--\r\n\r\n";

    // The first seven are added by us, in this order; the last three by the library.
    const std::vector<std::pair<std::string, std::string>> sent = {
        {"Accept",
         "image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, application/x-shockwave-flash, "
         "application/vnd.ms-excel, application/vnd.ms-powerpoint, application/msword, */*"},
        {"Content-Type", type},
        {"Accept-Encoding", "gzip, deflate"},
        {"Connection", "Keep-Alive"},
        {"Proxy-Connection", "Keep-Alive"},
        {"Cache-Control", "no-cache"},
        {"Authorization", "Basic AAAAAAAAAAAAAAA="},
        {"Host", host},
        {"User-Agent", "VCQ Upgrade Tool"},
        {"Content-Length", std::to_string(form.head.size() + config.size() + form.tail.size())},
    };
    size_t order = 0;
    for (size_t i = 0; i < sent.size(); ++i) {
        const auto& [name, value] = sent[i];
        EXPECT_EQ(values.count(name) ? values[name] : "<missing>", value) << name;
        auto at = std::find(names.begin(), names.end(), name);
        size_t index = static_cast<size_t>(at - names.begin());
        if (i < 7) {
            EXPECT_TRUE(at != names.end() && index >= order) << name << " out of order";
            order = index;
        }
    }
    EXPECT_EQ(names.size(), sent.size()) << "headers nobody asked for";
    EXPECT_TRUE(request.substr(end + 4) == form.head + config + form.tail) << "form differs";
    return form;
}

}  // namespace vcq::test
