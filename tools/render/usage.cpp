#include "usage.h"

#include <string_view>

#include "engine/catalogue.h"
#include "presets/factory.h"
#include "product_version.h"

namespace yawp::render {
namespace {

constexpr const char* kHelp = R"(Usage: yawp-wah-render [options] IN OUT

Runs an audio file through the Yawp Wah effect engine.

IN is a WAV, AIFF or FLAC file (or anything else libsndfile reads and can
write back). OUT gets IN's file format and sample format, whatever its name
ends in; with --float it gets 32-bit float samples instead.

The effect is mono: each channel of IN goes through an engine of its own
with the same settings. The engines' LFOs start in step; each envelope
follower hears only its own channel.

Options:
  --preset NAME    start from a factory preset's values (see --list-presets;
                   case does not matter); --set values still override it.
  --set KEY=VALUE  set a parameter to a plain value in its own unit, e.g.
                   --set mix=50 --set lfo_on=1 (repeatable; see --list).
                   Values are clamped to the parameter's range, switches are
                   on from 0.5 up, lfo_sync_rate is rounded to a whole number.
  --block N        samples per processing block, 1 to 8192 (default 512).
  --tempo BPM      the host tempo, reported to the engine with every block.
  --play           the host transport is rolling at normal speed; every
                   block carries its song position in quarter notes.
                   Without --tempo the tempo is 120 BPM, reported as known.
  --start-qn Q     song position of the first sample in quarter notes
                   (default 0; needs --play).
  --float          write 32-bit float samples (not possible for FLAC).
  --meters FILE    after each block write one line to FILE: modulated
                   position, LFO phase, LFO output and envelope output,
                   four numbers per channel, channel after channel. These
                   are the engine's own values, not bounded: with loud
                   input the envelope output runs well past -1..1, where
                   the plug-ins show their hosts each meter held inside
                   its range.
  --state FILE     start from the parameter values of a saved state document
                   (from either plug-in, or --save-state); --set values
                   still override it.
  --save-state FILE
                   also write the state document of the values used, as the
                   plug-in would save it, with the input file's sample rate.
  --state-format vst3|lv2
                   which plug-in --save-state writes as (default vst3).
  --show-state FILE
                   print a state document's info and its 32 values and exit.
  --list           list the parameters and exit.
  --list-presets   list the factory presets by category and exit.
  --help           show this text and exit.
  --version        show the program's version and exit.

Without --tempo and --play the engine gets no host time at all, and a synced
LFO runs at 120 BPM from its own start.

Exit status: 0 on success; 2 on any problem, which is named in one line on
standard error, and then neither OUT nor the meters file (nor the state)
is written. A state document that is refused stops the render the same way.
)";

const char* kind_text(uint32_t kind) {
    if (kind & catalogue::kKindBypass) return "switch (bypass)";
    if (kind & catalogue::kKindToggle) return "switch";
    if (kind & catalogue::kKindInteger) return "whole number";
    if (kind & catalogue::kKindLog) return "logarithmic";
    return "linear";
}

}  // namespace

void print_help(std::FILE* to) { std::fputs(kHelp, to); }

void print_version(std::FILE* to) { std::fprintf(to, "yawp-wah-render %s\n", version::kText); }

void print_parameter_list(std::FILE* to) {
    std::fprintf(to, "%-15s %7s %7s %-17s %-4s %s\n", "key", "min", "max", "default", "unit",
                 "kind");
    for (uint32_t i = 0; i < catalogue::kInputCount; ++i) {
        const catalogue::RangeEntry* e = catalogue::entry(i);
        std::fprintf(to, "%-15s %7g %7g %-17.15g %-4s %s\n", catalogue::state_key(i), e->minimum,
                     e->maximum, e->def, catalogue::unit_text(i), kind_text(e->kind));
    }
    // The sync rates come in threes, one note length per line.
    constexpr int32_t kPerLine = 3;
    std::fputs("\nlfo_sync_rate values:\n", to);
    for (int32_t v = 1; v <= catalogue::kSyncRateCount; ++v) {
        const char* label = catalogue::sync_rate_label(v);
        if (v % kPerLine == 0)
            std::fprintf(to, "%4d = %s\n", v, label);
        else
            std::fprintf(to, "%4d = %-14s", v, label);
    }
}

// One block per category; the name, then what it does.
void print_preset_list(std::FILE* to) {
    const char* category = "";
    for (const presets::Preset& p : presets::factory()) {
        if (std::string_view(category) != p.category) {
            std::fprintf(to, "%s%s\n", *category ? "\n" : "", p.category);
            category = p.category;
        }
        std::fprintf(to, "  %-24s %s\n", p.name, p.description);
    }
}

}  // namespace yawp::render
