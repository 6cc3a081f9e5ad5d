// The sample contents the previews show: texts in the boxes, two rows in the main
// window's list and its update link, so that clipping and overlaps show.
#pragma once

#include <string_view>

#include "ui/window_layer.h"

namespace quillet::form_preview {

// Fills the open window `name` with its samples.
void fill_with_samples(ui::WindowLayer& windows, std::string_view name);
// Fills the open sync window as for a WebDAV folder (a Nextcloud URL), connected.
void fill_with_webdav_samples(ui::WindowLayer& windows);

}  // namespace quillet::form_preview
