// The update notice: when the main window opens, the update service is asked on a
// worker thread whether a newer version exists; if so, the red link 透明标签1 shows,
// and pressing it opens the download address in the browser.
#pragma once

#include "app/app_state.h"
#include "net/version_check_client.h"

namespace quillet::app {

// Binds the check to the main window's created event (bind it after the other
// created-event steps) and the link's press. Also routes the client's messages to
// message boxes on the window thread. The client's background checks post to the
// window layer, so the client must end before the layer does.
void bind_update_notice(AppState& state, net::VersionCheckClient& client);

}  // namespace quillet::app
