#include "render.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "engine_rack.h"
#include "pending_file.h"
#include "sound_file.h"
#include "state_file.h"
#include "tools/common/host_time.h"

namespace yawp::render {
namespace {

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

bool fail(std::string* error, std::string message) {
    *error = std::move(message);
    return false;
}

std::string system_error(const std::string& what, const std::string& path) {
    return what + " '" + path + "': " + std::strerror(errno);
}

// What the pretend host reports at the start of the block that begins
// `frames` samples into the file.
tools::HostTime host_time_at(const Options& o, uint64_t frames, double sample_rate) {
    tools::HostTime t;
    t.tempo_known = o.tempo_known;
    t.tempo = o.tempo;
    t.play_state_known = o.playing;
    t.playing = o.playing;
    t.position_known = o.playing;
    if (o.playing)
        t.quarter_notes =
            tools::quarter_notes_after(o.start_quarter_notes, frames, sample_rate, o.tempo);
    return t;
}

// One line per block: the four output values of each channel's engine.
void write_meter_line(FILE* f, const EngineRack& rack) {
    for (uint32_t c = 0; c < rack.channels(); ++c) {
        const EngineOutputs v = rack.outputs(c);
        std::fprintf(f, "%s%.9g %.9g %.9g %.9g", c == 0 ? "" : " ", v.mod_position, v.lfo_phase,
                     v.lfo_output, v.env_output);
    }
    std::fputc('\n', f);
}

// The pieces of one render, kept together so each step can be its own
// function and every early return cleans up.
struct Render {
    Render(const Options& options, std::string* e) : o(options), error(e) {}

    const Options& o;
    std::string* error;
    SoundFile in;
    SoundFile out;
    PendingFile out_file{o.output};
    PendingFile meter_file{o.meters};
    FilePtr meters;

    bool open_files();
    bool run_blocks();
    bool finish();
};

bool Render::open_files() {
    if (!in.open_read(o.input, error)) return false;
    if (!out_file.create()) return fail(error, system_error("cannot create", o.output));
    if (!out.open_write(out_file.path(), o.output, in, o.float_output, error)) return false;
    if (o.meters.empty()) return true;
    if (!meter_file.create()) return fail(error, system_error("cannot create", o.meters));
    meters.reset(std::fopen(meter_file.path().c_str(), "w"));
    if (!meters) return fail(error, system_error("cannot write", o.meters));
    return true;
}

bool Render::run_blocks() {
    const uint32_t channels = static_cast<uint32_t>(in.info().channels);
    const double rate = in.info().samplerate;
    EngineRack rack(channels, o.block);
    rack.start(o.values, static_cast<float>(rate));
    tools::HostTimeFeed feed;
    std::vector<float> frames(static_cast<size_t>(o.block) * channels);

    for (uint64_t done = 0;;) {
        const int64_t n = in.read(frames.data(), o.block);
        if (n < 0) return fail(error, "cannot read '" + o.input + "': " + in.last_error());
        if (n == 0) return true;
        const uint32_t count = static_cast<uint32_t>(n);
        rack.process(frames.data(), count, feed.next(host_time_at(o, done, rate)));
        if (!out.write(frames.data(), n))
            return fail(error, "cannot write '" + o.output + "': " + out.last_error());
        if (meters) write_meter_line(meters.get(), rack);
        done += count;
    }
}

bool Render::finish() {
    if (!out.close()) return fail(error, "cannot finish '" + o.output + "'");
    // The state is written before the sound appears, so that a failure
    // leaves neither behind.
    const float rate = static_cast<float>(in.info().samplerate);
    if (!o.state_out.empty() && !save_state(o.state_out, o.state_format, rate, o.values, error)) return false;
    if (meters && (std::fflush(meters.get()) != 0 || std::ferror(meters.get())))
        return fail(error, system_error("cannot write", o.meters));
    meters.reset();
    if (!o.meters.empty() && !meter_file.commit())
        return fail(error, system_error("cannot rename to", o.meters));
    if (!out_file.commit()) return fail(error, system_error("cannot rename to", o.output));
    return true;
}

}  // namespace

bool render_file(const Options& options, std::string* error) {
    Render r(options, error);
    return r.open_files() && r.run_blocks() && r.finish();
}

}  // namespace yawp::render
