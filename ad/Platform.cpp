#include "ad/Platform.h"

#include <iads.h>
#include <adshlp.h>

namespace AD {

const PlatformCalls RealPlatform = {
    &ADsGetObject, &ADsGetLastError, &ADsBuildVarArrayStr,
    &GetTickCount, &Sleep,           &MessageBoxW,
};

PlatformCalls Platform = RealPlatform;

}  // namespace AD
