// Whether discovery may broadcast its enquiry to the whole segment. A
// development build (VCQ_BROADCAST_GUARD on, the default) broadcasts only
// inside the private test network of tests/isolated (VCQ_ISOLATED=1) or when
// the operator asked for it; a release build broadcasts at start-up, as the
// product must. On Windows a development build never broadcasts.
#pragma once

namespace vcq {

bool BroadcastAllowed(bool guardBuilt, bool insideIsolatedNetwork, bool allowedByFlag);

// The same with this build's guard and this process's environment.
bool BroadcastAllowed(bool allowedByFlag);

bool BroadcastGuardBuilt();
bool InsideIsolatedNetwork();  // VCQ_ISOLATED=1

}  // namespace vcq
