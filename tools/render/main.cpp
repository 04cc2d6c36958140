// yawp-wah-render: runs audio files through the Yawp Wah engine.
#include <cstdio>
#include <string>

#include "options.h"
#include "render.h"
#include "state_file.h"
#include "usage.h"

namespace {

// Every failure, from a bad option to a full disk, ends the same way.
constexpr int kFailure = 2;

int report(const std::string& message) {
    std::fprintf(stderr, "yawp-wah-render: %s\n", message.c_str());
    return kFailure;
}

// The parameter values of the render: defaults or the preset (already in
// place), then the state document, then the --set values, whatever their
// order on the command line.
bool settle_values(yawp::render::Options* o, std::string* error) {
    if (!o->state_in.empty() && !yawp::render::load_state(o->state_in, o->values, error)) return false;
    for (const auto& [index, value] : o->overrides) o->values[index] = value;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace yawp::render;
    Options options;
    std::string error;
    if (!parse_options(argc, argv, &options, &error)) return report(error);
    switch (options.action) {
        case Action::kHelp:
            print_help(stdout);
            return 0;
        case Action::kVersion:
            print_version(stdout);
            return 0;
        case Action::kList:
            print_parameter_list(stdout);
            return 0;
        case Action::kListPresets:
            print_preset_list(stdout);
            return 0;
        case Action::kShowState:
            return show_state(options.show_state, stdout, &error) ? 0 : report(error);
        case Action::kRender:
            break;
    }
    if (!settle_values(&options, &error)) return report(error);
    if (!render_file(options, &error)) return report(error);
    return 0;
}
