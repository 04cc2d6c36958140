// The interface ids the module compares and hands out. The headers declare
// each id; exactly one translation unit defines them.
#include "vst3/sdk.h"

namespace Steinberg {
DEF_CLASS_IID(FUnknown)
DEF_CLASS_IID(IBStream)
DEF_CLASS_IID(IPluginBase)
DEF_CLASS_IID(IPluginFactory)
DEF_CLASS_IID(IPluginFactory2)
DEF_CLASS_IID(IPluginFactory3)
DEF_CLASS_IID(IPlugView)
DEF_CLASS_IID(IPlugViewContentScaleSupport)
#if SMTG_OS_LINUX
namespace Linux {
DEF_CLASS_IID(IEventHandler)
DEF_CLASS_IID(IRunLoop)
DEF_CLASS_IID(ITimerHandler)
}  // namespace Linux
#endif

namespace Vst {
DEF_CLASS_IID(IAudioProcessor)
DEF_CLASS_IID(IComponent)
DEF_CLASS_IID(IComponentHandler)
DEF_CLASS_IID(IConnectionPoint)
DEF_CLASS_IID(IEditController)
DEF_CLASS_IID(IMidiMapping)
DEF_CLASS_IID(IParamValueQueue)
DEF_CLASS_IID(IParameterChanges)
DEF_CLASS_IID(IProcessContextRequirements)
}  // namespace Vst
}  // namespace Steinberg
