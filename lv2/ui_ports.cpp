#include "lv2/ui_ports.h"

#include <cstring>

#include "lv2/ports.h"

namespace yawp::lv2 {
namespace {

constexpr uint32_t kFloatProtocol = 0;  // the only protocol the UIs write

}  // namespace

void UiPortWriter::take_touch(const LV2_Feature* f) {
    if (f->data == nullptr) return;
    touch = *static_cast<const LV2UI_Touch*>(f->data);
}

void UiPortWriter::write_port(uint32_t port, float value) {
    write(controller, port, sizeof value, kFloatProtocol, &value);
}

void UiPortWriter::notify(uint32_t port, bool grabbed) {
    if (touch.touch != nullptr) touch.touch(touch.handle, port, grabbed);
}

void UiPortWriter::begin(uint32_t index, float value) {
    if (index >= catalogue::kInputCount) return;
    const uint32_t port = port_of_parameter(index);
    notify(port, true);
    write_port(port, coerce_port(index, value));
}

void UiPortWriter::perform(uint32_t index, float value) {
    if (index >= catalogue::kInputCount) return;
    write_port(port_of_parameter(index), coerce_port(index, value));
}

void UiPortWriter::end(uint32_t index, float value) {
    if (index >= catalogue::kInputCount) return;
    const uint32_t port = port_of_parameter(index);
    write_port(port, coerce_port(index, value));
    notify(port, false);
}

bool page_value_of_port(uint32_t port, const void* buffer, uint32_t* index, float* value) {
    if (buffer == nullptr || port < kPortFirstControl || port >= kPortCount) return false;
    std::memcpy(value, buffer, sizeof *value);
    *index = port - kPortFirstControl;
    if (*index < catalogue::kInputCount) *value = coerce_port(*index, *value);
    return true;
}

}  // namespace yawp::lv2
