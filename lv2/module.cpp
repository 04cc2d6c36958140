// The LV2 module's only translation unit of its own: everything else comes
// from the yawp_lv2 library, linked whole so that the exported descriptor
// function is kept.
