#include "vst3_host.h"

#include <cstdlib>
#include <cstring>

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include "state/document.h"
#include "state/little_endian.h"

namespace Steinberg {
DEF_CLASS_IID(Vst::IHostApplication)
}

namespace yawp::test {

#ifdef _WIN32

// The installer check points YAWP_VST3_TEST_MODULE at an installed
// bundle's module (a Windows path); the built one otherwise, through the
// drive Z: that wine maps the Unix root to.
std::string module_path() {
    const char* chosen = std::getenv("YAWP_VST3_TEST_MODULE");
    if (chosen != nullptr && chosen[0] != '\0') return chosen;
    std::string path = "Z:" YAWP_VST3_MODULE;
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

LoadedModule::LoadedModule(const std::string& path) {
    std::wstring wide(path.size(), L'\0');
    wide.resize(static_cast<size_t>(
        MultiByteToWideChar(CP_UTF8, 0, path.data(), static_cast<int>(path.size()), wide.data(), static_cast<int>(wide.size()))));
    handle = LoadLibraryW(wide.c_str());
    if (handle == nullptr) return;
    auto get = reinterpret_cast<GetFactoryProc>(symbol("GetPluginFactory"));
    if (get) factory = get();
}

LoadedModule::~LoadedModule() {
    if (handle) FreeLibrary(static_cast<HMODULE>(handle));
}

void* LoadedModule::symbol(const char* name) const {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle), name));
}

#else

// The release check points YAWP_VST3_TEST_MODULE at a packaged bundle's
// module; the built one otherwise.
std::string module_path() {
    const char* chosen = std::getenv("YAWP_VST3_TEST_MODULE");
    return chosen != nullptr && chosen[0] != '\0' ? chosen : YAWP_VST3_MODULE;
}

LoadedModule::LoadedModule(const std::string& path) {
    handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) return;
    using Entry = bool (*)(void*);
    auto entry = reinterpret_cast<Entry>(symbol("ModuleEntry"));
    entered = entry != nullptr && entry(handle);
    auto get = reinterpret_cast<GetFactoryProc>(symbol("GetPluginFactory"));
    if (entered && get) factory = get();
}

LoadedModule::~LoadedModule() {
    if (handle == nullptr) return;
    using Exit = bool (*)();
    auto exit = reinterpret_cast<Exit>(symbol("ModuleExit"));
    if (entered && exit) exit();
    dlclose(handle);
}

void* LoadedModule::symbol(const char* name) const { return dlsym(handle, name); }

#endif

LoadedModule& shared_module() {
    static LoadedModule module(module_path());
    return module;
}

Plugin::Plugin(IPluginFactory* factory) {
    // Like a host: the audio module class is the processor.
    TUID cid{};
    for (int32 i = 0; i < factory->countClasses(); ++i) {
        PClassInfo info;
        if (factory->getClassInfo(i, &info) == kResultOk && std::strcmp(info.category, kVstAudioEffectClass) == 0)
            std::memcpy(cid, info.cid, sizeof cid);
    }
    void* obj = nullptr;
    if (factory->createInstance(cid, IComponent::iid, &obj) != kResultOk) return;
    component = static_cast<IComponent*>(obj);
    EXPECT_EQ(component->initialize(&host), kResultOk);
    EXPECT_EQ(component->queryInterface(IAudioProcessor::iid, &obj), kResultOk);
    processor = static_cast<IAudioProcessor*>(obj);

    EXPECT_EQ(component->getControllerClassId(cid), kResultOk);
    if (factory->createInstance(cid, IEditController::iid, &obj) != kResultOk) return;
    controller = static_cast<IEditController*>(obj);
    EXPECT_EQ(controller->initialize(&host), kResultOk);
}

Plugin::~Plugin() {
    if (processor) processor->release();
    if (component) {
        component->setActive(false);
        component->terminate();
        component->release();
    }
    if (controller) {
        controller->terminate();
        controller->release();
    }
}

void Plugin::activate(double rate, int32 max_block) {
    SpeakerArrangement mono = kSpeakerM;
    EXPECT_EQ(processor->setBusArrangements(&mono, 1, &mono, 1), kResultTrue);
    EXPECT_EQ(component->activateBus(kAudio, kInput, 0, true), kResultOk);
    EXPECT_EQ(component->activateBus(kAudio, kOutput, 0, true), kResultOk);
    ProcessSetup setup{kRealtime, kSample32, max_block, rate};
    EXPECT_EQ(processor->setupProcessing(setup), kResultOk);
    EXPECT_EQ(component->setActive(true), kResultOk);
}

tresult Plugin::process(int32 n, IParameterChanges* changes, IParameterChanges* outputs, ProcessContext* context,
                        const std::vector<float>& input) {
    in.assign(static_cast<size_t>(n), 0.0f);
    for (size_t i = 0; i < input.size() && i < in.size(); ++i) in[i] = input[i];
    out.assign(static_cast<size_t>(n), 1.0f);
    float* in_channels[] = {in.data()};
    float* out_channels[] = {out.data()};
    AudioBusBuffers in_bus, out_bus;
    in_bus.numChannels = out_bus.numChannels = 1;
    in_bus.channelBuffers32 = in_channels;
    out_bus.channelBuffers32 = out_channels;
    ProcessData data;
    data.numSamples = n;
    data.numInputs = data.numOutputs = 1;
    data.inputs = &in_bus;
    data.outputs = &out_bus;
    data.inputParameterChanges = changes;
    data.outputParameterChanges = outputs;
    data.processContext = context;
    return processor->process(data);
}

std::vector<uint8_t> Plugin::save() {
    MemoryStream stream;
    EXPECT_EQ(component->getState(&stream), kResultOk);
    return stream.bytes;
}

tresult Plugin::restore(const std::vector<uint8_t>& bytes) {
    MemoryStream stream(bytes);
    return component->setState(&stream);
}

std::vector<uint8_t> document(float position) {
    state::ParameterValues v;
    for (uint32_t i = 0; i < catalogue::kInputCount; ++i) v[i] = static_cast<float>(catalogue::entry(i)->def);
    v[catalogue::kPosition] = position;
    std::vector<uint8_t> bytes;
    EXPECT_EQ(state::save_document(state::kFormatVst3, 48000, v, &bytes), 0);
    return bytes;
}

std::vector<float> values_of(const std::vector<uint8_t>& document) {
    state::Document doc;
    state::ParameterValues values{};
    EXPECT_EQ(state::parse_document({document.data(), document.size()}, &doc), 0);
    EXPECT_EQ(state::check_document(doc, &values), 0);
    return {values.begin(), values.end()};
}

float sample_rate_of(const std::vector<uint8_t>& document) {
    state::Document doc;
    EXPECT_EQ(state::parse_document({document.data(), document.size()}, &doc), 0);
    const std::optional<state::ByteView> rate = doc.info.lookup("sample_rate");
    if (!rate || rate->size != 4) return -1;
    return state::load_f32le(rate->data);
}

}  // namespace yawp::test
