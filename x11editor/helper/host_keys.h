// Keys the page does not use go to the host, as they would have if the
// editor had not been there: an X key event sent to the host's top-level
// window, so that the host's shortcuts (the space bar's play and stop
// first) keep working while the musician's pointer is over the editor.
#pragma once

#include "webui/page_messages.h"

// Sends the key to the top-level window that holds `parent` (the window
// the helper lives in), pressed or released. Keys X has no key for on this
// keyboard are dropped.
void host_keys_send(unsigned long parent, const yawp::page_messages::PageKey& key, bool press);
