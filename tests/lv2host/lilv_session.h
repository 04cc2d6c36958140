// The host side of the lilv tests: a lilv world that finds the built bundle
// through LV2_PATH, and instances of the plug-in with a buffer behind every
// port.
#pragma once

#include <map>
#include <string>

#include <lilv/lilv.h>

#include "host.h"

namespace yawp::lv2host {

// The folder that holds the bundle under test: the built one, or the one
// named by YAWP_LV2_TEST_PATH (the release check points it at a packaged
// copy).
const std::string& lv2_path();

// The world every test shares, loaded once. `plugin` is null when the
// bundle was not found.
struct Session {
    Session();
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // A node for a URI, kept as long as the session.
    const LilvNode* uri(const char* text);

    LilvWorld* world = nullptr;
    const LilvPlugin* plugin = nullptr;

private:
    std::map<std::string, LilvNode*> nodes_;
};
Session& session();

// One instance of the plug-in, instantiated through lilv, every port
// connected to the buffers in `ports`. The host may leave out the URID map
// (and unmap); the log is always offered.
class HostedInstance {
public:
    explicit HostedInstance(bool offer_map = true, double rate = 48000);
    ~HostedInstance();
    HostedInstance(const HostedInstance&) = delete;
    HostedInstance& operator=(const HostedInstance&) = delete;

    bool ok() const { return instance != nullptr; }
    void activate() { lilv_instance_activate(instance); }
    void run(uint32_t n) { lilv_instance_run(instance, n); }
    // Runs `count` blocks of `n` samples of the current input.
    void run_blocks(uint32_t count, uint32_t n);
    void disconnect(uint32_t port) { lilv_instance_connect_port(instance, port, nullptr); }

    const LV2_State_Interface* state_interface() const;
    StateCalls state();

    UridMap map;
    LogCapture log;
    Features features;
    PortSet ports;
    LilvInstance* instance = nullptr;
};

}  // namespace yawp::lv2host
