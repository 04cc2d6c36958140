// The edit controller: descriptions, conversions and stored values through
// the loaded module; the editor's edits on a controller of this process.
#include <gtest/gtest.h>

#include "vst3/controller.h"
#include "vst3/factory.h"
#include "vst3_host.h"

namespace yawp::test {
namespace {

namespace cat = catalogue;
using Call = RecordingHandler::Call;

const ParamID kMix = cat::vst3_id(cat::kMix);
const ParamID kSyncRate = cat::vst3_id(cat::kLfoSyncRate);
const ParamID kModPosition = cat::vst3_id(cat::kOutModPosition);
constexpr ParamID kUnknown = 77;

TEST(Vst3Controller, DescribesAndConvertsTheParameters) {
    Plugin plugin;
    IEditController& c = *plugin.controller;
    EXPECT_EQ(c.getParameterCount(), 36);
    ParameterInfo info{};
    ASSERT_EQ(c.getParameterInfo(cat::kBypass, info), kResultOk);
    EXPECT_EQ(info.flags, ParameterInfo::kCanAutomate | ParameterInfo::kIsBypass);
    ASSERT_EQ(c.getParameterInfo(35, info), kResultOk);
    EXPECT_EQ(info.flags, ParameterInfo::kIsReadOnly);
    EXPECT_EQ(c.getParameterInfo(36, info), kResultFalse);

    String128 text{};
    ASSERT_EQ(c.getParamStringByValue(kMix, 0.5, text), kResultOk);
    EXPECT_TRUE(std::equal(text, text + 6, u"50.00"));
    ParamValue normalized = 0;
    vst3::copy_text(text, "12.9");
    ASSERT_EQ(c.getParamValueByString(kMix, text, normalized), kResultOk);
    EXPECT_DOUBLE_EQ(normalized, 0.12);
    EXPECT_EQ(c.getParamStringByValue(kUnknown, 0.5, text), kResultFalse);
    EXPECT_EQ(c.getParamValueByString(kUnknown, text, normalized), kResultFalse);
    EXPECT_NEAR(c.normalizedParamToPlain(cat::vst3_id(cat::kLfoFreeRate), 0.5), 2.0, 1e-12);
    EXPECT_EQ(c.plainParamToNormalized(kUnknown, 0.25), 0.25);
}

TEST(Vst3Controller, StoresCoercedValues) {
    Plugin plugin;
    IEditController& c = *plugin.controller;
    EXPECT_EQ(c.setParamNormalized(kSyncRate, 0.5), kResultOk);
    EXPECT_DOUBLE_EQ(c.getParamNormalized(kSyncRate), 12.0 / 23.0);  // 13
    EXPECT_EQ(c.setParamNormalized(cat::vst3_id(cat::kMidOn), 0.4999), kResultOk);
    EXPECT_EQ(c.getParamNormalized(cat::vst3_id(cat::kMidOn)), 0.0);
    EXPECT_EQ(c.setParamNormalized(kMix, 1.5), kResultOk);
    EXPECT_EQ(c.getParamNormalized(kMix), 1.0);
    EXPECT_EQ(c.setParamNormalized(kModPosition, 0.42), kResultOk);
    EXPECT_DOUBLE_EQ(c.getParamNormalized(kModPosition), 0.42);
    EXPECT_EQ(c.setParamNormalized(kUnknown, 0.5), kResultFalse);

    MemoryStream stream;
    EXPECT_EQ(c.getState(&stream), kNotImplemented);
    IPlugView* view = c.createView(ViewType::kEditor);
#ifdef _WIN32
    // This bundle has no WebView2 loader and this prefix no runtime: no
    // editor at all, so that the host shows its own controls.
    EXPECT_EQ(view, nullptr);
#else
    ASSERT_NE(view, nullptr);
    // On Linux the view embeds into X11 windows, and only with the host's
    // run loop: a host without one (no frame at all here) gets no editor.
    EXPECT_EQ(view->isPlatformTypeSupported(kPlatformTypeX11EmbedWindowID), kResultTrue);
    EXPECT_EQ(view->isPlatformTypeSupported(kPlatformTypeHWND), kResultFalse);
    EXPECT_EQ(view->attached(reinterpret_cast<void*>(uintptr_t(1)), kPlatformTypeX11EmbedWindowID), kResultFalse);
    EXPECT_EQ(view->attached(nullptr, kPlatformTypeHWND), kInvalidArgument);
    ViewRect size;
    EXPECT_EQ(view->getSize(&size), kResultOk);
    EXPECT_EQ(size.getWidth(), 700);
    EXPECT_EQ(size.getHeight(), 677);
    EXPECT_EQ(view->onSize(&size), kResultFalse) << "not attached";
    EXPECT_EQ(view->release(), 0u);
#endif
    EXPECT_EQ(c.createView("another"), nullptr);
    void* obj = nullptr;
    ASSERT_EQ(c.queryInterface(IMidiMapping::iid, &obj), kResultOk);
    ParamID id = 0;
    EXPECT_EQ(static_cast<IMidiMapping*>(obj)->getMidiControllerAssignment(0, 0, 7, id), kInvalidArgument);
    static_cast<IMidiMapping*>(obj)->release();
}

TEST(Vst3Controller, HoldsOneReferenceToTheHandler) {
    Plugin plugin;
    IEditController& c = *plugin.controller;
    RecordingHandler first, second;
    c.setComponentHandler(&first);
    c.setComponentHandler(&first);
    EXPECT_EQ(first.refs, 2);
    c.setComponentHandler(&second);
    EXPECT_EQ(first.refs, 1);
    EXPECT_EQ(second.refs, 2);
    plugin.controller->terminate();
    plugin.controller->release();
    plugin.controller = nullptr;
    EXPECT_EQ(second.refs, 1) << "the last release lets the handler go";
}

TEST(Vst3Controller, EditsReachTheHostThroughTheHandler) {
    void* obj = nullptr;
    ASSERT_EQ(vst3::factory()->createInstance(vst3::kControllerCid, IEditController::iid, &obj), kResultOk);
    auto* controller = static_cast<vst3::Controller*>(static_cast<IEditController*>(obj));
    controller->perform_edit(cat::kMix, 150.0f);  // no handler: only stored
    EXPECT_EQ(controller->value(cat::kMix), 100.0);

    RecordingHandler handler;
    controller->setComponentHandler(&handler);
    const ParamID mid_on = cat::vst3_id(cat::kMidOn);
    controller->begin_edit(cat::kMidOn, 0.3f);
    controller->perform_edit(cat::kMix, 150.0f);
    controller->end_edit(cat::kLfoSyncRate, 12.5f);
    controller->begin_edit(36, 1.0f);
    EXPECT_EQ(handler.calls, (std::vector<Call>{{'b', mid_on, 0},
                                                {'p', mid_on, 0.0},
                                                {'p', kMix, 1.0},
                                                {'p', kSyncRate, 12.0 / 23.0},
                                                {'e', kSyncRate, 0}}));
    EXPECT_EQ(controller->value(cat::kLfoSyncRate), 13.0);
    static_cast<IEditController*>(controller)->release();
}

}  // namespace
}  // namespace yawp::test
