// The VST3 interfaces this module implements and calls, and the few helpers
// every object of the module shares.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include <pluginterfaces/base/funknown.h>
#include <pluginterfaces/base/ibstream.h>
#include <pluginterfaces/base/ipluginbase.h>
#include <pluginterfaces/gui/iplugview.h>
#include <pluginterfaces/gui/iplugviewcontentscalesupport.h>
#include <pluginterfaces/vst/ivstaudioprocessor.h>
#include <pluginterfaces/vst/ivstcomponent.h>
#include <pluginterfaces/vst/ivsteditcontroller.h>
#include <pluginterfaces/vst/ivstmessage.h>
#include <pluginterfaces/vst/ivstparameterchanges.h>
#include <pluginterfaces/vst/ivstprocesscontext.h>
#include <pluginterfaces/vst/vstspeaker.h>

#include "engine/catalogue.h"

namespace yawp::vst3 {

// The catalogue keeps the host flags as plain numbers so that the engine
// needs no plug-in header; here they must still mean what VST3 says.
template <class A, class B>
constexpr bool same_flag(A a, B b) {
    return static_cast<int64_t>(a) == static_cast<int64_t>(b);
}
static_assert(same_flag(catalogue::kHostCanAutomate, Steinberg::Vst::ParameterInfo::kCanAutomate));
static_assert(same_flag(catalogue::kHostIsReadOnly, Steinberg::Vst::ParameterInfo::kIsReadOnly));
static_assert(same_flag(catalogue::kHostIsBypass, Steinberg::Vst::ParameterInfo::kIsBypass));

// Interface ids arrive from hosts as raw pointers, possibly null.
inline bool same_id(const void* id, const Steinberg::FUID& iid) {
    return id != nullptr && Steinberg::FUnknownPrivate::iidEqual(id, iid.toTUID());
}
inline bool same_id(const void* id, const Steinberg::TUID cid) {
    return id != nullptr && Steinberg::FUnknownPrivate::iidEqual(id, cid);
}

// Text into a fixed VST3 string field of `capacity` units, cut to fit and
// zero-filled. Steinberg's char16 is wchar_t on Windows, so units are
// copied one by one; 8-bit text is plain ASCII in every string of ours.
template <class Out, class In>
void copy_text(Out* out, size_t capacity, const In* text) {
    size_t i = 0;
    for (; text != nullptr && text[i] != 0 && i + 1 < capacity; ++i)
        out[i] = static_cast<Out>(static_cast<std::make_unsigned_t<In>>(text[i]));
    for (; i < capacity; ++i) out[i] = 0;
}

template <class Out, size_t N, class In>
void copy_text(Out (&out)[N], const In* text) {
    copy_text(out, N, text);
}

}  // namespace yawp::vst3
