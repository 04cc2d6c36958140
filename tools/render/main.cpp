// yawp-wah-render: runs audio files through the Yawp Wah engine.
#include <cstdio>
#include <string>

#include "options.h"
#include "render.h"
#include "usage.h"

namespace {

// Every failure, from a bad option to a full disk, ends the same way.
constexpr int kFailure = 2;

int report(const std::string& message) {
    std::fprintf(stderr, "yawp-wah-render: %s\n", message.c_str());
    return kFailure;
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
        case Action::kList:
            print_parameter_list(stdout);
            return 0;
        case Action::kRender:
            break;
    }
    if (!render_file(options, &error)) return report(error);
    return 0;
}
