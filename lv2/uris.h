// The plug-in's own URIs. The plug-in URI is permanent once shipped: hosts
// store it in every session, and the state key and UI URI derive from it.
#pragma once

#define YAWP_LV2_URI "https://tallow.audio/plugins/yawp-wah"
#define YAWP_LV2_STATE_KEY YAWP_LV2_URI "#state_data"
#define YAWP_LV2_UI_URI YAWP_LV2_URI "#ui"
