#include "port_buffers.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include <lv2/atom/atom.h>
#include <lv2/core/lv2.h>
#include <lv2/resize-port/resize-port.h>

namespace yawp::peers {
namespace {

constexpr size_t kAtomCapacity = 8192;  // bytes, unless a port asks for more

// Frees a node when it goes out of scope.
struct Node {
    explicit Node(LilvNode* n) : node(n) {}
    ~Node() { lilv_node_free(node); }
    Node(const Node&) = delete;
    Node& operator=(const Node&) = delete;
    LilvNode* node;
};

// A control input's starting value: its default, else its minimum, else 0.
float starting_value(float def, float min) {
    if (!std::isnan(def)) return def;
    if (!std::isnan(min)) return min;
    return 0.0f;
}

}  // namespace

PortBuffers::PortBuffers(UridMap* map, uint32_t block)
    : block_(block), sequence_type_(map->map(LV2_ATOM__Sequence)), chunk_type_(map->map(LV2_ATOM__Chunk)) {}

bool PortBuffers::describe(LilvWorld* world, const LilvPlugin* plugin, std::string* error) {
    const Node audio(lilv_new_uri(world, LV2_CORE__AudioPort));
    const Node control(lilv_new_uri(world, LV2_CORE__ControlPort));
    const Node cv(lilv_new_uri(world, LV2_CORE__CVPort));
    const Node atom(lilv_new_uri(world, LV2_ATOM__AtomPort));
    const Node input(lilv_new_uri(world, LV2_CORE__InputPort));
    const Node optional(lilv_new_uri(world, LV2_CORE__connectionOptional));
    const Node minimum_size(lilv_new_uri(world, LV2_RESIZE_PORT__minimumSize));

    const uint32_t n = lilv_plugin_get_num_ports(plugin);
    std::vector<float> mins(n), maxs(n), defs(n);
    lilv_plugin_get_port_ranges_float(plugin, mins.data(), maxs.data(), defs.data());

    ports_.assign(n, PortBuffer{});
    for (uint32_t i = 0; i < n; ++i) {
        const LilvPort* p = lilv_plugin_get_port_by_index(plugin, i);
        PortBuffer& port = ports_[i];
        port.index = i;
        port.symbol = lilv_node_as_string(lilv_port_get_symbol(plugin, p));
        port.input = lilv_port_is_a(plugin, p, input.node);

        if (lilv_port_is_a(plugin, p, audio.node) || lilv_port_is_a(plugin, p, cv.node)) {
            port.kind = lilv_port_is_a(plugin, p, audio.node) ? PortKind::kAudio : PortKind::kCv;
            port.samples.assign(block_, 0.0f);
        } else if (lilv_port_is_a(plugin, p, control.node)) {
            port.kind = PortKind::kControl;
            port.control = port.input ? starting_value(defs[i], mins[i]) : 0.0f;
        } else if (lilv_port_is_a(plugin, p, atom.node)) {
            port.kind = PortKind::kAtom;
            size_t bytes = kAtomCapacity;
            if (LilvNodes* sizes = lilv_port_get_value(plugin, p, minimum_size.node)) {
                const LilvNode* size = lilv_nodes_get_first(sizes);
                if (lilv_node_is_int(size)) bytes = std::max<size_t>(bytes, lilv_node_as_int(size));
                lilv_nodes_free(sizes);
            }
            port.atom.assign((bytes + sizeof(uint64_t) - 1) / sizeof(uint64_t), 0);
            reset_atom(port);
        } else if (!lilv_port_has_property(plugin, p, optional.node)) {
            *error = "port \"" + port.symbol + "\" has a type this host cannot connect";
            return false;
        }
    }
    return true;
}

bool PortBuffers::set_control(const std::string& symbol, float value, std::string* error) {
    for (PortBuffer& port : ports_) {
        if (port.symbol != symbol) continue;
        if (port.kind != PortKind::kControl || !port.input) {
            *error = "port \"" + symbol + "\" is not a control input";
            return false;
        }
        port.control = value;
        return true;
    }
    *error = "the plug-in has no port \"" + symbol + "\"";
    return false;
}

void PortBuffers::connect(LilvInstance* instance) {
    for (PortBuffer& port : ports_) {
        void* data = nullptr;
        switch (port.kind) {
            case PortKind::kAudio:
            case PortKind::kCv: data = port.samples.data(); break;
            case PortKind::kControl: data = &port.control; break;
            case PortKind::kAtom: data = port.atom.data(); break;
            case PortKind::kOther: break;  // connection-optional: left null
        }
        lilv_instance_connect_port(instance, port.index, data);
    }
}

void PortBuffers::prepare_block(const float* signal) {
    for (PortBuffer& port : ports_) {
        if (port.kind == PortKind::kAudio && port.input)
            std::memcpy(port.samples.data(), signal, block_ * sizeof(float));
        else if (port.kind == PortKind::kAtom)
            reset_atom(port);
    }
}

void PortBuffers::note_outputs() {
    for (PortBuffer& port : ports_) {
        if (port.kind != PortKind::kControl || port.input) continue;
        port.lowest = outputs_seen_ ? std::min(port.lowest, port.control) : port.control;
        port.highest = outputs_seen_ ? std::max(port.highest, port.control) : port.control;
    }
    outputs_seen_ = true;
}

uint32_t PortBuffers::count(PortKind kind, bool input) const {
    return static_cast<uint32_t>(std::count_if(ports_.begin(), ports_.end(), [&](const PortBuffer& p) {
        return p.kind == kind && p.input == input;
    }));
}

// An input gets an empty sequence; an output gets a chunk the size of the
// whole buffer, which tells the plug-in how much room it has.
void PortBuffers::reset_atom(PortBuffer& port) const {
    const size_t capacity = port.atom.size() * sizeof(uint64_t);
    auto* seq = reinterpret_cast<LV2_Atom_Sequence*>(port.atom.data());
    if (port.input) {
        seq->atom.size = sizeof(LV2_Atom_Sequence_Body);
        seq->atom.type = sequence_type_;
        seq->body.unit = 0;
        seq->body.pad = 0;
    } else {
        seq->atom.size = static_cast<uint32_t>(capacity - sizeof(LV2_Atom));
        seq->atom.type = chunk_type_;
    }
}

}  // namespace yawp::peers
