#include "core/secrets.h"

#include <sys/prctl.h>
#include <sys/resource.h>

namespace tl {

bool keepSecretsOutOfCoreDumps()
{
    // No core file of any size, and not dumpable at all: a core pattern that
    // pipes to a handler (systemd-coredump) ignores the size limit but not
    // this flag.
    const rlimit none{0, 0};
    const bool limited = ::setrlimit(RLIMIT_CORE, &none) == 0;
    const bool undumpable = ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0) == 0;
    return limited && undumpable;
}

} // namespace tl
