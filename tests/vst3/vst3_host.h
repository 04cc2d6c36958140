// A small VST3 host for the tests: it loads the bundle's module the way a
// DAW does and supplies the host-side objects a plug-in talks to. Host
// objects live on the test's stack; they count references so that the
// tests see what the plug-in holds, but never free themselves.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <deque>
#include <string>
#include <utility>
#include <thread>
#include <vector>

#include <pluginterfaces/vst/ivsthostapplication.h>

#include "vst3/sdk.h"

namespace yawp::test {

using namespace Steinberg;
using namespace Steinberg::Vst;

template <class I>
struct HostObject : I {
    tresult PLUGIN_API queryInterface(const TUID iid, void** obj) override {
        const bool ours = vst3::same_id(iid, FUnknown::iid) || vst3::same_id(iid, I::iid);
        *obj = ours ? static_cast<I*>(this) : nullptr;
        if (ours) addRef();
        return ours ? kResultOk : kNoInterface;
    }
    uint32 PLUGIN_API addRef() override { return static_cast<uint32>(++refs); }
    uint32 PLUGIN_API release() override { return static_cast<uint32>(--refs); }
    int refs = 1;
};

struct HostApplication : HostObject<IHostApplication> {
    tresult PLUGIN_API getName(String128 name) override {
        vst3::copy_text(name, 128, "Yawp test host");
        return kResultOk;
    }
    tresult PLUGIN_API createInstance(TUID, TUID, void** obj) override {
        *obj = nullptr;
        return kNotImplemented;
    }
};

struct Point {
    int32 offset;
    ParamValue value;
};

struct ParamQueue : HostObject<IParamValueQueue> {
    ParamQueue(ParamID id, std::vector<Point> points) : id(id), points(std::move(points)) {}
    ParamID PLUGIN_API getParameterId() override { return id; }
    int32 PLUGIN_API getPointCount() override { return static_cast<int32>(points.size()); }
    tresult PLUGIN_API getPoint(int32 i, int32& offset, ParamValue& value) override {
        if (i < 0 || i >= getPointCount()) return kInvalidArgument;
        offset = points[static_cast<size_t>(i)].offset;
        value = points[static_cast<size_t>(i)].value;
        return kResultOk;
    }
    tresult PLUGIN_API addPoint(int32 offset, ParamValue value, int32& index) override {
        index = getPointCount();
        points.push_back({offset, value});
        return kResultOk;
    }
    ParamID id;
    std::vector<Point> points;
};

struct ParamChanges : HostObject<IParameterChanges> {
    int32 PLUGIN_API getParameterCount() override { return static_cast<int32>(queues.size()); }
    IParamValueQueue* PLUGIN_API getParameterData(int32 i) override {
        return i >= 0 && i < getParameterCount() ? &queues[static_cast<size_t>(i)] : nullptr;
    }
    IParamValueQueue* PLUGIN_API addParameterData(const ParamID& id, int32& index) override {
        index = getParameterCount();
        return refuse_queues ? nullptr : &queues.emplace_back(id, std::vector<Point>{});
    }
    ParamChanges& add(ParamID id, std::vector<Point> points) {
        queues.emplace_back(id, std::move(points));
        return *this;
    }
    const ParamQueue* find(ParamID id) const {
        for (const ParamQueue& q : queues)
            if (q.id == id) return &q;
        return nullptr;
    }
    std::deque<ParamQueue> queues;  // a deque keeps queue addresses stable
    bool refuse_queues = false;
};

// A stream in memory, with ways to misbehave.
struct MemoryStream : HostObject<IBStream> {
    MemoryStream() = default;
    explicit MemoryStream(std::vector<uint8_t> b) : bytes(std::move(b)) {}

