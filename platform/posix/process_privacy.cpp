// A core file would hold the session password and the engine's keys in plain bytes, and
// ptrace or /proc/PID/mem would let any program of the same user read them live.
// Neither call can fail for a process lowering its own limits, so nothing is reported.
#include "platform/process_privacy.h"

#include <sys/prctl.h>
#include <sys/resource.h>

namespace quillet::platform {

void keep_process_memory_private() {
    const rlimit no_core{0, 0};
    setrlimit(RLIMIT_CORE, &no_core);
    prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
}

}  // namespace quillet::platform
