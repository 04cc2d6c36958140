#include <cctype>

#include "factory.h"

namespace yawp::presets {
namespace {

bool same_letters(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

}  // namespace

const Preset* find(std::string_view name) {
    for (const Preset& p : factory())
        if (same_letters(p.name, name)) return &p;
    return nullptr;
}

}  // namespace yawp::presets
