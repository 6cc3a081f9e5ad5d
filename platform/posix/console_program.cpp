#include "platform/console_program.h"

namespace quillet::platform {

std::vector<std::string> start_console_program(int argc, char** argv) { return {argv, argv + argc}; }

}  // namespace quillet::platform
