#include "resources/embedded.h"

#if !defined(VCQ_STAND_IN_PACKAGE) || !defined(VCQ_PROGRAM_VERSION)
#error "VCQ_STAND_IN_PACKAGE and VCQ_PROGRAM_VERSION come from resources/CMakeLists.txt"
#endif

namespace vcq::res {

bool StandInPackage() {
    return VCQ_STAND_IN_PACKAGE != 0;
}

const char* ProgramVersion() {
    return VCQ_PROGRAM_VERSION;
}

}  // namespace vcq::res
