// Our own WebView2 declarations against the published interface tables:
// every method at its slot with its exact signature, every interface id,
// and our two COM objects' answers. A wrong slot would call the wrong
// function of the real browser, which nothing else here could notice.
#include <cstddef>
#include <cstring>
#include <type_traits>

#include "tests/webui/support.h"

namespace webui_test {
namespace {

// With the Itanium C++ ABI that MinGW uses, a pointer to a virtual member
// function holds 1 + the byte offset of its entry in the function table.
template <class Method>
long slot_of(Method method) {
    struct {
        ptrdiff_t pointer;
        ptrdiff_t adjustment;
    } raw;
    static_assert(sizeof(method) == sizeof(raw));
    memcpy(&raw, &method, sizeof(raw));
    if ((raw.pointer & 1) == 0 || raw.adjustment != 0) return -1;
    return long((raw.pointer - 1) / ptrdiff_t(sizeof(void*)));
}

struct Slot {
    const char* name;
    long actual;
    long expected;
};

// The method type is spelled out in full, so a parameter list that differs
// from the table does not compile.
template <class Method>
Slot check(std::type_identity_t<Method> method, long expected, const char* name) {
    return {name, slot_of(method), expected};
}

#define SLOT(I, M, S, ...) check<HRESULT (STDMETHODCALLTYPE I::*)(__VA_ARGS__)>(&I::M, S, #I "::" #M)

const Slot kSlots[] = {
    // ICoreWebView2EnvironmentOptions
    SLOT(ICoreWebView2EnvironmentOptions, get_AdditionalBrowserArguments, 3, LPWSTR*),
    SLOT(ICoreWebView2EnvironmentOptions, put_AdditionalBrowserArguments, 4, LPCWSTR),
    SLOT(ICoreWebView2EnvironmentOptions, get_Language, 5, LPWSTR*),
    SLOT(ICoreWebView2EnvironmentOptions, put_Language, 6, LPCWSTR),
    SLOT(ICoreWebView2EnvironmentOptions, get_TargetCompatibleBrowserVersion, 7, LPWSTR*),
    SLOT(ICoreWebView2EnvironmentOptions, put_TargetCompatibleBrowserVersion, 8, LPCWSTR),
    SLOT(ICoreWebView2EnvironmentOptions, get_AllowSingleSignOnUsingOSPrimaryAccount, 9, BOOL*),
    SLOT(ICoreWebView2EnvironmentOptions, put_AllowSingleSignOnUsingOSPrimaryAccount, 10, BOOL),
    // ICoreWebView2Environment
    SLOT(ICoreWebView2Environment, CreateCoreWebView2Controller, 3, HWND, ICoreWebView2CreateCoreWebView2ControllerCompletedHandler*),
    SLOT(ICoreWebView2Environment, CreateWebResourceResponse, 4, IStream*, int, LPCWSTR, LPCWSTR, ICoreWebView2WebResourceResponse**),
    SLOT(ICoreWebView2Environment, get_BrowserVersionString, 5, LPWSTR*),
    SLOT(ICoreWebView2Environment, add_NewBrowserVersionAvailable, 6, ICoreWebView2NewBrowserVersionAvailableEventHandler*, EventRegistrationToken*),
    SLOT(ICoreWebView2Environment, remove_NewBrowserVersionAvailable, 7, EventRegistrationToken),
    // ICoreWebView2Controller
    SLOT(ICoreWebView2Controller, get_IsVisible, 3, BOOL*),
    SLOT(ICoreWebView2Controller, put_IsVisible, 4, BOOL),
    SLOT(ICoreWebView2Controller, get_Bounds, 5, RECT*),
    SLOT(ICoreWebView2Controller, put_Bounds, 6, RECT),
    SLOT(ICoreWebView2Controller, get_ZoomFactor, 7, double*),
    SLOT(ICoreWebView2Controller, put_ZoomFactor, 8, double),
    SLOT(ICoreWebView2Controller, add_ZoomFactorChanged, 9, ICoreWebView2ZoomFactorChangedEventHandler*, EventRegistrationToken*),
    SLOT(ICoreWebView2Controller, remove_ZoomFactorChanged, 10, EventRegistrationToken),
    SLOT(ICoreWebView2Controller, SetBoundsAndZoomFactor, 11, RECT, double),
    SLOT(ICoreWebView2Controller, MoveFocus, 12, COREWEBVIEW2_MOVE_FOCUS_REASON),
    SLOT(ICoreWebView2Controller, add_MoveFocusRequested, 13, ICoreWebView2MoveFocusRequestedEventHandler*, EventRegistrationToken*),
    SLOT(ICoreWebView2Controller, remove_MoveFocusRequested, 14, EventRegistrationToken),
    SLOT(ICoreWebView2Controller, add_GotFocus, 15, ICoreWebView2FocusChangedEventHandler*, EventRegistrationToken*),
    SLOT(ICoreWebView2Controller, remove_GotFocus, 16, EventRegistrationToken),
    SLOT(ICoreWebView2Controller, add_LostFocus, 17, ICoreWebView2FocusChangedEventHandler*, EventRegistrationToken*),
    SLOT(ICoreWebView2Controller, remove_LostFocus, 18, EventRegistrationToken),
    SLOT(ICoreWebView2Controller, add_AcceleratorKeyPressed, 19, ICoreWebView2AcceleratorKeyPressedEventHandler*, EventRegistrationToken*),
    SLOT(ICoreWebView2Controller, remove_AcceleratorKeyPressed, 20, EventRegistrationToken),
    SLOT(ICoreWebView2Controller, get_ParentWindow, 21, HWND*),
    SLOT(ICoreWebView2Controller, put_ParentWindow, 22, HWND),
    SLOT(ICoreWebView2Controller, NotifyParentWindowPositionChanged, 23),
    SLOT(ICoreWebView2Controller, Close, 24),
    SLOT(ICoreWebView2Controller, get_CoreWebView2, 25, ICoreWebView2**),
    // ICoreWebView2Controller2
    SLOT(ICoreWebView2Controller2, get_DefaultBackgroundColor, 26, COREWEBVIEW2_COLOR*),
    SLOT(ICoreWebView2Controller2, put_DefaultBackgroundColor, 27, COREWEBVIEW2_COLOR),
    // ICoreWebView2Controller3
    SLOT(ICoreWebView2Controller3, get_RasterizationScale, 28, double*),
    SLOT(ICoreWebView2Controller3, put_RasterizationScale, 29, double),
    SLOT(ICoreWebView2Controller3, get_ShouldDetectMonitorScaleChanges, 30, BOOL*),
    SLOT(ICoreWebView2Controller3, put_ShouldDetectMonitorScaleChanges, 31, BOOL),
    SLOT(ICoreWebView2Controller3, add_RasterizationScaleChanged, 32, ICoreWebView2RasterizationScaleChangedEventHandler*, EventRegistrationToken*),
    SLOT(ICoreWebView2Controller3, remove_RasterizationScaleChanged, 33, EventRegistrationToken),
    SLOT(ICoreWebView2Controller3, get_BoundsMode, 34, COREWEBVIEW2_BOUNDS_MODE*),
    SLOT(ICoreWebView2Controller3, put_BoundsMode, 35, COREWEBVIEW2_BOUNDS_MODE),
    // ICoreWebView2Controller4
    SLOT(ICoreWebView2Controller4, get_AllowExternalDrop, 36, BOOL*),
    SLOT(ICoreWebView2Controller4, put_AllowExternalDrop, 37, BOOL),
    // ICoreWebView2
    SLOT(ICoreWebView2, get_Settings, 3, ICoreWebView2Settings**),
    SLOT(ICoreWebView2, get_Source, 4, LPWSTR*),
    SLOT(ICoreWebView2, Navigate, 5, LPCWSTR),
    SLOT(ICoreWebView2, NavigateToString, 6, LPCWSTR),
    SLOT(ICoreWebView2, add_NavigationStarting, 7, ICoreWebView2NavigationStartingEventHandler*, EventRegistrationToken*),
    SLOT(ICoreWebView2, remove_NavigationStarting, 8, EventRegistrationToken),
    SLOT(ICoreWebView2, add_ContentLoading, 9, ICoreWebView2ContentLoadingEventHandler*, EventRegistrationToken*),
    SLOT(ICoreWebView2, remove_ContentLoading, 10, EventRegistrationToken),
    SLOT(ICoreWebView2, add_SourceChanged, 11, ICoreWebView2SourceChangedEventHandler*, EventRegistrationToken*),
    SLOT(ICoreWebView2, remove_SourceChanged, 12, EventRegistrationToken),
    SLOT(ICoreWebView2, add_HistoryChanged, 13, ICoreWebView2HistoryChangedEventHandler*, EventRegistrationToken*),
    SLOT(ICoreWebView2, remove_HistoryChanged, 14, EventRegistrationToken),
    SLOT(ICoreWebView2, add_NavigationCompleted, 15, ICoreWebView2NavigationCompletedEventHandler*, EventRegistrationToken*),
    SLOT(ICoreWebView2, remove_NavigationCompleted, 16, EventRegistrationToken),
    SLOT(ICoreWebView2, add_FrameNavigationStarting, 17, ICoreWebView2NavigationStartingEventHandler*, EventRegistrationToken*),
    SLOT(ICoreWebView2, remove_FrameNavigationStarting, 18, EventRegistrationToken),
    SLOT(ICoreWebView2, add_FrameNavigationCompleted, 19, ICoreWebView2NavigationCompletedEventHandler*, EventRegistrationToken*),
    SLOT(ICoreWebView2, remove_FrameNavigationCompleted, 20, EventRegistrationToken),
    SLOT(ICoreWebView2, add_ScriptDialogOpening, 21, ICoreWebView2ScriptDialogOpeningEventHandler*, EventRegistrationToken*),
    SLOT(ICoreWebView2, remove_ScriptDialogOpening, 22, EventRegistrationToken),
    SLOT(ICoreWebView2, add_PermissionRequested, 23, ICoreWebView2PermissionRequestedEventHandler*, EventRegistrationToken*),
    SLOT(ICoreWebView2, remove_PermissionRequested, 24, EventRegistrationToken),
    SLOT(ICoreWebView2, add_ProcessFailed, 25, ICoreWebView2ProcessFailedEventHandler*, EventRegistrationToken*),
    SLOT(ICoreWebView2, remove_ProcessFailed, 26, EventRegistrationToken),
    SLOT(ICoreWebView2, AddScriptToExecuteOnDocumentCreated, 27, LPCWSTR, ICoreWebView2AddScriptToExecuteOnDocumentCreatedCompletedHandler*),
    SLOT(ICoreWebView2, RemoveScriptToExecuteOnDocumentCreated, 28, LPCWSTR),
    SLOT(ICoreWebView2, ExecuteScript, 29, LPCWSTR, ICoreWebView2ExecuteScriptCompletedHandler*),
    SLOT(ICoreWebView2, CapturePreview, 30, COREWEBVIEW2_CAPTURE_PREVIEW_IMAGE_FORMAT, IStream*, ICoreWebView2CapturePreviewCompletedHandler*),
    SLOT(ICoreWebView2, Reload, 31),
    SLOT(ICoreWebView2, PostWebMessageAsJson, 32, LPCWSTR),
    SLOT(ICoreWebView2, PostWebMessageAsString, 33, LPCWSTR),
    SLOT(ICoreWebView2, add_WebMessageReceived, 34, ICoreWebView2WebMessageReceivedEventHandler*, EventRegistrationToken*),
    SLOT(ICoreWebView2, remove_WebMessageReceived, 35, EventRegistrationToken),
    SLOT(ICoreWebView2, CallDevToolsProtocolMethod, 36, LPCWSTR, LPCWSTR, ICoreWebView2CallDevToolsProtocolMethodCompletedHandler*),
    SLOT(ICoreWebView2, get_BrowserProcessId, 37, UINT32*),
    SLOT(ICoreWebView2, get_CanGoBack, 38, BOOL*),
    SLOT(ICoreWebView2, get_CanGoForward, 39, BOOL*),
    SLOT(ICoreWebView2, GoBack, 40),
    SLOT(ICoreWebView2, GoForward, 41),
    SLOT(ICoreWebView2, GetDevToolsProtocolEventReceiver, 42, LPCWSTR, ICoreWebView2DevToolsProtocolEventReceiver**),
    SLOT(ICoreWebView2, Stop, 43),
    SLOT(ICoreWebView2, add_NewWindowRequested, 44, ICoreWebView2NewWindowRequestedEventHandler*, EventRegistrationToken*),
    SLOT(ICoreWebView2, remove_NewWindowRequested, 45, EventRegistrationToken),
    SLOT(ICoreWebView2, add_DocumentTitleChanged, 46, ICoreWebView2DocumentTitleChangedEventHandler*, EventRegistrationToken*),
    SLOT(ICoreWebView2, remove_DocumentTitleChanged, 47, EventRegistrationToken),
    SLOT(ICoreWebView2, get_DocumentTitle, 48, LPWSTR*),
    SLOT(ICoreWebView2, AddHostObjectToScript, 49, LPCWSTR, VARIANT*),
    SLOT(ICoreWebView2, RemoveHostObjectFromScript, 50, LPCWSTR),
    SLOT(ICoreWebView2, OpenDevToolsWindow, 51),
    SLOT(ICoreWebView2, add_ContainsFullScreenElementChanged, 52, ICoreWebView2ContainsFullScreenElementChangedEventHandler*, EventRegistrationToken*),
    SLOT(ICoreWebView2, remove_ContainsFullScreenElementChanged, 53, EventRegistrationToken),
    SLOT(ICoreWebView2, get_ContainsFullScreenElement, 54, BOOL*),
    SLOT(ICoreWebView2, add_WebResourceRequested, 55, ICoreWebView2WebResourceRequestedEventHandler*, EventRegistrationToken*),
    SLOT(ICoreWebView2, remove_WebResourceRequested, 56, EventRegistrationToken),
    SLOT(ICoreWebView2, AddWebResourceRequestedFilter, 57, const LPCWSTR, const COREWEBVIEW2_WEB_RESOURCE_CONTEXT),
    SLOT(ICoreWebView2, RemoveWebResourceRequestedFilter, 58, const LPCWSTR, const COREWEBVIEW2_WEB_RESOURCE_CONTEXT),
    SLOT(ICoreWebView2, add_WindowCloseRequested, 59, ICoreWebView2WindowCloseRequestedEventHandler*, EventRegistrationToken*),
    SLOT(ICoreWebView2, remove_WindowCloseRequested, 60, EventRegistrationToken),
    // ICoreWebView2Settings
    SLOT(ICoreWebView2Settings, get_IsScriptEnabled, 3, BOOL*),
    SLOT(ICoreWebView2Settings, put_IsScriptEnabled, 4, BOOL),
    SLOT(ICoreWebView2Settings, get_IsWebMessageEnabled, 5, BOOL*),
    SLOT(ICoreWebView2Settings, put_IsWebMessageEnabled, 6, BOOL),
    SLOT(ICoreWebView2Settings, get_AreDefaultScriptDialogsEnabled, 7, BOOL*),
    SLOT(ICoreWebView2Settings, put_AreDefaultScriptDialogsEnabled, 8, BOOL),
    SLOT(ICoreWebView2Settings, get_IsStatusBarEnabled, 9, BOOL*),
    SLOT(ICoreWebView2Settings, put_IsStatusBarEnabled, 10, BOOL),
    SLOT(ICoreWebView2Settings, get_AreDevToolsEnabled, 11, BOOL*),
    SLOT(ICoreWebView2Settings, put_AreDevToolsEnabled, 12, BOOL),
    SLOT(ICoreWebView2Settings, get_AreDefaultContextMenusEnabled, 13, BOOL*),
    SLOT(ICoreWebView2Settings, put_AreDefaultContextMenusEnabled, 14, BOOL),
    SLOT(ICoreWebView2Settings, get_AreHostObjectsAllowed, 15, BOOL*),
    SLOT(ICoreWebView2Settings, put_AreHostObjectsAllowed, 16, BOOL),
    SLOT(ICoreWebView2Settings, get_IsZoomControlEnabled, 17, BOOL*),
    SLOT(ICoreWebView2Settings, put_IsZoomControlEnabled, 18, BOOL),
    SLOT(ICoreWebView2Settings, get_IsBuiltInErrorPageEnabled, 19, BOOL*),
    SLOT(ICoreWebView2Settings, put_IsBuiltInErrorPageEnabled, 20, BOOL),
    // ICoreWebView2Settings2
    SLOT(ICoreWebView2Settings2, get_UserAgent, 21, LPWSTR*),
    SLOT(ICoreWebView2Settings2, put_UserAgent, 22, LPCWSTR),
    // ICoreWebView2Settings3
    SLOT(ICoreWebView2Settings3, get_AreBrowserAcceleratorKeysEnabled, 23, BOOL*),
    SLOT(ICoreWebView2Settings3, put_AreBrowserAcceleratorKeysEnabled, 24, BOOL),
    // ICoreWebView2Settings4
    SLOT(ICoreWebView2Settings4, get_IsPasswordAutosaveEnabled, 25, BOOL*),
    SLOT(ICoreWebView2Settings4, put_IsPasswordAutosaveEnabled, 26, BOOL),
    SLOT(ICoreWebView2Settings4, get_IsGeneralAutofillEnabled, 27, BOOL*),
    SLOT(ICoreWebView2Settings4, put_IsGeneralAutofillEnabled, 28, BOOL),
    // ICoreWebView2Settings5
    SLOT(ICoreWebView2Settings5, get_IsPinchZoomEnabled, 29, BOOL*),
    SLOT(ICoreWebView2Settings5, put_IsPinchZoomEnabled, 30, BOOL),
    // ICoreWebView2Settings6
    SLOT(ICoreWebView2Settings6, get_IsSwipeNavigationEnabled, 31, BOOL*),
    SLOT(ICoreWebView2Settings6, put_IsSwipeNavigationEnabled, 32, BOOL),
    // ICoreWebView2WebMessageReceivedEventArgs
    SLOT(ICoreWebView2WebMessageReceivedEventArgs, get_Source, 3, LPWSTR*),
    SLOT(ICoreWebView2WebMessageReceivedEventArgs, get_WebMessageAsJson, 4, LPWSTR*),
    SLOT(ICoreWebView2WebMessageReceivedEventArgs, TryGetWebMessageAsString, 5, LPWSTR*),
    // ICoreWebView2NavigationStartingEventArgs
    SLOT(ICoreWebView2NavigationStartingEventArgs, get_Uri, 3, LPWSTR*),
    SLOT(ICoreWebView2NavigationStartingEventArgs, get_IsUserInitiated, 4, BOOL*),
    SLOT(ICoreWebView2NavigationStartingEventArgs, get_IsRedirected, 5, BOOL*),
    SLOT(ICoreWebView2NavigationStartingEventArgs, get_RequestHeaders, 6, ICoreWebView2HttpRequestHeaders**),
    SLOT(ICoreWebView2NavigationStartingEventArgs, get_Cancel, 7, BOOL*),
    SLOT(ICoreWebView2NavigationStartingEventArgs, put_Cancel, 8, BOOL),
    SLOT(ICoreWebView2NavigationStartingEventArgs, get_NavigationId, 9, UINT64*),
    // ICoreWebView2NewWindowRequestedEventArgs
    SLOT(ICoreWebView2NewWindowRequestedEventArgs, get_Uri, 3, LPWSTR*),
    SLOT(ICoreWebView2NewWindowRequestedEventArgs, put_NewWindow, 4, ICoreWebView2*),
    SLOT(ICoreWebView2NewWindowRequestedEventArgs, get_NewWindow, 5, ICoreWebView2**),
    SLOT(ICoreWebView2NewWindowRequestedEventArgs, put_Handled, 6, BOOL),
    SLOT(ICoreWebView2NewWindowRequestedEventArgs, get_Handled, 7, BOOL*),
    SLOT(ICoreWebView2NewWindowRequestedEventArgs, get_IsUserInitiated, 8, BOOL*),
    SLOT(ICoreWebView2NewWindowRequestedEventArgs, GetDeferral, 9, ICoreWebView2Deferral**),
    SLOT(ICoreWebView2NewWindowRequestedEventArgs, get_WindowFeatures, 10, ICoreWebView2WindowFeatures**),
    // ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler
    SLOT(ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler, Invoke, 3, HRESULT, ICoreWebView2Environment*),
    // ICoreWebView2CreateCoreWebView2ControllerCompletedHandler
    SLOT(ICoreWebView2CreateCoreWebView2ControllerCompletedHandler, Invoke, 3, HRESULT, ICoreWebView2Controller*),
    // ICoreWebView2WebMessageReceivedEventHandler
    SLOT(ICoreWebView2WebMessageReceivedEventHandler, Invoke, 3, ICoreWebView2*, ICoreWebView2WebMessageReceivedEventArgs*),
    // ICoreWebView2NavigationStartingEventHandler
    SLOT(ICoreWebView2NavigationStartingEventHandler, Invoke, 3, ICoreWebView2*, ICoreWebView2NavigationStartingEventArgs*),
    // ICoreWebView2NewWindowRequestedEventHandler
    SLOT(ICoreWebView2NewWindowRequestedEventHandler, Invoke, 3, ICoreWebView2*, ICoreWebView2NewWindowRequestedEventArgs*),
};

struct Id {
    const char* name;
    const char* text;
    IID iid;
};

const Id kIds[] = {
    {"ICoreWebView2EnvironmentOptions", "2FDE08A8-1E9A-4766-8C05-95A9CEB9D1C5", IID_ICoreWebView2EnvironmentOptions},
    {"ICoreWebView2Environment", "B96D755E-0319-4E92-A296-23436F46A1FC", IID_ICoreWebView2Environment},
    {"ICoreWebView2Controller", "4D00C0D1-9434-4EB6-8078-8697A560334F", IID_ICoreWebView2Controller},
    {"ICoreWebView2Controller2", "C979903E-D4CA-4228-92EB-47EE3FA96EAB", IID_ICoreWebView2Controller2},
    {"ICoreWebView2Controller3", "F9614724-5D2B-41DC-AEF7-73D62B51543B", IID_ICoreWebView2Controller3},
    {"ICoreWebView2Controller4", "97D418D5-A426-4E49-A151-E1A10F327D9E", IID_ICoreWebView2Controller4},
    {"ICoreWebView2", "76ECEACB-0462-4D94-AC83-423A6793775E", IID_ICoreWebView2},
    {"ICoreWebView2Settings", "E562E4F0-D7FA-43AC-8D71-C05150499F00", IID_ICoreWebView2Settings},
    {"ICoreWebView2Settings2", "EE9A0F68-F46C-4E32-AC23-EF8CAC224D2A", IID_ICoreWebView2Settings2},
    {"ICoreWebView2Settings3", "FDB5AB74-AF33-4854-84F0-0A631DEB5EBA", IID_ICoreWebView2Settings3},
    {"ICoreWebView2Settings4", "CB56846C-4168-4D53-B04F-03B6D6796FF2", IID_ICoreWebView2Settings4},
    {"ICoreWebView2Settings5", "183E7052-1D03-43A0-AB99-98E043B66B39", IID_ICoreWebView2Settings5},
    {"ICoreWebView2Settings6", "11CB3ACD-9BC8-43B8-83BF-F40753714F87", IID_ICoreWebView2Settings6},
    {"ICoreWebView2WebMessageReceivedEventArgs", "0F99A40C-E962-4207-9E92-E3D542EFF849", IID_ICoreWebView2WebMessageReceivedEventArgs},
    {"ICoreWebView2NavigationStartingEventArgs", "5B495469-E119-438A-9B18-7604F25F2E49", IID_ICoreWebView2NavigationStartingEventArgs},
    {"ICoreWebView2NewWindowRequestedEventArgs", "34ACB11C-FC37-4418-9132-F9C21D1EAFB9", IID_ICoreWebView2NewWindowRequestedEventArgs},
    {"ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler", "4E8A3389-C9D8-4BD2-B6B5-124FEE6CC14D", IID_ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler},
    {"ICoreWebView2CreateCoreWebView2ControllerCompletedHandler", "6C4819F3-C9B7-4260-8127-C9F5BDE7F68C", IID_ICoreWebView2CreateCoreWebView2ControllerCompletedHandler},
    {"ICoreWebView2WebMessageReceivedEventHandler", "57213F19-00E6-49FA-8E07-898EA01ECBD2", IID_ICoreWebView2WebMessageReceivedEventHandler},
    {"ICoreWebView2NavigationStartingEventHandler", "9ADBE429-F36D-432B-9DDC-F8881FBD76E3", IID_ICoreWebView2NavigationStartingEventHandler},
    {"ICoreWebView2NewWindowRequestedEventHandler", "D4C185FE-C81C-4989-97AF-2D3FA7AB5651", IID_ICoreWebView2NewWindowRequestedEventHandler},
};

struct Probe {
    virtual void first() = 0;
    virtual void second() = 0;
    virtual void third() = 0;
};

TEST(WebView2Declarations, SlotReadingWorksOnThisCompiler) {
    EXPECT_EQ(slot_of(&Probe::first), 0);
    EXPECT_EQ(slot_of(&Probe::third), 2);
    using QueryInterface = HRESULT (STDMETHODCALLTYPE IUnknown::*)(REFIID, void**);
    EXPECT_EQ(slot_of(static_cast<QueryInterface>(&IUnknown::QueryInterface)), 0);
    EXPECT_EQ(slot_of(&IUnknown::AddRef), 1);
    EXPECT_EQ(slot_of(&IUnknown::Release), 2);
}

TEST(WebView2Declarations, EveryMethodSitsInItsSlot) {
    for (const Slot& slot : kSlots) EXPECT_EQ(slot.actual, slot.expected) << slot.name;
}

// The ids, read again here from their published text with the platform's
// own parser.
TEST(WebView2Declarations, InterfaceIdsMatchTheirPublishedText) {
    for (const Id& id : kIds) {
        std::wstring text = L"{" + std::wstring(id.text, id.text + strlen(id.text)) + L"}";
        IID parsed{};
        ASSERT_EQ(IIDFromString(text.c_str(), &parsed), S_OK) << id.name;
        EXPECT_TRUE(IsEqualIID(parsed, id.iid)) << id.name;
    }
}

// --- Our COM objects ------------------------------------------------------------

const IID* const kHandlerIds[] = {
    &IID_ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler,
    &IID_ICoreWebView2CreateCoreWebView2ControllerCompletedHandler,
    &IID_ICoreWebView2WebMessageReceivedEventHandler,
    &IID_ICoreWebView2NavigationStartingEventHandler,
};

TEST(WebView2Objects, HandlerAnswersItsIdsWithTheMatchingFaceOnEveryFace) {
    auto* handler = new WV2Handler(nullptr, nullptr);
    IUnknown* faces[] = {
        static_cast<ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler*>(handler),
        static_cast<ICoreWebView2CreateCoreWebView2ControllerCompletedHandler*>(handler),
        static_cast<ICoreWebView2WebMessageReceivedEventHandler*>(handler),
        static_cast<ICoreWebView2NavigationStartingEventHandler*>(handler),
        static_cast<ICoreWebView2NewWindowRequestedEventHandler*>(handler),
    };
    for (IUnknown* face : faces) {
        for (size_t i = 0; i < 4; ++i) {
            void* answer = nullptr;
            ASSERT_EQ(face->QueryInterface(*kHandlerIds[i], &answer), S_OK);
            EXPECT_EQ(answer, faces[i]);
            static_cast<IUnknown*>(answer)->Release();
        }
        // The new-window face, and IUnknown as the object's one identity.
        void* answer = nullptr;
        ASSERT_EQ(face->QueryInterface(IID_ICoreWebView2NewWindowRequestedEventHandler, &answer), S_OK);
        EXPECT_EQ(answer, faces[4]);
        static_cast<IUnknown*>(answer)->Release();
        ASSERT_EQ(face->QueryInterface(IID_IUnknown, &answer), S_OK);
        EXPECT_EQ(answer, faces[0]);
        static_cast<IUnknown*>(answer)->Release();
        answer = &answer;
        EXPECT_EQ(face->QueryInterface(IID_ICoreWebView2, &answer), E_NOINTERFACE);
        EXPECT_EQ(answer, nullptr);
        EXPECT_EQ(face->QueryInterface(IID_ICoreWebView2Controller, nullptr), E_POINTER);
    }
    // One count for all faces.
    EXPECT_EQ(faces[4]->AddRef(), 2u);
    EXPECT_EQ(faces[1]->Release(), 1u);
    EXPECT_EQ(faces[2]->Release(), 0u);
}

TEST(WebView2Objects, OptionsKeepCopiesAndHandOutFreshOnes) {
    auto* options = new WV2EnvironmentOptions();
    LPWSTR text = reinterpret_cast<LPWSTR>(1);
    EXPECT_EQ(options->get_Language(&text), S_OK);
    EXPECT_EQ(text, nullptr);  // unset

    wchar_t argument[] = L"--first";
    EXPECT_EQ(options->put_AdditionalBrowserArguments(argument), S_OK);
    argument[2] = L'X';  // the object kept its own copy
    LPWSTR one = nullptr;
    LPWSTR two = nullptr;
    EXPECT_EQ(options->get_AdditionalBrowserArguments(&one), S_OK);
    EXPECT_EQ(options->get_AdditionalBrowserArguments(&two), S_OK);
    EXPECT_STREQ(one, L"--first");
    EXPECT_NE(one, two);
    CoTaskMemFree(one);
    CoTaskMemFree(two);

    EXPECT_EQ(options->put_TargetCompatibleBrowserVersion(L"1.2"), S_OK);
    EXPECT_EQ(options->put_TargetCompatibleBrowserVersion(nullptr), S_OK);  // clears
    EXPECT_EQ(options->get_TargetCompatibleBrowserVersion(&text), S_OK);
    EXPECT_EQ(text, nullptr);

    BOOL allow = TRUE;
    EXPECT_EQ(options->get_AllowSingleSignOnUsingOSPrimaryAccount(&allow), S_OK);
    EXPECT_FALSE(allow);
    EXPECT_EQ(options->put_AllowSingleSignOnUsingOSPrimaryAccount(TRUE), S_OK);
    EXPECT_EQ(options->get_AllowSingleSignOnUsingOSPrimaryAccount(&allow), S_OK);
    EXPECT_TRUE(allow);

    void* answer = nullptr;
    EXPECT_EQ(options->QueryInterface(IID_ICoreWebView2EnvironmentOptions, &answer), S_OK);
    EXPECT_EQ(answer, static_cast<ICoreWebView2EnvironmentOptions*>(options));
    EXPECT_EQ(options->QueryInterface(IID_IUnknown, &answer), S_OK);
    EXPECT_EQ(answer, static_cast<ICoreWebView2EnvironmentOptions*>(options));
    EXPECT_EQ(options->Release(), 2u);
    EXPECT_EQ(options->QueryInterface(IID_ICoreWebView2Settings, &answer), E_NOINTERFACE);
    EXPECT_EQ(answer, nullptr);
    EXPECT_EQ(options->QueryInterface(IID_ICoreWebView2EnvironmentOptions, nullptr), E_POINTER);
    EXPECT_EQ(options->Release(), 1u);
    EXPECT_EQ(options->Release(), 0u);
}

}  // namespace
}  // namespace webui_test
