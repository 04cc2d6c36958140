// Writes the LV2 bundle's manifest.ttl and plug-in description from the
// parameter catalogue, so that the ports a host sees can never disagree
// with the code.
//
//   yawp-wah-lv2-ttl [--windows-ui | --x11-ui] [--manifest-part FILE] OUTDIR BINARY_NAME
//
// --windows-ui also declares the UI that the Windows module carries: the
// web page editor in a Win32 window, fed by notifications of every control
// port. --x11-ui declares the Linux module's UI instead: the same page in
// an X11 window, shown by the helper program beside the module.
// --manifest-part appends FILE, Turtle written by another generator (the
// factory presets), to manifest.ttl.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "engine/catalogue.h"
#include "lv2/ports.h"
#include "lv2/uris.h"
#include "product_version.h"

namespace {

namespace cat = yawp::catalogue;
namespace version = yawp::version;
using namespace yawp::lv2;

constexpr const char* kDescriptionFile = "yawp-wah.ttl";

const char* const kPrefixes =
    "@prefix atom:   <http://lv2plug.in/ns/ext/atom#> .\n"
    "@prefix doap:   <http://usefulinc.com/ns/doap#> .\n"
    "@prefix foaf:   <http://xmlns.com/foaf/0.1/> .\n"
    "@prefix log:    <http://lv2plug.in/ns/ext/log#> .\n"
    "@prefix opts:   <http://lv2plug.in/ns/ext/options#> .\n"
    "@prefix lv2:    <http://lv2plug.in/ns/lv2core#> .\n"
    "@prefix pprops: <http://lv2plug.in/ns/ext/port-props#> .\n"
    "@prefix rdf:    <http://www.w3.org/1999/02/22-rdf-syntax-ns#> .\n"
    "@prefix rdfs:   <http://www.w3.org/2000/01/rdf-schema#> .\n"
    "@prefix state:  <http://lv2plug.in/ns/ext/state#> .\n"
    "@prefix time:   <http://lv2plug.in/ns/ext/time#> .\n"
    "@prefix ui:     <http://lv2plug.in/ns/extensions/ui#> .\n"
    "@prefix units:  <http://lv2plug.in/ns/extensions/units#> .\n"
    "@prefix urid:   <http://lv2plug.in/ns/ext/urid#> .\n";

// A decimal literal (Turtle reads "50" as an integer, "50.0" as a decimal).
std::string number(double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.15g", v);
    std::string s = buf;
    if (s.find_first_of(".e") == std::string::npos) s += ".0";
    return s;
}

std::string ascii(const char16_t* text) {
    std::string s;
    for (; *text; ++text) s += static_cast<char>(*text < 0x80 ? *text : '?');
    return s;
}

std::string title(uint32_t index) {
    cat::Presentation p;
    cat::presentation(index, &p);
    return ascii(p.title);
}

// LV2 units of the catalogue's units; the sync phase is in degrees although
// no unit is shown after its value.
const char* unit_uri(uint32_t index) {
    if (index == cat::kLfoSyncPhase) return "units:degree";
    const std::string u = cat::unit_text(index);
    if (u == "%") return "units:pc";
    if (u == "Hz") return "units:hz";
    if (u == "ms") return "units:ms";
    return nullptr;
}

void write_range(FILE* f, double lo, double hi, double def) {
    std::fprintf(f, "        lv2:default %s ;\n        lv2:minimum %s ;\n        lv2:maximum %s",
                 number(def).c_str(), number(lo).c_str(), number(hi).c_str());
}

void write_control(FILE* f, uint32_t index) {
    const cat::RangeEntry* e = cat::entry(index);
    const uint32_t port = port_of_parameter(index);
    std::fprintf(f, "    [\n        a lv2:InputPort , lv2:ControlPort ;\n        lv2:index %u ;\n", port);
    if (index == cat::kBypass) {
        // Hosts show this as the plug-in's on/off switch: 1 is active.
        std::fprintf(f, "        lv2:symbol \"%s\" ;\n        lv2:name \"Enabled\" ;\n", kEnableSymbol);
        std::fprintf(f, "        lv2:designation lv2:enabled ;\n        lv2:portProperty lv2:toggled ;\n");
        write_range(f, 0, 1, e->def >= 0.5 ? 0 : 1);
        std::fprintf(f, "\n    ]");
        return;
    }
    std::fprintf(f, "        lv2:symbol \"%s\" ;\n        lv2:name \"%s\" ;\n", symbol_of(index),
                 title(index).c_str());
    write_range(f, e->minimum, e->maximum, e->def);
    if (e->kind & cat::kKindToggle) {
        std::fprintf(f, " ;\n        lv2:portProperty lv2:toggled");
    } else if (e->kind & cat::kKindInteger) {
        std::fprintf(f, " ;\n        lv2:portProperty lv2:integer , lv2:enumeration");
        for (int v = 1; v <= cat::kSyncRateCount; ++v)
            std::fprintf(f, " ;\n        lv2:scalePoint [ rdfs:label \"%s\" ; rdf:value %s ]", cat::sync_rate_label(v),
                         number(v).c_str());
    } else if (e->kind & cat::kKindLog) {
        std::fprintf(f, " ;\n        lv2:portProperty pprops:logarithmic");
    }
    if (const char* u = unit_uri(index)) std::fprintf(f, " ;\n        units:unit %s", u);
    std::fprintf(f, "\n    ]");
}

void write_output(FILE* f, uint32_t index) {
    const cat::RangeEntry* e = cat::entry(index);
    std::fprintf(f, "    [\n        a lv2:OutputPort , lv2:ControlPort ;\n        lv2:index %u ;\n", port_of_output(index));
    std::fprintf(f, "        lv2:symbol \"%s\" ;\n        lv2:name \"%s\" ;\n", symbol_of(index),
                 title(index).c_str());
    write_range(f, e->minimum, e->maximum, e->def);
    if (const char* u = unit_uri(index)) std::fprintf(f, " ;\n        units:unit %s", u);
    std::fprintf(f, "\n    ]");
}

struct Options {
    const char* ui_class = nullptr;  // kWindowsUi, kX11Ui, or none
    const char* binary = nullptr;
    std::string manifest_part;  // the part's text, already read
};

constexpr const char* kWindowsUi = "ui:WindowsUI";
constexpr const char* kX11Ui = "ui:X11UI";

bool has_ui(const Options& options) { return options.ui_class != nullptr; }

// Both UIs open at the host's scale (ui:scaleFactor, read through the
// options and the URID map), ask for their size and take the host's
// (ui:resize), and come back at the size they were left at when the host
// names the instance. The Linux UI needs the host's window to live in and
// is polled for the helper's messages in idle time.
void write_ui_features(FILE* f, const Options& options) {
    constexpr const char* kSizing =
        "ui:resize , opts:options , urid:map , <http://lv2plug.in/ns/ext/instance-access>";
    if (options.ui_class != kX11Ui) {
        std::fprintf(f,
                     "    lv2:optionalFeature ui:parent , ui:touch , ui:idleInterface , %s ;\n"
                     "    opts:supportedOption ui:scaleFactor ;\n"
                     "    lv2:extensionData ui:idleInterface , ui:resize ;\n",
                     kSizing);
        return;
    }
    std::fprintf(f,
                 "    rdfs:comment \"The editor page, shown by the program yawp-wah-editor in this bundle; it needs "
                 "WebKitGTK 4.1 (Debian and Ubuntu: libwebkit2gtk-4.1-0).\" ;\n"
                 "    lv2:requiredFeature ui:parent , ui:idleInterface ;\n"
                 "    lv2:optionalFeature ui:touch , %s ;\n"
                 "    opts:supportedOption ui:scaleFactor ;\n"
                 "    lv2:extensionData ui:idleInterface , ui:resize ;\n",
                 kSizing);
}

// The UI hears of every control port, inputs and meters alike, as floats.
void write_ui(FILE* f, const Options& options) {
    std::fprintf(f, "\n<%s>\n    a %s ;\n", YAWP_LV2_UI_URI, options.ui_class);
    write_ui_features(f, options);
    std::fprintf(f, "    ui:portNotification\n");
    for (uint32_t i = 0; i < cat::kCount; ++i)
        std::fprintf(f,
                     "    [\n        ui:plugin <%s> ;\n        lv2:symbol \"%s\" ;\n"
                     "        ui:protocol ui:floatProtocol\n    ]%s\n",
                     YAWP_LV2_URI, symbol_of(i), i + 1 < cat::kCount ? " ," : " .");
}

void write_description(FILE* f, const Options& options) {
    std::fprintf(f, "%s\n", kPrefixes);
    std::fprintf(f,
                 "<%s>\n"
                 "    a lv2:Plugin , lv2:FilterPlugin , doap:Project ;\n"
                 "    doap:name \"Yawp Wah\" ;\n"
                 "    rdfs:comment \"A wah modelled on the human vocal tract: the pedal morphs between vowel shapes "
                 "whose three formants tune three band-pass filters.\" ;\n"
                 "    doap:license <https://tallow.audio/license> ;\n"
                 "    doap:maintainer [ foaf:name \"Tallow.AUDIO\" ; foaf:homepage <https://tallow.audio/> ] ;\n"
                 "    lv2:minorVersion %d ;\n"
                 "    lv2:microVersion %d ;\n"
                 "    lv2:requiredFeature urid:map ;\n"
                 "    lv2:optionalFeature lv2:hardRTCapable , log:log ;\n"
                 "    lv2:extensionData state:interface ;\n",
                 YAWP_LV2_URI, version::kLv2MinorVersion, version::kLv2MicroVersion);
    if (has_ui(options)) std::fprintf(f, "    ui:ui <%s> ;\n", YAWP_LV2_UI_URI);
    std::fprintf(f,
                 "    lv2:port\n"
                 "    [\n        a lv2:InputPort , lv2:AudioPort ;\n        lv2:index %u ;\n"
                 "        lv2:symbol \"in\" ;\n        lv2:name \"In\"\n    ] , [\n"
                 "        a lv2:OutputPort , lv2:AudioPort ;\n        lv2:index %u ;\n"
                 "        lv2:symbol \"out\" ;\n        lv2:name \"Out\"\n    ] , [\n"
                 "        a lv2:InputPort , atom:AtomPort ;\n        lv2:index %u ;\n"
                 "        lv2:symbol \"events\" ;\n        lv2:name \"Events\" ;\n"
                 "        atom:bufferType atom:Sequence ;\n        atom:supports time:Position ;\n"
                 "        lv2:portProperty lv2:connectionOptional ;\n"
                 "        lv2:designation lv2:control\n    ] ,\n",
                 kPortAudioIn, kPortAudioOut, kPortEvents);
    for (uint32_t i = 0; i < cat::kInputCount; ++i) {
        write_control(f, i);
        std::fprintf(f, " ,\n");
    }
    for (uint32_t i = cat::kInputCount; i < cat::kCount; ++i) {
        write_output(f, i);
        std::fprintf(f, i + 1 < cat::kCount ? " ,\n" : " .\n");
    }
    if (has_ui(options)) write_ui(f, options);
}

// The plug-in and its UI share one binary.
void write_manifest(FILE* f, const Options& options) {
    std::fprintf(f,
                 "@prefix lv2:  <http://lv2plug.in/ns/lv2core#> .\n"
                 "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n");
    if (has_ui(options)) std::fprintf(f, "@prefix ui:   <http://lv2plug.in/ns/extensions/ui#> .\n");
    std::fprintf(f, "\n<%s>\n    a lv2:Plugin ;\n    lv2:binary <%s> ;\n    rdfs:seeAlso <%s> .\n", YAWP_LV2_URI,
                 options.binary, kDescriptionFile);
    if (has_ui(options))
        std::fprintf(f, "\n<%s>\n    a %s ;\n    ui:binary <%s> ;\n    rdfs:seeAlso <%s> .\n", YAWP_LV2_UI_URI,
                     options.ui_class, options.binary, kDescriptionFile);
    std::fputs(options.manifest_part.c_str(), f);
}

bool read_file(const char* path, std::string* out) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    if (!in) {
        std::fprintf(stderr, "yawp-wah-lv2-ttl: cannot read %s\n", path);
        return false;
    }
    *out = text.str();
    return true;
}

