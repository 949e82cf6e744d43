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
    return BroadcastAllowed(BroadcastGuardBuilt(), InsideIsolatedNetwork(), allowedByFlag);
}

bool BroadcastGuardBuilt() {
    return VCQ_BROADCAST_GUARD != 0;
}

bool InsideIsolatedNetwork() {
    const char* flag = std::getenv("VCQ_ISOLATED");
    return flag != nullptr && std::strcmp(flag, "1") == 0;
}

}  // namespace vcq
