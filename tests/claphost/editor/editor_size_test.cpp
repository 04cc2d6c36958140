// The CLAP editor's size without a window: the host's scale, the sizes it
// proposes (gui.adjust_size) and gives (gui.set_size), and the zoom a new
// editor of the instance starts from.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>

#include "clap/editor_size.h"

namespace yawp::clap_test {
namespace {

using clap::EditorSize;

std::string text(uint32_t width, uint32_t height) { return std::to_string(width) + "x" + std::to_string(height); }

std::string text_of(const EditorSize& size) { return text(uint32_t(size.size().width), uint32_t(size.size().height)); }

TEST(ClapEditorSize, StartsAtThePagesSizeTimesTheKeptZoom) {
    EXPECT_EQ(text_of(EditorSize(1.0)), "700x677");
    EXPECT_EQ(text_of(EditorSize(0.5)), "350x339");
    EXPECT_EQ(text_of(EditorSize(1.51403)), "1060x1025");
    // A zoom that no editor could have left is brought within the limits.
    EXPECT_EQ(text_of(EditorSize(10.0)), "2100x2031");
    EXPECT_EQ(text_of(EditorSize(0.0)), "350x339");
    EXPECT_EQ(text_of(EditorSize(double(NAN))), "700x677");
    EXPECT_FALSE(EditorSize(1.0).scale_given());
}

// Physical pixels: the page's size times the scale, at the same zoom.
TEST(ClapEditorSize, TheHostsScaleMultipliesTheSizeAndNonsenseIsRefused) {
    EditorSize size(1.0);
    for (double nonsense : {0.0, -1.0, 0.1, 100.0, double(NAN), double(INFINITY)}) {
        EXPECT_FALSE(size.set_scale(nonsense)) << nonsense;
        EXPECT_FALSE(size.scale_given());
        EXPECT_EQ(text_of(size), "700x677");
    }
    EXPECT_TRUE(size.set_scale(2.0));
    EXPECT_TRUE(size.scale_given());
    EXPECT_EQ(text_of(size), "1400x1354");
    EXPECT_TRUE(size.set_scale(1.5));
    EXPECT_EQ(text_of(size), "1050x1016");
    EXPECT_FALSE(size.set_scale(0.0));
    EXPECT_EQ(size.scale(), 1.5);

    // The same scale again leaves a size the host gave alone.
    ASSERT_TRUE(size.set(1001, 968));
    EXPECT_TRUE(size.set_scale(1.5));
    EXPECT_EQ(text_of(size), "1001x968");
    // At another scale the editor keeps its zoom.
    EXPECT_TRUE(size.set_scale(3.0));
    EXPECT_EQ(text_of(size), "2002x1936");
}

// Proposed sizes become the page's proportions within 0.5x to 3x of the
// scaled size; the side that moved further decides. What comes out passes
// unchanged.
TEST(ClapEditorSize, ProposedSizesKeepThePagesProportionsWithinTheZoomLimits) {
    struct Case {
        double scale;
        uint32_t width, height;
        const char* expected;
    };
    const Case cases[] = {
        {1.0, 700, 677, "700x677"},            // as it is
        {1.0, 1400, 677, "1400x1354"},         // wider: width leads
        {1.0, 700, 1354, "1400x1354"},         // taller: height leads
        {1.0, 1050, 900, "1050x1016"},         // a corner dragged
        {1.0, 1, 1, "350x339"},                // tiny
        {1.0, 0, 0, "350x339"},                // nothing
        {1.0, 100000, 90000, "2100x2031"},     // huge
        {1.0, UINT32_MAX, UINT32_MAX, "2100x2031"},
        {2.0, 1, 1, "700x677"},                // the limits follow the scale
        {2.0, 100000, 100000, "4200x4062"},
        {1.5, 1200, 1000, "1200x1161"},
    };
    for (const Case& c : cases) {
        EditorSize size(1.0);
        ASSERT_TRUE(size.set_scale(c.scale));
        uint32_t width = c.width, height = c.height;
        ASSERT_TRUE(size.adjust(&width, &height));
        EXPECT_EQ(text(width, height), c.expected) << text(c.width, c.height) << " at " << c.scale;
        ASSERT_TRUE(size.set(width, height));
        uint32_t again_width = width, again_height = height;
        ASSERT_TRUE(size.adjust(&again_width, &again_height));
        EXPECT_EQ(text(again_width, again_height), text(width, height));
        // Adjusting changes nothing of the editor's.
        EXPECT_EQ(text_of(size), text(width, height));
    }
    EditorSize size(1.0);
    uint32_t width = 800;
    EXPECT_FALSE(size.adjust(&width, nullptr));
    EXPECT_FALSE(size.adjust(nullptr, &width));
    EXPECT_EQ(width, 800u);
}

// A size the host gives is taken as it is; the zoom is where the page fits
// it, and a new editor of the instance starts there.
TEST(ClapEditorSize, AGivenSizeIsTakenAndItsZoomKept) {
    EditorSize size(1.0);
    ASSERT_TRUE(size.set(900, 500));
    EXPECT_EQ(text_of(size), "900x500");
    EXPECT_DOUBLE_EQ(size.zoom(), 500.0 / 677.0);
    EXPECT_EQ(text_of(EditorSize(size.zoom())), "517x500");

    for (auto [width, height] : {std::pair<uint32_t, uint32_t>{0, 500}, {900, 0}, {32768, 500}, {900, UINT32_MAX}}) {
        EXPECT_FALSE(size.set(width, height)) << text(width, height);
        EXPECT_EQ(text_of(size), "900x500");
    }
    EXPECT_TRUE(size.set(EditorSize::kLargestSide, EditorSize::kLargestSide));
    EXPECT_DOUBLE_EQ(size.zoom(), 3.0);
}

TEST(ClapEditorSize, TheResizeHintsKeepThePagesAspectRatio) {
    const clap_gui_resize_hints_t hints = EditorSize::resize_hints();
    EXPECT_TRUE(hints.can_resize_horizontally);
    EXPECT_TRUE(hints.can_resize_vertically);
    EXPECT_TRUE(hints.preserve_aspect_ratio);
    EXPECT_EQ(hints.aspect_ratio_width, 700u);
    EXPECT_EQ(hints.aspect_ratio_height, 677u);
}

}  // namespace
}  // namespace yawp::clap_test
