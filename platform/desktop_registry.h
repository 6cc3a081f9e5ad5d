// How a desktop layer (platform/x11 with platform/qt, or platform/win32/desktop) makes its
// clipboard, hot keys, typist and desk events the system ones. Without a desktop layer
// linked in, the system ones do nothing: copies fail, keys are refused, nothing is typed
// and the desk is never left.
#pragma once

#include "platform/clipboard.h"
#include "platform/desk_events.h"
#include "platform/hot_keys.h"
#include "platform/typist.h"

namespace quillet::platform {

// Called while static objects are initialised; the objects live for the whole program.
void register_system_clipboard(Clipboard* system);
void register_system_hot_keys(HotKeys* system);
void register_system_typist(Typist* system);
void register_system_desk_events(DeskEvents* system);

}  // namespace quillet::platform
