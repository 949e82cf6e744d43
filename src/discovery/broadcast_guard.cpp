#include "discovery/broadcast_guard.h"

#include <cstdlib>
#include <cstring>

#ifndef VCQ_BROADCAST_GUARD
#error "VCQ_BROADCAST_GUARD comes from CMake (option VCQ_BROADCAST_GUARD)"
#endif

namespace vcq {

bool BroadcastAllowed(bool guardBuilt, bool insideIsolatedNetwork, bool allowedByFlag) {
    return !guardBuilt || insideIsolatedNetwork || allowedByFlag;
}

bool BroadcastAllowed(bool allowedByFlag) {
#ifdef _WIN32
    // No private network proves anything on Windows, nor does a flag: a
    // development build never broadcasts there.
    (void)allowedByFlag;
    return !BroadcastGuardBuilt();
#else
    return BroadcastAllowed(BroadcastGuardBuilt(), InsideIsolatedNetwork(), allowedByFlag);
#endif
}

bool BroadcastGuardBuilt() {
    return VCQ_BROADCAST_GUARD != 0;
}

bool InsideIsolatedNetwork() {
#ifdef _WIN32
    return false;  // tests/isolated is a Linux namespace; the variable proves nothing here
#endif
    const char* flag = std::getenv("VCQ_ISOLATED");
    return flag != nullptr && std::strcmp(flag, "1") == 0;
}

}  // namespace vcq
