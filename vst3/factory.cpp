#include "vst3/factory.h"

#include <cstring>
#include <iterator>
#include <new>

#include "product_version.h"
#include "vst3/controller.h"
#include "vst3/processor.h"

namespace yawp::vst3 {
namespace {

using namespace Steinberg;

constexpr const char* kVendor = "Tallow.AUDIO";
constexpr const char* kUrl = "https://tallow.audio";
constexpr const char* kEmail = "mailto:info@tallow.audio";
constexpr const char* kVersion = version::kText;
// The interfaces are those of VST 3.8.0 (unchanged since the headers we
// build against); the second class information names the builder too.
constexpr const char* kSdkVersion = "VST 3.8.0 | Quill";
constexpr const char* kSdkVersionUnicode = "VST 3.8.0";

struct ClassEntry {
    const TUID& cid;
    const char* category;
    const char* name;
    uint32 flags;
    const char* sub_categories;
};

const ClassEntry kClasses[] = {
    {kProcessorCid, kVstAudioEffectClass, kPluginName, Vst::kDistributable, kPluginCategory},
    {kControllerCid, kVstComponentControllerClass, "Yawp Wah Controller", 0, ""},
};
constexpr int32 kClassCount = static_cast<int32>(std::size(kClasses));

const ClassEntry* class_at(int32 index) { return index >= 0 && index < kClassCount ? &kClasses[index] : nullptr; }

// The fields the three class information records share.
template <class Info>
void fill_class(Info* info, const ClassEntry& c) {
    *info = Info{};
    std::memcpy(info->cid, c.cid, sizeof(TUID));
    info->cardinality = PClassInfo::kManyInstances;
    copy_text(info->category, c.category);
    copy_text(info->name, c.name);
}

template <class Info>
void fill_class_details(Info* info, const ClassEntry& c, const char* sdk_version) {
    fill_class(info, c);
    info->classFlags = c.flags;
    copy_text(info->subCategories, c.sub_categories);
    copy_text(info->vendor, "");
    copy_text(info->version, kVersion);
    copy_text(info->sdkVersion, sdk_version);
}

bool asks_for_processor(FIDString iid) {
    return same_id(iid, FUnknown::iid) || same_id(iid, IPluginBase::iid) || same_id(iid, Vst::IComponent::iid);
}

bool asks_for_controller(FIDString iid) {
    return same_id(iid, FUnknown::iid) || same_id(iid, IPluginBase::iid) ||
           same_id(iid, Vst::IEditController::iid);
}

class Factory final : public IPluginFactory3 {
public:
    tresult PLUGIN_API queryInterface(const TUID iid, void** obj) override {
        if (obj == nullptr) return kInvalidArgument;
        const bool known = same_id(iid, FUnknown::iid) || same_id(iid, IPluginFactory::iid) ||
                           same_id(iid, IPluginFactory2::iid) || same_id(iid, IPluginFactory3::iid);
        *obj = known ? this : nullptr;
        return known ? kResultOk : kNoInterface;
    }

    // Static: counting references to it would mean nothing.
    uint32 PLUGIN_API addRef() override { return 1; }
    uint32 PLUGIN_API release() override { return 1; }

    tresult PLUGIN_API getFactoryInfo(PFactoryInfo* info) override {
        if (info == nullptr) return kInvalidArgument;
        *info = PFactoryInfo{};
        copy_text(info->vendor, kVendor);
        copy_text(info->url, kUrl);
        copy_text(info->email, kEmail);
        info->flags = PFactoryInfo::kUnicode;
        return kResultOk;
    }

    int32 PLUGIN_API countClasses() override { return kClassCount; }

    tresult PLUGIN_API getClassInfo(int32 index, PClassInfo* info) override {
        const ClassEntry* c = class_at(index);
        if (c == nullptr || info == nullptr) return kInvalidArgument;
        fill_class(info, *c);
        return kResultOk;
    }

    tresult PLUGIN_API getClassInfo2(int32 index, PClassInfo2* info) override {
        const ClassEntry* c = class_at(index);
        if (c == nullptr || info == nullptr) return kInvalidArgument;
        fill_class_details(info, *c, kSdkVersion);
        return kResultOk;
    }

    tresult PLUGIN_API getClassInfoUnicode(int32 index, PClassInfoW* info) override {
        const ClassEntry* c = class_at(index);
        if (c == nullptr || info == nullptr) return kInvalidArgument;
        fill_class_details(info, *c, kSdkVersionUnicode);
        return kResultOk;
    }

    // [main-thread] The host asks for IComponent or IEditController (or
    // their bases) and queries the other faces from there.
    tresult PLUGIN_API createInstance(FIDString cid, FIDString iid, void** obj) override {
        if (obj == nullptr) return kInvalidArgument;
        if (same_id(cid, kProcessorCid)) {
            if (!asks_for_processor(iid)) return kNoInterface;
            Vst::IComponent* processor = new_processor();
            if (processor == nullptr) return kOutOfMemory;
            *obj = processor;
            return kResultOk;
        }
        if (same_id(cid, kControllerCid)) {
            if (!asks_for_controller(iid)) return kNoInterface;
            Controller* controller = new (std::nothrow) Controller;
            if (controller == nullptr) return kOutOfMemory;
            *obj = static_cast<Vst::IEditController*>(controller);
            return kResultOk;
        }
        *obj = nullptr;
        return kNoInterface;
    }

    tresult PLUGIN_API setHostContext(FUnknown*) override { return kNotImplemented; }
};

Factory g_factory;

}  // namespace

IPluginFactory3* factory() { return &g_factory; }

}  // namespace yawp::vst3
