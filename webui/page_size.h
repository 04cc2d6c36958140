// The editor page's own size in pixels: its layout is built for it, and
// every editor (both formats, both platforms) asks its host for it first.
// The page scales as a whole to other sizes.
#pragma once

namespace yawp::page_size {

inline constexpr int kWidth = 700;
inline constexpr int kHeight = 677;

}  // namespace yawp::page_size
