#include <string>

#include "lv2/ports.h"
#include "lv2/uris.h"
#include "writers.h"

namespace yawp::presets_gen {
namespace {

namespace cat = catalogue;

constexpr const char* kPresetsFile = "presets.ttl";

std::string preset_uri(const Preset& p) { return std::string("<" YAWP_LV2_URI "#preset-") + p.id + ">"; }

std::string bank_uri(const std::string& category) {
    return std::string("<" YAWP_LV2_URI "#bank-") + folded(category) + ">";
}

// The bypass parameter is the host's on/off port, inverted.
std::string port_line(uint32_t index, float value) {
    const float port_value = index == cat::kBypass ? 1.0f - value : value;
    return std::string("[ lv2:symbol \"") + lv2::symbol_of(index) + "\" ; pset:value " + decimal(port_value) + " ]";
}

std::string presets_ttl(const std::vector<Preset>& presets) {
    std::string t =
        "@prefix lv2:  <http://lv2plug.in/ns/lv2core#> .\n"
        "@prefix pset: <http://lv2plug.in/ns/ext/presets#> .\n"
        "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n";
    for (size_t c = 0; c < kCategoryCount; ++c) {
        t += "\n" + bank_uri(kCategories[c]) + "\n    a pset:Bank ;\n    lv2:appliesTo <" YAWP_LV2_URI "> ;\n" +
             "    rdfs:label " + quoted_c(kCategories[c]) + " .\n";
    }
    for (const Preset& p : presets) {
        t += "\n" + preset_uri(p) + "\n    a pset:Preset ;\n    lv2:appliesTo <" YAWP_LV2_URI "> ;\n";
        t += "    rdfs:label " + quoted_c(p.name) + " ;\n";
        t += "    rdfs:comment " + quoted_c(p.description) + " ;\n";
        t += "    pset:bank " + bank_uri(p.category) + " ;\n";
        t += "    lv2:port\n";
        for (uint32_t i = 0; i < cat::kInputCount; ++i)
            t += "        " + port_line(i, p.values[i]) + (i + 1 < cat::kInputCount ? " ,\n" : " .\n");
    }
    return t;
}

std::string manifest_part(const std::vector<Preset>& presets) {
    std::string t =
        "\n@prefix pset: <http://lv2plug.in/ns/ext/presets#> .\n";
    for (const Preset& p : presets)
        t += "\n" + preset_uri(p) + "\n    a pset:Preset ;\n    lv2:appliesTo <" YAWP_LV2_URI "> ;\n" +
             "    rdfs:seeAlso <" + kPresetsFile + "> .\n";
    return t;
}

}  // namespace

bool write_lv2_presets(const std::vector<Preset>& presets, const std::string& presets_path,
                       const std::string& manifest_path, std::string* error) {
    return write_text(presets_path, presets_ttl(presets), error) &&
           write_text(manifest_path, manifest_part(presets), error);
}

}  // namespace yawp::presets_gen
