// The accessors of the clipboard, hot keys, typist and desk events. Each keeps two pointers: the
// system object a desktop layer registered and a test's replacement; the replacement wins.
#include "platform/desktop_registry.h"

#include <atomic>

namespace quillet::platform {
namespace {

class NoClipboard : public Clipboard {
  public:
    bool set_text(const std::string&, Sensitivity) override { return false; }
    void clear_secret() override {}
    bool holds_secret() override { return false; }
    void set_secret_lifetime_ms(int) override {}
};

class NoHotKeys : public HotKeys {
  public:
    bool grab(HotKey, std::function<void()>) override { return false; }
    void release(HotKey) override {}
};

class NoTypist : public Typist {
  public:
    DesktopWindow window_under_pointer() override { return 0; }
    bool type_text(DesktopWindow, const std::string&) override { return false; }
    DesktopWindow top_level_of(DesktopWindow) override { return 0; }
    void press_tab() override {}
};

class NoDeskEvents : public DeskEvents {
  public:
    void watch(std::function<void()>) override {}
    void stop() override {}
};

template <typename Service>
class Slot {
  public:
    Service& get(Service& fallback) const {
        if (Service* replacement = replacement_.load(std::memory_order_acquire)) return *replacement;
        Service* system = system_.load(std::memory_order_acquire);
        return system ? *system : fallback;
    }
    void set_system(Service* system) { system_.store(system, std::memory_order_release); }
    void set_replacement(Service* replacement) { replacement_.store(replacement, std::memory_order_release); }

  private:
    std::atomic<Service*> system_{nullptr};
    std::atomic<Service*> replacement_{nullptr};
};

// Constant-initialised, so a desktop layer may register from its own static initialisers.
constinit Slot<Clipboard> clipboard_slot;
constinit Slot<HotKeys> hot_keys_slot;
constinit Slot<Typist> typist_slot;
constinit Slot<DeskEvents> desk_events_slot;

}  // namespace

Clipboard& clipboard() {
    static NoClipboard none;
    return clipboard_slot.get(none);
}
void set_clipboard(Clipboard* replacement) { clipboard_slot.set_replacement(replacement); }
void register_system_clipboard(Clipboard* system) { clipboard_slot.set_system(system); }

HotKeys& hot_keys() {
    static NoHotKeys none;
    return hot_keys_slot.get(none);
}
void set_hot_keys(HotKeys* replacement) { hot_keys_slot.set_replacement(replacement); }
void register_system_hot_keys(HotKeys* system) { hot_keys_slot.set_system(system); }

Typist& typist() {
    static NoTypist none;
    return typist_slot.get(none);
}
void set_typist(Typist* replacement) { typist_slot.set_replacement(replacement); }
void register_system_typist(Typist* system) { typist_slot.set_system(system); }

DeskEvents& desk_events() {
    static NoDeskEvents none;
    return desk_events_slot.get(none);
}
void set_desk_events(DeskEvents* replacement) { desk_events_slot.set_replacement(replacement); }
void register_system_desk_events(DeskEvents* system) { desk_events_slot.set_system(system); }

}  // namespace quillet::platform
