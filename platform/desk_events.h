// The user leaving the desk: the screen locked, the machine about to sleep, the session
// switched away. Replaceable so that tests leave the desk without a desktop.
#pragma once

#include <functional>

namespace quillet::platform {

class DeskEvents {
  public:
    virtual ~DeskEvents() = default;
    // Calls `left` on the window thread each time the user leaves the desk, until stop().
    // While watching, a suspend waits (as long as the system allows) for stop(), so that
    // what `left` does is done before the machine sleeps. Nothing happens, quietly, where
    // the system does not tell. Window thread only.
    virtual void watch(std::function<void()> left) = 0;
    // Stops watching and lets a suspend that waited for it go on; nothing when not watching.
    virtual void stop() = 0;
};

DeskEvents& desk_events();
void set_desk_events(DeskEvents* replacement);  // not owned; nullptr restores the system's

}  // namespace quillet::platform
