// Shared by the libcurl transfers of this folder; not for use above it.
#pragma once

#include <curl/curl.h>

#include <memory>

namespace vcq::curl {

struct EasyDeleter {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
using Easy = std::unique_ptr<CURL, EasyDeleter>;

// A new easy handle, libcurl started once per process first; null on failure.
Easy NewEasy();

}  // namespace vcq::curl