    tresult PLUGIN_API read(void* buffer, int32 n, int32* done) override {
        int64 count = std::min<int64>(n, static_cast<int64>(bytes.size()) - position);
        if (read_limit >= 0) count = std::min<int64>(count, read_limit);
        count = std::max<int64>(count, 0);
        std::copy_n(bytes.begin() + position, count, static_cast<uint8_t*>(buffer));
        position += count;
        if (done) *done = static_cast<int32>(count);
        return kResultOk;
    }
    tresult PLUGIN_API write(void* buffer, int32 n, int32* done) override {
        const int32 count = write_limit >= 0 ? std::min(n, write_limit) : n;
        bytes.resize(std::max(bytes.size(), static_cast<size_t>(position + count)));
        std::copy_n(static_cast<const uint8_t*>(buffer), count, bytes.begin() + position);
        position += count;
        if (done) *done = count;
        return kResultOk;
    }
    tresult PLUGIN_API seek(int64 pos, int32 mode, int64* result) override {
        if (fail_seek) return kResultFalse;
        position = pos + (mode == kIBSeekSet ? 0 : mode == kIBSeekCur ? position : static_cast<int64>(bytes.size()));
        if (result) *result = position;
        return kResultOk;
    }
    tresult PLUGIN_API tell(int64* pos) override {
        if (fail_tell) return kResultFalse;
        *pos = position + (position == static_cast<int64>(bytes.size()) ? claimed_extra : 0);
        return kResultOk;
    }

    std::vector<uint8_t> bytes;
    int64 position = 0;
    int32 read_limit = -1;    // bytes per read call; -1: no limit
    int32 write_limit = -1;   // bytes per write call
    int64 claimed_extra = 0;  // what tell adds at the end of the stream
    bool fail_seek = false;
    bool fail_tell = false;
};

struct RecordingHandler : HostObject<IComponentHandler> {
    struct Call {
        char kind;  // 'b'egin, 'p'erform, 'e'nd
        ParamID id;
        ParamValue value;
        bool operator==(const Call&) const = default;
    };
    tresult PLUGIN_API beginEdit(ParamID id) override { return record({'b', id, 0}); }
    tresult PLUGIN_API performEdit(ParamID id, ParamValue v) override { return record({'p', id, v}); }
    tresult PLUGIN_API endEdit(ParamID id) override { return record({'e', id, 0}); }
    tresult PLUGIN_API restartComponent(int32) override { return kResultOk; }
    tresult record(Call c) {
        calls.push_back(c);
        threads.push_back(std::this_thread::get_id());
        return kResultOk;
    }
    std::vector<Call> calls;
    std::vector<std::thread::id> threads;  // the thread each call came on
};

// The built module, loaded and entered as a host does; left and unloaded
// at the end.
struct LoadedModule {
    explicit LoadedModule(const std::string& path);
    ~LoadedModule();
    LoadedModule(const LoadedModule&) = delete;
    LoadedModule& operator=(const LoadedModule&) = delete;
    void* symbol(const char* name) const;

    IPluginFactory* factory = nullptr;
    void* handle = nullptr;
    bool entered = false;
};

// The bundle's module in this lane, as the system's file calls take it,
// and that module loaded once for the tests that need no fresh one.
std::string module_path();
LoadedModule& shared_module();

// A processor and a controller from one factory, initialized with a host
// context.
struct Plugin {
    explicit Plugin(IPluginFactory* factory = shared_module().factory);
    ~Plugin();
    Plugin(const Plugin&) = delete;
    Plugin& operator=(const Plugin&) = delete;

    // Mono buses, both on, setupProcessing, setActive(true).
    void activate(double rate = 48000, int32 max_block = 1024);
    // One block of n samples of `input` (silence where it ends) into `out`.
    tresult process(int32 n, IParameterChanges* in = nullptr, IParameterChanges* out = nullptr,
                    ProcessContext* context = nullptr, const std::vector<float>& input = {});
    std::vector<uint8_t> save();
    tresult restore(const std::vector<uint8_t>& bytes);

    HostApplication host;
    IComponent* component = nullptr;
    IAudioProcessor* processor = nullptr;
    IEditController* controller = nullptr;
    std::vector<float> in, out;
};

// A state document with the defaults and the given position.
std::vector<uint8_t> document(float position);
// What a document holds; fails the test when it cannot be read.
std::vector<float> values_of(const std::vector<uint8_t>& document);
float sample_rate_of(const std::vector<uint8_t>& document);

}  // namespace yawp::test
