// The editor view's size on both platforms: the content scale a host
// reports, the rectangles it proposes, the frame's answers to a resize
// request (inside the call, later, never, or a refusal), and the view as a
// host meets it before it is attached.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "vst3/view_size.h"
#include "vst3/view_sizing.h"
#include "frame_double.h"
#include "vst3_host.h"

namespace Steinberg {
DEF_CLASS_IID(IPlugFrame)
}

namespace yawp::test {
namespace {

using vst3::ViewSizing;

ViewRect rect(int32 left, int32 top, int32 right, int32 bottom) { return ViewRect(left, top, right, bottom); }

bool same(const ViewRect& a, const ViewRect& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

std::string text(const ViewRect& r) {
    return std::to_string(r.left) + "," + std::to_string(r.top) + " " + std::to_string(r.getWidth()) + "x" +
           std::to_string(r.getHeight());
}

// --- The arithmetic ------------------------------------------------------------

TEST(ViewSize, ThePagesSizeTimesTheScaleRounded) {
    EXPECT_TRUE(same(vst3::view_size::size_at(1.0, 1.0), rect(0, 0, 700, 677)));
    EXPECT_TRUE(same(vst3::view_size::size_at(2.0, 1.0), rect(0, 0, 1400, 1354)));
    EXPECT_TRUE(same(vst3::view_size::size_at(1.5, 1.0), rect(0, 0, 1050, 1016)));
    EXPECT_TRUE(same(vst3::view_size::size_at(1.25, 1.0), rect(0, 0, 875, 846)));
    EXPECT_TRUE(same(vst3::view_size::size_at(1.0, 0.5), rect(0, 0, 350, 339)));
    for (double nonsense : {0.0, -1.0, 0.1, 100.0, double(NAN), double(INFINITY)})
        EXPECT_EQ(vst3::view_size::valid_scale(nonsense), 1.0) << nonsense;
    EXPECT_EQ(vst3::view_size::valid_scale(2.5), 2.5);
}

// Awkward rectangles become the page's proportions within 0.5x to 3x of the
// scaled size; the side that moved further decides, and the corner stays.
TEST(ViewSize, ProposedRectanglesKeepThePagesProportionsWithinTheZoomLimits) {
    struct Case {
        double scale;
        ViewRect proposed;
        ViewRect expected;
    };
    const Case cases[] = {
        {1.0, rect(0, 0, 700, 677), rect(0, 0, 700, 677)},         // as it is
        {1.0, rect(0, 0, 1400, 677), rect(0, 0, 1400, 1354)},      // wider: width leads
        {1.0, rect(0, 0, 700, 1354), rect(0, 0, 1400, 1354)},      // taller: height leads
        {1.0, rect(0, 0, 2000, 100), rect(0, 0, 2000, 1934)},      // wide
        {1.0, rect(0, 0, 100, 2000), rect(0, 0, 2068, 2000)},      // tall
        {1.0, rect(0, 0, 1, 1), rect(0, 0, 350, 339)},             // tiny
        {1.0, rect(0, 0, 0, 0), rect(0, 0, 350, 339)},             // nothing
        {1.0, rect(0, 0, -50, -50), rect(0, 0, 350, 339)},         // inside out
        {1.0, rect(0, 0, 100000, 90000), rect(0, 0, 2100, 2031)},  // huge
        {2.0, rect(0, 0, 1, 1), rect(0, 0, 700, 677)},             // the limits follow the scale
        {2.0, rect(0, 0, 100000, 100000), rect(0, 0, 4200, 4062)},
        {1.5, rect(30, 40, 1230, 1040), rect(30, 40, 1230, 1201)}, // the corner stays
    };
    for (const Case& c : cases) {
        ViewRect r = c.proposed;
        vst3::view_size::constrain(&r, c.scale, 1.0);
        EXPECT_TRUE(same(r, c.expected)) << text(c.proposed) << " at " << c.scale << " gave " << text(r);
        // What comes out goes through unchanged.
        ViewRect again = r;
        vst3::view_size::constrain(&again, c.scale, vst3::view_size::zoom_fitting(r.getWidth(), r.getHeight(), c.scale));
        EXPECT_TRUE(same(again, r)) << text(r);
    }
}

// --- The sizing against frames that answer as hosts do ------------------------------

// A view's window, as the sizing sees it.
struct Window {
    std::vector<std::pair<int, int>> sizes;
    static void apply(void* self, int width, int height) { static_cast<Window*>(self)->sizes.push_back({width, height}); }
};

// What the frame double's view does with onSize: hands it to the sizing.
struct SizedView : HostObject<IPlugView> {
    explicit SizedView(ViewSizing* sizing) : sizing(sizing) {}
    tresult PLUGIN_API isPlatformTypeSupported(FIDString) override { return kResultFalse; }
    tresult PLUGIN_API attached(void*, FIDString) override { return kResultFalse; }
    tresult PLUGIN_API removed() override { return kResultOk; }
    tresult PLUGIN_API onWheel(float) override { return kResultFalse; }
    tresult PLUGIN_API onKeyDown(char16, int16, int16) override { return kResultFalse; }
    tresult PLUGIN_API onKeyUp(char16, int16, int16) override { return kResultFalse; }
    tresult PLUGIN_API getSize(ViewRect*) override { return kResultFalse; }
    tresult PLUGIN_API onSize(ViewRect* r) override {
        ++on_size_calls;
        sizing->host_sized(*r, nullptr);
        return kResultOk;
    }
    tresult PLUGIN_API onFocus(TBool) override { return kResultFalse; }
    tresult PLUGIN_API setFrame(IPlugFrame*) override { return kResultOk; }
    tresult PLUGIN_API canResize() override { return kResultTrue; }
    tresult PLUGIN_API checkSizeConstraint(ViewRect*) override { return kResultTrue; }
    ViewSizing* sizing;
    int on_size_calls = 0;
};

TEST(ViewSizing, TheScaleBeforeTheEditorIsShownOnlyChangesItsSize) {
    Window window;
    ViewSizing sizing(&window, Window::apply);
    FrameDouble frame;
    SizedView view(&sizing);
    EXPECT_TRUE(same(sizing.size(nullptr), rect(0, 0, 700, 677)));
    EXPECT_TRUE(sizing.set_scale(2.0, &frame, &view, nullptr));
    EXPECT_FALSE(sizing.set_scale(2.0, &frame, &view, nullptr));
    EXPECT_TRUE(same(sizing.size(nullptr), rect(0, 0, 1400, 1354)));
    EXPECT_TRUE(sizing.set_scale(1.5, nullptr, &view, nullptr));
    EXPECT_TRUE(same(sizing.size(nullptr), rect(0, 0, 1050, 1016)));
    EXPECT_TRUE(frame.asked.empty());
    EXPECT_TRUE(window.sizes.empty());
}

TEST(ViewSizing, AScaleChangeWhileShownAsksTheFrameAndEndsInAConsistentWindow) {
    using Answer = FrameDouble::Answer;
    struct Case {
        Answer answer;
        const char* name;
        bool window_follows;  // the window ends at the new size
    };
    for (const Case& c : {Case{Answer::kInside, "onSize inside resizeView", true},
                          Case{Answer::kLater, "onSize later", true}, Case{Answer::kNever, "never onSize", true},
                          Case{Answer::kRefuse, "refused", false}}) {
        SCOPED_TRACE(c.name);
        Window window;
        ViewSizing sizing(&window, Window::apply);
        FrameDouble frame;
        frame.answer = c.answer;
        SizedView view(&sizing);
        sizing.shown_at(sizing.size(nullptr));
        EXPECT_TRUE(sizing.set_scale(2.0, &frame, &view, nullptr));
        ASSERT_EQ(frame.asked.size(), 1u);
        EXPECT_TRUE(same(frame.asked[0], rect(0, 0, 1400, 1354)));
        EXPECT_EQ(frame.deepest, 1) << "resizeView was entered again";
        EXPECT_EQ(view.on_size_calls, c.answer == Answer::kInside ? 1 : 0);
        if (c.window_follows) {
            EXPECT_EQ(window.sizes, (std::vector<std::pair<int, int>>{{1400, 1354}}));
            EXPECT_TRUE(same(sizing.size(nullptr), rect(0, 0, 1400, 1354)));
        } else {
            EXPECT_TRUE(window.sizes.empty());
            EXPECT_TRUE(same(sizing.size(nullptr), rect(0, 0, 700, 677)));
        }
        if (c.answer == Answer::kLater) {
            // The host's own onSize, when it comes, is simply applied again.
            ViewRect given = frame.asked[0];
            view.onSize(&given);
            EXPECT_EQ(window.sizes.back(), (std::pair<int, int>{1400, 1354}));
        }
    }
}

TEST(ViewSizing, AHostThatSendsTheScaleAgainFromInsideResizeViewIsNotAskedTwice) {
    Window window;
    ViewSizing sizing(&window, Window::apply);
    FrameDouble frame;
    frame.answer = FrameDouble::Answer::kScaleAgain;
    struct ScalingView : SizedView {
        using SizedView::SizedView;
        tresult PLUGIN_API queryInterface(const TUID iid, void** obj) override {
            if (vst3::same_id(iid, IPlugViewContentScaleSupport::iid)) {
                *obj = &scale;
                return kResultOk;
            }
            return SizedView::queryInterface(iid, obj);
        }
        struct Scale : HostObject<IPlugViewContentScaleSupport> {
            ScalingView* view = nullptr;
            tresult PLUGIN_API setContentScaleFactor(ScaleFactor factor) override {
                view->sizing->set_scale(factor, view->frame, view, nullptr);
                return kResultTrue;
            }
        } scale;
        IPlugFrame* frame = nullptr;
    } view(&sizing);
    view.scale.view = &view;
    view.frame = &frame;
    sizing.shown_at(sizing.size(nullptr));
    EXPECT_TRUE(sizing.set_scale(2.0, &frame, &view, nullptr));
    EXPECT_EQ(frame.asked.size(), 1u);
    EXPECT_EQ(frame.deepest, 1);
    // The scale it sent last counts from now on.
    EXPECT_EQ(sizing.scale(), 3.0);
}

// --- The view, as a host meets it before attaching it ---------------------------------

TEST(Vst3ViewSize, AnswersScaleSizeAndConstraintsBeforeItIsAttached) {
    Plugin plugin;
    ASSERT_NE(plugin.controller, nullptr);
    IPlugView* view = plugin.controller->createView(Vst::ViewType::kEditor);
    if (view == nullptr) GTEST_SKIP() << "no editor on this system";
    IPlugViewContentScaleSupport* scale = nullptr;
    ASSERT_EQ(view->queryInterface(IPlugViewContentScaleSupport::iid, reinterpret_cast<void**>(&scale)), kResultOk);
    EXPECT_EQ(view->canResize(), kResultTrue);

    ViewRect size;
    ASSERT_EQ(view->getSize(&size), kResultOk);
    EXPECT_TRUE(same(size, rect(0, 0, 700, 677)));
    EXPECT_EQ(scale->setContentScaleFactor(2.0f), kResultTrue);
    ASSERT_EQ(view->getSize(&size), kResultOk);
    EXPECT_TRUE(same(size, rect(0, 0, 1400, 1354)));
    EXPECT_EQ(scale->setContentScaleFactor(1.5f), kResultTrue);
    ASSERT_EQ(view->getSize(&size), kResultOk);
    EXPECT_TRUE(same(size, rect(0, 0, 1050, 1016)));
    ViewRect tiny(0, 0, 3, 3);
    EXPECT_EQ(view->checkSizeConstraint(&tiny), kResultTrue);
    EXPECT_TRUE(same(tiny, rect(0, 0, 525, 508)));
    EXPECT_EQ(view->checkSizeConstraint(nullptr), kInvalidArgument);
    // A scale no display has is taken as none.
    EXPECT_EQ(scale->setContentScaleFactor(std::nanf("")), kResultTrue);
    ASSERT_EQ(view->getSize(&size), kResultOk);
    EXPECT_TRUE(same(size, rect(0, 0, 700, 677)));
    // Not attached: the host's size has nowhere to go.
    ViewRect wish(0, 0, 900, 870);
    EXPECT_EQ(view->onSize(&wish), kResultFalse);

    scale->release();
    EXPECT_EQ(view->release(), 0u);
}

}  // namespace
}  // namespace yawp::test
