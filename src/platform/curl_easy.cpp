#include "platform/curl_easy.h"

#include <mutex>

namespace vcq::curl {

Easy NewEasy() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    return Easy(curl_easy_init());
}

}  // namespace vcq::curl
