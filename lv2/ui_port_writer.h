// How both LV2 UIs (the Windows one and the Linux one) hand the page's
// gestures to the host: each gesture is a run of control-port writes
// between touch notifications, so that a host can record it as one edit.
#pragma once

#include <cstdint>

#include <lv2/ui/ui.h>

namespace yawp::lv2 {

struct UiPortWriter {
    LV2UI_Write_Function write = nullptr;
    LV2UI_Controller controller = nullptr;
    bool touch_available = false;
    LV2UI_Touch touch{};

    // [main-thread] Takes the touch feature from the host's features, if
    // it is there; without it edits come without notifications.
    void take_touch(const LV2_Feature* feature);

    // [main-thread] The page's plain value of an input parameter becomes
    // what its port holds, by the port's own rule; that rule is its own
    // inverse on the enable port, so the page's bypass 1 writes 0 there.
    // The meters are not the page's to change: other indices are ignored.
    void begin(uint32_t index, float value);
    void perform(uint32_t index, float value);
    void end(uint32_t index, float value);

private:
    void write_port(uint32_t port, float value);
    void notify(uint32_t port, bool grabbed);
};

}  // namespace yawp::lv2
