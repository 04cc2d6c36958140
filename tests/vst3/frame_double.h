// A host's plug frame that answers the view's resize requests the way a
// test says: with onSize inside the call, later (the test calls it), never,
// by refusing, or by sending the content scale again from inside the call.
// The test program defines IPlugFrame's interface id once.
#pragma once

#include <algorithm>
#include <vector>

#include "vst3_host.h"

namespace yawp::test {

struct FrameDouble : HostObject<IPlugFrame> {
    enum class Answer { kInside, kLater, kNever, kRefuse, kScaleAgain };
    Answer answer = Answer::kInside;
    std::vector<ViewRect> asked;
    int depth = 0;    // resizeView calls under way
    int deepest = 0;  // the most that were ever under way at once

    tresult PLUGIN_API resizeView(IPlugView* view, ViewRect* rect) override {
        asked.push_back(*rect);
        deepest = std::max(deepest, ++depth);
        if (answer == Answer::kInside) view->onSize(rect);
        if (answer == Answer::kScaleAgain) {
            IPlugViewContentScaleSupport* scale = nullptr;
            if (view->queryInterface(IPlugViewContentScaleSupport::iid, reinterpret_cast<void**>(&scale)) ==
                kResultOk) {
                scale->setContentScaleFactor(3.0f);
                scale->release();
            }
        }
        --depth;
        return answer == Answer::kRefuse ? kResultFalse : kResultTrue;
    }
};

}  // namespace yawp::test
