// yawp-wah-presets: checks the factory preset files and makes everything
// that ships them.
//
//   yawp-wah-presets [OUTPUTS] FILE.json...
//
//   --cpp FILE              the compiled-in table (presets/factory.h)
//   --page FILE             the editor page's table (a script)
//   --lv2 PRESETS MANIFEST  presets.ttl, and the part manifest.ttl takes in
//   --vst3 DIR PLATFORM     DIR/<Category>/<Name>.vstpreset for "linux" or
//                           "windows"
//
// With no OUTPUTS it only reads and checks the files. A file that breaks a
// rule stops everything with "FILE: reason" and exit status 1; nothing is
// written then.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "preset.h"
#include "writers.h"

namespace {

using namespace yawp::presets_gen;

struct Request {
    std::string cpp, page, lv2_presets, lv2_manifest, vst3_dir, vst3_platform;
    std::vector<std::string> files;
};

constexpr int kBadFile = 1;
constexpr int kUsage = 2;

int usage() {
    std::fprintf(stderr,
                 "usage: yawp-wah-presets [--cpp FILE] [--page FILE] [--lv2 PRESETS MANIFEST]\n"
                 "                        [--vst3 DIR linux|windows] FILE.json...\n");
    return kUsage;
}

bool parse(int argc, char** argv, Request* r) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto need = [&](int n) { return i + n < argc; };
        if (a == "--cpp" && need(1)) r->cpp = argv[++i];
        else if (a == "--page" && need(1)) r->page = argv[++i];
        else if (a == "--lv2" && need(2)) {
            r->lv2_presets = argv[++i];
            r->lv2_manifest = argv[++i];
        } else if (a == "--vst3" && need(2)) {
            r->vst3_dir = argv[++i];
            r->vst3_platform = argv[++i];
            if (r->vst3_platform != "linux" && r->vst3_platform != "windows") return false;
        } else if (a.rfind("--", 0) == 0) return false;
        else r->files.push_back(a);
    }
    return !r->files.empty();
}

}  // namespace

int main(int argc, char** argv) {
    Request r;
    if (!parse(argc, argv, &r)) return usage();
    std::vector<Preset> presets;
    std::string error;
    bool ok = read_presets(r.files, &presets, &error);
    if (ok && !r.cpp.empty()) ok = write_cpp_table(presets, r.cpp, &error);
    if (ok && !r.page.empty()) ok = write_page_table(presets, r.page, &error);
    if (ok && !r.lv2_presets.empty()) ok = write_lv2_presets(presets, r.lv2_presets, r.lv2_manifest, &error);
    if (ok && !r.vst3_dir.empty()) ok = write_vst3_presets(presets, r.vst3_dir, r.vst3_platform, &error);
    if (!ok) {
        std::fprintf(stderr, "yawp-wah-presets: %s\n", error.c_str());
        return kBadFile;
    }
    return 0;
}
