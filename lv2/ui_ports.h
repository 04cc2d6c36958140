// The page's side of the control ports, shared by both LV2 UIs (the Windows
// one and the Linux one): the page's gestures go to the host as runs of
// port writes between touch notifications, so that a host can record each
// as one edit; the host's port events come back as page values.
#pragma once

#include <cstdint>

#include <lv2/ui/ui.h>

namespace yawp::lv2 {

struct UiPortWriter {
    LV2UI_Write_Function write = nullptr;
    LV2UI_Controller controller = nullptr;
    LV2UI_Touch touch{};

    // [main-thread] Takes the host's touch feature (if it carries data);
    // without it edits come without notifications.
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

// [main-thread] A host's port event as the page shows it: hosts send control
// values as floats; the meters pass through unchanged, the inputs as the
// plug-in itself would read them. False for a port that is not a control.
bool page_value_of_port(uint32_t port, const void* buffer, uint32_t* index, float* value);

}  // namespace yawp::lv2
