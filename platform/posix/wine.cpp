#include "platform/wine.h"

namespace quillet::platform {

bool running_under_wine() { return false; }

}  // namespace quillet::platform
