// The CLAP editor's size. CLAP counts an embedded editor's size in physical
// pixels on Windows and X11: the page's size times the scale the host gave
// (gui.set_scale; 1 when it gave none) times the musician's zoom. The zoom
// rules are every editor's (webui/page_zoom.h); this is what the gui
// extension's size calls make of them.
#pragma once

#include <cstdint>

#include <clap/clap.h>

#include "webui/page_zoom.h"

namespace yawp::clap {

class EditorSize {
public:
    // Window sides beyond this are no size any window system makes.
    static constexpr uint32_t kLargestSide = 32767;

    // [main-thread] The page at scale 1 and the zoom the musician left.
    explicit EditorSize(double zoom);

    // [main-thread] The host's scale. The size follows at the same zoom.
    // False, with nothing changed, for a scale no display has.
    bool set_scale(double scale);
    double scale() const { return scale_; }
    // Whether the host gave a scale at all: without one, the Linux editor
    // goes by the desktop's settings.
    bool scale_given() const { return scale_given_; }

    // [main-thread] The size the editor has, and the zoom it stands for.
    page_zoom::Size size() const { return size_; }
    double zoom() const { return zoom_; }

    // [main-thread] The size the page fills nearest to one the host
    // proposes (gui.adjust_size). False when a pointer is null.
    bool adjust(uint32_t* width, uint32_t* height) const;

    // [main-thread] The host gave the editor this size (gui.set_size); the
    // zoom becomes the one at which the page fits it. False, with nothing
    // changed, for an empty or impossible size.
    bool set(uint32_t width, uint32_t height);

    // [any-thread] What gui.get_resize_hints tells: either side may change,
    // always in the page's proportions.
    static clap_gui_resize_hints_t resize_hints();

private:
    double scale_ = 1.0;
    bool scale_given_ = false;
    double zoom_;
    page_zoom::Size size_;
};

}  // namespace yawp::clap