bool write_file(const std::string& path, void (*body)(FILE*, const Options&), const Options& options) {
    FILE* f = std::fopen(path.c_str(), "w");
    if (f == nullptr) {
        std::fprintf(stderr, "yawp-wah-lv2-ttl: cannot write %s\n", path.c_str());
        return false;
    }
    body(f, options);
    return std::fclose(f) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    int first = 1;
    if (argc > first && std::strcmp(argv[first], "--windows-ui") == 0) {
        options.ui_class = kWindowsUi;
        first += 1;
    } else if (argc > first && std::strcmp(argv[first], "--x11-ui") == 0) {
        options.ui_class = kX11Ui;
        first += 1;
    }
    if (argc > first + 1 && std::strcmp(argv[first], "--manifest-part") == 0) {
        if (!read_file(argv[first + 1], &options.manifest_part)) return 1;
        first += 2;
    }
    if (argc - first != 2) {
        std::fprintf(stderr,
                     "usage: yawp-wah-lv2-ttl [--windows-ui | --x11-ui] [--manifest-part FILE] OUTDIR BINARY_NAME\n");
        return 2;
    }
    const std::string dir = argv[first];
    options.binary = argv[first + 1];
    const bool ok = write_file(dir + "/manifest.ttl", write_manifest, options) &&
                    write_file(dir + "/" + kDescriptionFile, write_description, options);
    return ok ? 0 : 1;
}
