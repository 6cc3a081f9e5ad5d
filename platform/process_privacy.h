// Keeping the process's memory, and the passwords in it, away from other programs.
#pragma once

namespace quillet::platform {

// No core dump is written, and other processes of the same user can neither attach a
// debugger nor read the memory. Called first thing in main().
void keep_process_memory_private();

}  // namespace quillet::platform
