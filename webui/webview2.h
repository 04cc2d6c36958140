// Our own declarations of the WebView2 COM interfaces the editor talks to.
//
// We cannot ship Microsoft's SDK header, so every interface is written out
// here by hand. A COM call is nothing but "take entry N of the object's
// function table", so each declaration must list every method of the real
// interface, in the real order, with the real parameter sizes, up to the
// last one we call; one missing or swapped line makes us call the wrong
// function on a user's machine. The number at the end of each line is the
// method's absolute slot in the function table (QueryInterface is 0), so a
// declaration can be checked line by line against Microsoft's tables; the
// test suite checks every slot and signature once more.
//
// Each interface is declared whole, also where we stop calling early, so
// that the test double can implement it and the slot checks cover it all.
#pragma once

#include <cstdint>

#include <windows.h>
#include <objbase.h>
#include <eventtoken.h>

// --- Interface ids ----------------------------------------------------------

// Reads "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX", the way ids are published,
// so that each id below can be compared with its published text at a glance
// instead of being split into fields by hand.
void wv2_iid_text_is_malformed();  // never defined: reaching it stops the compile

consteval unsigned wv2_iid_hex(const char* text, int at, int digits) {
    unsigned value = 0;
    for (int i = at; i < at + digits; ++i) {
        char c = text[i];
        unsigned digit = 0;
        if (c >= '0' && c <= '9') digit = unsigned(c - '0');
        else if (c >= 'A' && c <= 'F') digit = unsigned(c - 'A' + 10);
        else if (c >= 'a' && c <= 'f') digit = unsigned(c - 'a' + 10);
        else wv2_iid_text_is_malformed();
        value = value * 16 + digit;
    }
    return value;
}

consteval IID wv2_iid(const char (&text)[37]) {
    if (text[8] != '-' || text[13] != '-' || text[18] != '-' || text[23] != '-') wv2_iid_text_is_malformed();
    IID iid{};
    iid.Data1 = wv2_iid_hex(text, 0, 8);
    iid.Data2 = static_cast<unsigned short>(wv2_iid_hex(text, 9, 4));
    iid.Data3 = static_cast<unsigned short>(wv2_iid_hex(text, 14, 4));
    const int tail[8] = {19, 21, 24, 26, 28, 30, 32, 34};  // the eight bytes after the third dash
    for (int i = 0; i < 8; ++i) iid.Data4[i] = static_cast<unsigned char>(wv2_iid_hex(text, tail[i], 2));
    return iid;
}

inline constexpr IID IID_ICoreWebView2EnvironmentOptions = wv2_iid("2FDE08A8-1E9A-4766-8C05-95A9CEB9D1C5");
inline constexpr IID IID_ICoreWebView2Environment = wv2_iid("B96D755E-0319-4E92-A296-23436F46A1FC");
inline constexpr IID IID_ICoreWebView2Controller = wv2_iid("4D00C0D1-9434-4EB6-8078-8697A560334F");
inline constexpr IID IID_ICoreWebView2Controller2 = wv2_iid("C979903E-D4CA-4228-92EB-47EE3FA96EAB");
inline constexpr IID IID_ICoreWebView2Controller3 = wv2_iid("F9614724-5D2B-41DC-AEF7-73D62B51543B");
inline constexpr IID IID_ICoreWebView2Controller4 = wv2_iid("97D418D5-A426-4E49-A151-E1A10F327D9E");
inline constexpr IID IID_ICoreWebView2 = wv2_iid("76ECEACB-0462-4D94-AC83-423A6793775E");
inline constexpr IID IID_ICoreWebView2Settings = wv2_iid("E562E4F0-D7FA-43AC-8D71-C05150499F00");
inline constexpr IID IID_ICoreWebView2Settings2 = wv2_iid("EE9A0F68-F46C-4E32-AC23-EF8CAC224D2A");
inline constexpr IID IID_ICoreWebView2Settings3 = wv2_iid("FDB5AB74-AF33-4854-84F0-0A631DEB5EBA");
inline constexpr IID IID_ICoreWebView2Settings4 = wv2_iid("CB56846C-4168-4D53-B04F-03B6D6796FF2");
inline constexpr IID IID_ICoreWebView2Settings5 = wv2_iid("183E7052-1D03-43A0-AB99-98E043B66B39");
inline constexpr IID IID_ICoreWebView2Settings6 = wv2_iid("11CB3ACD-9BC8-43B8-83BF-F40753714F87");
inline constexpr IID IID_ICoreWebView2WebMessageReceivedEventArgs = wv2_iid("0F99A40C-E962-4207-9E92-E3D542EFF849");
inline constexpr IID IID_ICoreWebView2NavigationStartingEventArgs = wv2_iid("5B495469-E119-438A-9B18-7604F25F2E49");
inline constexpr IID IID_ICoreWebView2NewWindowRequestedEventArgs = wv2_iid("34ACB11C-FC37-4418-9132-F9C21D1EAFB9");
inline constexpr IID IID_ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler =
    wv2_iid("4E8A3389-C9D8-4BD2-B6B5-124FEE6CC14D");
inline constexpr IID IID_ICoreWebView2CreateCoreWebView2ControllerCompletedHandler =
    wv2_iid("6C4819F3-C9B7-4260-8127-C9F5BDE7F68C");
inline constexpr IID IID_ICoreWebView2WebMessageReceivedEventHandler = wv2_iid("57213F19-00E6-49FA-8E07-898EA01ECBD2");
inline constexpr IID IID_ICoreWebView2NavigationStartingEventHandler = wv2_iid("9ADBE429-F36D-432B-9DDC-F8881FBD76E3");
inline constexpr IID IID_ICoreWebView2NewWindowRequestedEventHandler = wv2_iid("D4C185FE-C81C-4989-97AF-2D3FA7AB5651");

// The reading of an id must itself be right: the published example splits
// into these fields.
static_assert(IID_ICoreWebView2EnvironmentOptions.Data1 == 0x2FDE08A8 &&
              IID_ICoreWebView2EnvironmentOptions.Data2 == 0x1E9A &&
              IID_ICoreWebView2EnvironmentOptions.Data3 == 0x4766 &&
              IID_ICoreWebView2EnvironmentOptions.Data4[0] == 0x8C &&
              IID_ICoreWebView2EnvironmentOptions.Data4[1] == 0x05 &&
              IID_ICoreWebView2EnvironmentOptions.Data4[2] == 0x95 &&
              IID_ICoreWebView2EnvironmentOptions.Data4[3] == 0xA9 &&
              IID_ICoreWebView2EnvironmentOptions.Data4[4] == 0xCE &&
              IID_ICoreWebView2EnvironmentOptions.Data4[5] == 0xB9 &&
              IID_ICoreWebView2EnvironmentOptions.Data4[6] == 0xD1 &&
              IID_ICoreWebView2EnvironmentOptions.Data4[7] == 0xC5);
static_assert(sizeof(IID) == 16);

// --- Value types --------------------------------------------------------------

// Every WebView2 enum is a 32-bit value on the wire.
enum COREWEBVIEW2_MOVE_FOCUS_REASON : INT32 {
    COREWEBVIEW2_MOVE_FOCUS_REASON_PROGRAMMATIC = 0,
    COREWEBVIEW2_MOVE_FOCUS_REASON_NEXT = 1,
    COREWEBVIEW2_MOVE_FOCUS_REASON_PREVIOUS = 2,
};
enum COREWEBVIEW2_BOUNDS_MODE : INT32 {
    COREWEBVIEW2_BOUNDS_MODE_USE_RAW_PIXELS = 0,
    COREWEBVIEW2_BOUNDS_MODE_USE_RASTERIZATION_SCALE = 1,
};
enum COREWEBVIEW2_CAPTURE_PREVIEW_IMAGE_FORMAT : INT32 {
    COREWEBVIEW2_CAPTURE_PREVIEW_IMAGE_FORMAT_PNG = 0,
    COREWEBVIEW2_CAPTURE_PREVIEW_IMAGE_FORMAT_JPEG = 1,
};
enum COREWEBVIEW2_WEB_RESOURCE_CONTEXT : INT32 {
    COREWEBVIEW2_WEB_RESOURCE_CONTEXT_ALL = 0,
};

struct COREWEBVIEW2_COLOR {
    BYTE A;
    BYTE R;
    BYTE G;
    BYTE B;
};

static_assert(sizeof(COREWEBVIEW2_MOVE_FOCUS_REASON) == 4);
static_assert(sizeof(COREWEBVIEW2_BOUNDS_MODE) == 4);
static_assert(sizeof(COREWEBVIEW2_CAPTURE_PREVIEW_IMAGE_FORMAT) == 4);
static_assert(sizeof(COREWEBVIEW2_WEB_RESOURCE_CONTEXT) == 4);
static_assert(sizeof(COREWEBVIEW2_COLOR) == 4);
static_assert(sizeof(EventRegistrationToken) == 8 && alignof(EventRegistrationToken) == 8);
static_assert(sizeof(RECT) == 16);
static_assert(sizeof(BOOL) == 4 && sizeof(HRESULT) == 4 && sizeof(UINT32) == 4 && sizeof(UINT64) == 8);

// --- Interfaces we only pass around ------------------------------------------

struct ICoreWebView2AcceleratorKeyPressedEventHandler;
struct ICoreWebView2AddScriptToExecuteOnDocumentCreatedCompletedHandler;
struct ICoreWebView2CallDevToolsProtocolMethodCompletedHandler;
struct ICoreWebView2CapturePreviewCompletedHandler;
struct ICoreWebView2ContainsFullScreenElementChangedEventHandler;
struct ICoreWebView2ContentLoadingEventHandler;
struct ICoreWebView2Deferral;
struct ICoreWebView2DevToolsProtocolEventReceiver;
struct ICoreWebView2DocumentTitleChangedEventHandler;
struct ICoreWebView2ExecuteScriptCompletedHandler;
struct ICoreWebView2FocusChangedEventHandler;
struct ICoreWebView2HistoryChangedEventHandler;
struct ICoreWebView2HttpRequestHeaders;
struct ICoreWebView2MoveFocusRequestedEventHandler;
struct ICoreWebView2NavigationCompletedEventHandler;
struct ICoreWebView2NewBrowserVersionAvailableEventHandler;
struct ICoreWebView2PermissionRequestedEventHandler;
struct ICoreWebView2ProcessFailedEventHandler;
struct ICoreWebView2RasterizationScaleChangedEventHandler;
struct ICoreWebView2ScriptDialogOpeningEventHandler;
struct ICoreWebView2SourceChangedEventHandler;
struct ICoreWebView2WebResourceRequestedEventHandler;
struct ICoreWebView2WebResourceResponse;
struct ICoreWebView2WindowCloseRequestedEventHandler;
struct ICoreWebView2WindowFeatures;
struct ICoreWebView2ZoomFactorChangedEventHandler;

struct ICoreWebView2;
struct ICoreWebView2Controller;
struct ICoreWebView2Environment;
struct ICoreWebView2NavigationStartingEventArgs;
struct ICoreWebView2NewWindowRequestedEventArgs;
struct ICoreWebView2WebMessageReceivedEventArgs;

// --- Interfaces we implement ------------------------------------------------------

struct ICoreWebView2EnvironmentOptions : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE get_AdditionalBrowserArguments(LPWSTR* value) = 0;           // 3
    virtual HRESULT STDMETHODCALLTYPE put_AdditionalBrowserArguments(LPCWSTR value) = 0;           // 4
    virtual HRESULT STDMETHODCALLTYPE get_Language(LPWSTR* value) = 0;                             // 5
    virtual HRESULT STDMETHODCALLTYPE put_Language(LPCWSTR value) = 0;                             // 6
    virtual HRESULT STDMETHODCALLTYPE get_TargetCompatibleBrowserVersion(LPWSTR* value) = 0;       // 7
    virtual HRESULT STDMETHODCALLTYPE put_TargetCompatibleBrowserVersion(LPCWSTR value) = 0;       // 8
    virtual HRESULT STDMETHODCALLTYPE get_AllowSingleSignOnUsingOSPrimaryAccount(BOOL* allow) = 0; // 9
    virtual HRESULT STDMETHODCALLTYPE put_AllowSingleSignOnUsingOSPrimaryAccount(BOOL allow) = 0;  // 10
};

struct ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Invoke(HRESULT errorCode, ICoreWebView2Environment* createdEnvironment) = 0;  // 3
};

struct ICoreWebView2CreateCoreWebView2ControllerCompletedHandler : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Invoke(HRESULT errorCode, ICoreWebView2Controller* createdController) = 0;  // 3
};

struct ICoreWebView2WebMessageReceivedEventHandler : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Invoke(ICoreWebView2* sender, ICoreWebView2WebMessageReceivedEventArgs* args) = 0;  // 3
};

struct ICoreWebView2NavigationStartingEventHandler : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Invoke(ICoreWebView2* sender, ICoreWebView2NavigationStartingEventArgs* args) = 0;  // 3
};

struct ICoreWebView2NewWindowRequestedEventHandler : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Invoke(ICoreWebView2* sender, ICoreWebView2NewWindowRequestedEventArgs* args) = 0;  // 3
};

// --- Interfaces we call -------------------------------------------------------------

struct ICoreWebView2Environment : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE CreateCoreWebView2Controller(
        HWND parentWindow, ICoreWebView2CreateCoreWebView2ControllerCompletedHandler* handler) = 0;  // 3
    virtual HRESULT STDMETHODCALLTYPE CreateWebResourceResponse(
        IStream* content, int statusCode, LPCWSTR reasonPhrase, LPCWSTR headers,
        ICoreWebView2WebResourceResponse** response) = 0;                                          // 4
    virtual HRESULT STDMETHODCALLTYPE get_BrowserVersionString(LPWSTR* versionInfo) = 0;           // 5
    virtual HRESULT STDMETHODCALLTYPE add_NewBrowserVersionAvailable(
        ICoreWebView2NewBrowserVersionAvailableEventHandler* eventHandler, EventRegistrationToken* token) = 0;  // 6
    virtual HRESULT STDMETHODCALLTYPE remove_NewBrowserVersionAvailable(EventRegistrationToken token) = 0;  // 7
};

struct ICoreWebView2Controller : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE get_IsVisible(BOOL* isVisible) = 0;                          // 3
    virtual HRESULT STDMETHODCALLTYPE put_IsVisible(BOOL isVisible) = 0;                           // 4
    virtual HRESULT STDMETHODCALLTYPE get_Bounds(RECT* bounds) = 0;                                // 5
    virtual HRESULT STDMETHODCALLTYPE put_Bounds(RECT bounds) = 0;                                 // 6
    virtual HRESULT STDMETHODCALLTYPE get_ZoomFactor(double* zoomFactor) = 0;                      // 7
    virtual HRESULT STDMETHODCALLTYPE put_ZoomFactor(double zoomFactor) = 0;                       // 8
    virtual HRESULT STDMETHODCALLTYPE add_ZoomFactorChanged(
        ICoreWebView2ZoomFactorChangedEventHandler* eventHandler, EventRegistrationToken* token) = 0;  // 9
    virtual HRESULT STDMETHODCALLTYPE remove_ZoomFactorChanged(EventRegistrationToken token) = 0;  // 10
    virtual HRESULT STDMETHODCALLTYPE SetBoundsAndZoomFactor(RECT bounds, double zoomFactor) = 0;  // 11
    virtual HRESULT STDMETHODCALLTYPE MoveFocus(COREWEBVIEW2_MOVE_FOCUS_REASON reason) = 0;        // 12
    virtual HRESULT STDMETHODCALLTYPE add_MoveFocusRequested(
        ICoreWebView2MoveFocusRequestedEventHandler* eventHandler, EventRegistrationToken* token) = 0;  // 13
    virtual HRESULT STDMETHODCALLTYPE remove_MoveFocusRequested(EventRegistrationToken token) = 0; // 14
    virtual HRESULT STDMETHODCALLTYPE add_GotFocus(
        ICoreWebView2FocusChangedEventHandler* eventHandler, EventRegistrationToken* token) = 0;   // 15
    virtual HRESULT STDMETHODCALLTYPE remove_GotFocus(EventRegistrationToken token) = 0;           // 16
    virtual HRESULT STDMETHODCALLTYPE add_LostFocus(
        ICoreWebView2FocusChangedEventHandler* eventHandler, EventRegistrationToken* token) = 0;   // 17
    virtual HRESULT STDMETHODCALLTYPE remove_LostFocus(EventRegistrationToken token) = 0;          // 18
    virtual HRESULT STDMETHODCALLTYPE add_AcceleratorKeyPressed(
        ICoreWebView2AcceleratorKeyPressedEventHandler* eventHandler, EventRegistrationToken* token) = 0;  // 19
    virtual HRESULT STDMETHODCALLTYPE remove_AcceleratorKeyPressed(EventRegistrationToken token) = 0;  // 20
    virtual HRESULT STDMETHODCALLTYPE get_ParentWindow(HWND* parentWindow) = 0;                    // 21
    virtual HRESULT STDMETHODCALLTYPE put_ParentWindow(HWND parentWindow) = 0;                     // 22
    virtual HRESULT STDMETHODCALLTYPE NotifyParentWindowPositionChanged() = 0;                     // 23
    virtual HRESULT STDMETHODCALLTYPE Close() = 0;                                                 // 24
    virtual HRESULT STDMETHODCALLTYPE get_CoreWebView2(ICoreWebView2** coreWebView2) = 0;          // 25
};

struct ICoreWebView2Controller2 : ICoreWebView2Controller {
    virtual HRESULT STDMETHODCALLTYPE get_DefaultBackgroundColor(COREWEBVIEW2_COLOR* backgroundColor) = 0;  // 26
    virtual HRESULT STDMETHODCALLTYPE put_DefaultBackgroundColor(COREWEBVIEW2_COLOR backgroundColor) = 0;   // 27
};

struct ICoreWebView2Controller3 : ICoreWebView2Controller2 {
    virtual HRESULT STDMETHODCALLTYPE get_RasterizationScale(double* scale) = 0;                   // 28
    virtual HRESULT STDMETHODCALLTYPE put_RasterizationScale(double scale) = 0;                    // 29
    virtual HRESULT STDMETHODCALLTYPE get_ShouldDetectMonitorScaleChanges(BOOL* value) = 0;        // 30
    virtual HRESULT STDMETHODCALLTYPE put_ShouldDetectMonitorScaleChanges(BOOL value) = 0;         // 31
    virtual HRESULT STDMETHODCALLTYPE add_RasterizationScaleChanged(
        ICoreWebView2RasterizationScaleChangedEventHandler* eventHandler, EventRegistrationToken* token) = 0;  // 32
    virtual HRESULT STDMETHODCALLTYPE remove_RasterizationScaleChanged(EventRegistrationToken token) = 0;  // 33
    virtual HRESULT STDMETHODCALLTYPE get_BoundsMode(COREWEBVIEW2_BOUNDS_MODE* boundsMode) = 0;    // 34
    virtual HRESULT STDMETHODCALLTYPE put_BoundsMode(COREWEBVIEW2_BOUNDS_MODE boundsMode) = 0;     // 35
};

struct ICoreWebView2Controller4 : ICoreWebView2Controller3 {
    virtual HRESULT STDMETHODCALLTYPE get_AllowExternalDrop(BOOL* value) = 0;                      // 36
    virtual HRESULT STDMETHODCALLTYPE put_AllowExternalDrop(BOOL value) = 0;                       // 37
};

struct ICoreWebView2Settings : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE get_IsScriptEnabled(BOOL* isScriptEnabled) = 0;              // 3
    virtual HRESULT STDMETHODCALLTYPE put_IsScriptEnabled(BOOL isScriptEnabled) = 0;               // 4
    virtual HRESULT STDMETHODCALLTYPE get_IsWebMessageEnabled(BOOL* isWebMessageEnabled) = 0;      // 5
    virtual HRESULT STDMETHODCALLTYPE put_IsWebMessageEnabled(BOOL isWebMessageEnabled) = 0;       // 6
    virtual HRESULT STDMETHODCALLTYPE get_AreDefaultScriptDialogsEnabled(BOOL* areDefaultScriptDialogsEnabled) = 0;  // 7
    virtual HRESULT STDMETHODCALLTYPE put_AreDefaultScriptDialogsEnabled(BOOL areDefaultScriptDialogsEnabled) = 0;   // 8
    virtual HRESULT STDMETHODCALLTYPE get_IsStatusBarEnabled(BOOL* isStatusBarEnabled) = 0;        // 9
    virtual HRESULT STDMETHODCALLTYPE put_IsStatusBarEnabled(BOOL isStatusBarEnabled) = 0;         // 10
    virtual HRESULT STDMETHODCALLTYPE get_AreDevToolsEnabled(BOOL* areDevToolsEnabled) = 0;        // 11
    virtual HRESULT STDMETHODCALLTYPE put_AreDevToolsEnabled(BOOL areDevToolsEnabled) = 0;         // 12
    virtual HRESULT STDMETHODCALLTYPE get_AreDefaultContextMenusEnabled(BOOL* enabled) = 0;        // 13
    virtual HRESULT STDMETHODCALLTYPE put_AreDefaultContextMenusEnabled(BOOL enabled) = 0;         // 14
    virtual HRESULT STDMETHODCALLTYPE get_AreHostObjectsAllowed(BOOL* allowed) = 0;                // 15
    virtual HRESULT STDMETHODCALLTYPE put_AreHostObjectsAllowed(BOOL allowed) = 0;                 // 16
    virtual HRESULT STDMETHODCALLTYPE get_IsZoomControlEnabled(BOOL* enabled) = 0;                 // 17
    virtual HRESULT STDMETHODCALLTYPE put_IsZoomControlEnabled(BOOL enabled) = 0;                  // 18
    virtual HRESULT STDMETHODCALLTYPE get_IsBuiltInErrorPageEnabled(BOOL* enabled) = 0;            // 19
    virtual HRESULT STDMETHODCALLTYPE put_IsBuiltInErrorPageEnabled(BOOL enabled) = 0;             // 20
};

struct ICoreWebView2Settings2 : ICoreWebView2Settings {
    virtual HRESULT STDMETHODCALLTYPE get_UserAgent(LPWSTR* userAgent) = 0;                        // 21
    virtual HRESULT STDMETHODCALLTYPE put_UserAgent(LPCWSTR userAgent) = 0;                        // 22
};

struct ICoreWebView2Settings3 : ICoreWebView2Settings2 {
    virtual HRESULT STDMETHODCALLTYPE get_AreBrowserAcceleratorKeysEnabled(BOOL* areBrowserAcceleratorKeysEnabled) = 0;  // 23
    virtual HRESULT STDMETHODCALLTYPE put_AreBrowserAcceleratorKeysEnabled(BOOL areBrowserAcceleratorKeysEnabled) = 0;   // 24
};

struct ICoreWebView2Settings4 : ICoreWebView2Settings3 {
    virtual HRESULT STDMETHODCALLTYPE get_IsPasswordAutosaveEnabled(BOOL* value) = 0;              // 25
    virtual HRESULT STDMETHODCALLTYPE put_IsPasswordAutosaveEnabled(BOOL value) = 0;               // 26
    virtual HRESULT STDMETHODCALLTYPE get_IsGeneralAutofillEnabled(BOOL* value) = 0;               // 27
    virtual HRESULT STDMETHODCALLTYPE put_IsGeneralAutofillEnabled(BOOL value) = 0;                // 28
};

struct ICoreWebView2Settings5 : ICoreWebView2Settings4 {
    virtual HRESULT STDMETHODCALLTYPE get_IsPinchZoomEnabled(BOOL* enabled) = 0;                   // 29
    virtual HRESULT STDMETHODCALLTYPE put_IsPinchZoomEnabled(BOOL enabled) = 0;                    // 30
};

struct ICoreWebView2Settings6 : ICoreWebView2Settings5 {
    virtual HRESULT STDMETHODCALLTYPE get_IsSwipeNavigationEnabled(BOOL* enabled) = 0;             // 31
    virtual HRESULT STDMETHODCALLTYPE put_IsSwipeNavigationEnabled(BOOL enabled) = 0;              // 32
};

struct ICoreWebView2 : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE get_Settings(ICoreWebView2Settings** settings) = 0;          // 3
    virtual HRESULT STDMETHODCALLTYPE get_Source(LPWSTR* uri) = 0;                                 // 4
    virtual HRESULT STDMETHODCALLTYPE Navigate(LPCWSTR uri) = 0;                                   // 5
    virtual HRESULT STDMETHODCALLTYPE NavigateToString(LPCWSTR htmlContent) = 0;                   // 6
    virtual HRESULT STDMETHODCALLTYPE add_NavigationStarting(
        ICoreWebView2NavigationStartingEventHandler* eventHandler, EventRegistrationToken* token) = 0;  // 7
    virtual HRESULT STDMETHODCALLTYPE remove_NavigationStarting(EventRegistrationToken token) = 0; // 8
    virtual HRESULT STDMETHODCALLTYPE add_ContentLoading(
        ICoreWebView2ContentLoadingEventHandler* eventHandler, EventRegistrationToken* token) = 0;  // 9
    virtual HRESULT STDMETHODCALLTYPE remove_ContentLoading(EventRegistrationToken token) = 0;     // 10
    virtual HRESULT STDMETHODCALLTYPE add_SourceChanged(
        ICoreWebView2SourceChangedEventHandler* eventHandler, EventRegistrationToken* token) = 0;  // 11
    virtual HRESULT STDMETHODCALLTYPE remove_SourceChanged(EventRegistrationToken token) = 0;      // 12
    virtual HRESULT STDMETHODCALLTYPE add_HistoryChanged(
        ICoreWebView2HistoryChangedEventHandler* eventHandler, EventRegistrationToken* token) = 0;  // 13
    virtual HRESULT STDMETHODCALLTYPE remove_HistoryChanged(EventRegistrationToken token) = 0;     // 14
    virtual HRESULT STDMETHODCALLTYPE add_NavigationCompleted(
        ICoreWebView2NavigationCompletedEventHandler* eventHandler, EventRegistrationToken* token) = 0;  // 15
    virtual HRESULT STDMETHODCALLTYPE remove_NavigationCompleted(EventRegistrationToken token) = 0;  // 16
    virtual HRESULT STDMETHODCALLTYPE add_FrameNavigationStarting(
        ICoreWebView2NavigationStartingEventHandler* eventHandler, EventRegistrationToken* token) = 0;  // 17
    virtual HRESULT STDMETHODCALLTYPE remove_FrameNavigationStarting(EventRegistrationToken token) = 0;  // 18
    virtual HRESULT STDMETHODCALLTYPE add_FrameNavigationCompleted(
        ICoreWebView2NavigationCompletedEventHandler* eventHandler, EventRegistrationToken* token) = 0;  // 19
    virtual HRESULT STDMETHODCALLTYPE remove_FrameNavigationCompleted(EventRegistrationToken token) = 0;  // 20
    virtual HRESULT STDMETHODCALLTYPE add_ScriptDialogOpening(
        ICoreWebView2ScriptDialogOpeningEventHandler* eventHandler, EventRegistrationToken* token) = 0;  // 21
    virtual HRESULT STDMETHODCALLTYPE remove_ScriptDialogOpening(EventRegistrationToken token) = 0;  // 22
    virtual HRESULT STDMETHODCALLTYPE add_PermissionRequested(
        ICoreWebView2PermissionRequestedEventHandler* eventHandler, EventRegistrationToken* token) = 0;  // 23
    virtual HRESULT STDMETHODCALLTYPE remove_PermissionRequested(EventRegistrationToken token) = 0;  // 24
    virtual HRESULT STDMETHODCALLTYPE add_ProcessFailed(
        ICoreWebView2ProcessFailedEventHandler* eventHandler, EventRegistrationToken* token) = 0;  // 25
    virtual HRESULT STDMETHODCALLTYPE remove_ProcessFailed(EventRegistrationToken token) = 0;      // 26
    virtual HRESULT STDMETHODCALLTYPE AddScriptToExecuteOnDocumentCreated(
        LPCWSTR javaScript, ICoreWebView2AddScriptToExecuteOnDocumentCreatedCompletedHandler* handler) = 0;  // 27
    virtual HRESULT STDMETHODCALLTYPE RemoveScriptToExecuteOnDocumentCreated(LPCWSTR id) = 0;      // 28
    virtual HRESULT STDMETHODCALLTYPE ExecuteScript(
        LPCWSTR javaScript, ICoreWebView2ExecuteScriptCompletedHandler* handler) = 0;              // 29
    virtual HRESULT STDMETHODCALLTYPE CapturePreview(
        COREWEBVIEW2_CAPTURE_PREVIEW_IMAGE_FORMAT imageFormat, IStream* imageStream,
        ICoreWebView2CapturePreviewCompletedHandler* handler) = 0;                                 // 30
    virtual HRESULT STDMETHODCALLTYPE Reload() = 0;                                                // 31
    virtual HRESULT STDMETHODCALLTYPE PostWebMessageAsJson(LPCWSTR webMessageAsJson) = 0;          // 32
    virtual HRESULT STDMETHODCALLTYPE PostWebMessageAsString(LPCWSTR webMessageAsString) = 0;      // 33
    virtual HRESULT STDMETHODCALLTYPE add_WebMessageReceived(
        ICoreWebView2WebMessageReceivedEventHandler* handler, EventRegistrationToken* token) = 0;  // 34
    virtual HRESULT STDMETHODCALLTYPE remove_WebMessageReceived(EventRegistrationToken token) = 0; // 35
    virtual HRESULT STDMETHODCALLTYPE CallDevToolsProtocolMethod(
        LPCWSTR methodName, LPCWSTR parametersAsJson,
        ICoreWebView2CallDevToolsProtocolMethodCompletedHandler* handler) = 0;                     // 36
    virtual HRESULT STDMETHODCALLTYPE get_BrowserProcessId(UINT32* value) = 0;                     // 37
    virtual HRESULT STDMETHODCALLTYPE get_CanGoBack(BOOL* canGoBack) = 0;                          // 38
    virtual HRESULT STDMETHODCALLTYPE get_CanGoForward(BOOL* canGoForward) = 0;                    // 39
    virtual HRESULT STDMETHODCALLTYPE GoBack() = 0;                                                // 40
    virtual HRESULT STDMETHODCALLTYPE GoForward() = 0;                                             // 41
    virtual HRESULT STDMETHODCALLTYPE GetDevToolsProtocolEventReceiver(
        LPCWSTR eventName, ICoreWebView2DevToolsProtocolEventReceiver** receiver) = 0;             // 42
    virtual HRESULT STDMETHODCALLTYPE Stop() = 0;                                                  // 43
    virtual HRESULT STDMETHODCALLTYPE add_NewWindowRequested(
        ICoreWebView2NewWindowRequestedEventHandler* eventHandler, EventRegistrationToken* token) = 0;  // 44
    virtual HRESULT STDMETHODCALLTYPE remove_NewWindowRequested(EventRegistrationToken token) = 0; // 45
    virtual HRESULT STDMETHODCALLTYPE add_DocumentTitleChanged(
        ICoreWebView2DocumentTitleChangedEventHandler* eventHandler, EventRegistrationToken* token) = 0;  // 46
    virtual HRESULT STDMETHODCALLTYPE remove_DocumentTitleChanged(EventRegistrationToken token) = 0;  // 47
    virtual HRESULT STDMETHODCALLTYPE get_DocumentTitle(LPWSTR* title) = 0;                        // 48
    virtual HRESULT STDMETHODCALLTYPE AddHostObjectToScript(LPCWSTR name, VARIANT* object) = 0;    // 49
    virtual HRESULT STDMETHODCALLTYPE RemoveHostObjectFromScript(LPCWSTR name) = 0;                // 50
    virtual HRESULT STDMETHODCALLTYPE OpenDevToolsWindow() = 0;                                    // 51
    virtual HRESULT STDMETHODCALLTYPE add_ContainsFullScreenElementChanged(
        ICoreWebView2ContainsFullScreenElementChangedEventHandler* eventHandler, EventRegistrationToken* token) = 0;  // 52
    virtual HRESULT STDMETHODCALLTYPE remove_ContainsFullScreenElementChanged(EventRegistrationToken token) = 0;  // 53
    virtual HRESULT STDMETHODCALLTYPE get_ContainsFullScreenElement(BOOL* containsFullScreenElement) = 0;  // 54
    virtual HRESULT STDMETHODCALLTYPE add_WebResourceRequested(
        ICoreWebView2WebResourceRequestedEventHandler* eventHandler, EventRegistrationToken* token) = 0;  // 55
    virtual HRESULT STDMETHODCALLTYPE remove_WebResourceRequested(EventRegistrationToken token) = 0;  // 56
    virtual HRESULT STDMETHODCALLTYPE AddWebResourceRequestedFilter(
        const LPCWSTR uri, const COREWEBVIEW2_WEB_RESOURCE_CONTEXT resourceContext) = 0;           // 57
    virtual HRESULT STDMETHODCALLTYPE RemoveWebResourceRequestedFilter(
        const LPCWSTR uri, const COREWEBVIEW2_WEB_RESOURCE_CONTEXT resourceContext) = 0;           // 58
    virtual HRESULT STDMETHODCALLTYPE add_WindowCloseRequested(
        ICoreWebView2WindowCloseRequestedEventHandler* eventHandler, EventRegistrationToken* token) = 0;  // 59
    virtual HRESULT STDMETHODCALLTYPE remove_WindowCloseRequested(EventRegistrationToken token) = 0;  // 60
};

struct ICoreWebView2WebMessageReceivedEventArgs : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE get_Source(LPWSTR* source) = 0;                              // 3
    virtual HRESULT STDMETHODCALLTYPE get_WebMessageAsJson(LPWSTR* webMessageAsJson) = 0;          // 4
    virtual HRESULT STDMETHODCALLTYPE TryGetWebMessageAsString(LPWSTR* webMessageAsString) = 0;    // 5
};

struct ICoreWebView2NavigationStartingEventArgs : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE get_Uri(LPWSTR* uri) = 0;                                    // 3
    virtual HRESULT STDMETHODCALLTYPE get_IsUserInitiated(BOOL* isUserInitiated) = 0;              // 4
    virtual HRESULT STDMETHODCALLTYPE get_IsRedirected(BOOL* isRedirected) = 0;                    // 5
    virtual HRESULT STDMETHODCALLTYPE get_RequestHeaders(ICoreWebView2HttpRequestHeaders** requestHeaders) = 0;  // 6
    virtual HRESULT STDMETHODCALLTYPE get_Cancel(BOOL* cancel) = 0;                                // 7
    virtual HRESULT STDMETHODCALLTYPE put_Cancel(BOOL cancel) = 0;                                 // 8
    virtual HRESULT STDMETHODCALLTYPE get_NavigationId(UINT64* navigationId) = 0;                  // 9
};

struct ICoreWebView2NewWindowRequestedEventArgs : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE get_Uri(LPWSTR* uri) = 0;                                    // 3
    virtual HRESULT STDMETHODCALLTYPE put_NewWindow(ICoreWebView2* newWindow) = 0;                 // 4
    virtual HRESULT STDMETHODCALLTYPE get_NewWindow(ICoreWebView2** newWindow) = 0;                // 5
    virtual HRESULT STDMETHODCALLTYPE put_Handled(BOOL handled) = 0;                               // 6
    virtual HRESULT STDMETHODCALLTYPE get_Handled(BOOL* handled) = 0;                              // 7
    virtual HRESULT STDMETHODCALLTYPE get_IsUserInitiated(BOOL* isUserInitiated) = 0;              // 8
    virtual HRESULT STDMETHODCALLTYPE GetDeferral(ICoreWebView2Deferral** deferral) = 0;           // 9
    virtual HRESULT STDMETHODCALLTYPE get_WindowFeatures(ICoreWebView2WindowFeatures** value) = 0; // 10
};

// An interface is one pointer to its function table and nothing else.
static_assert(sizeof(ICoreWebView2EnvironmentOptions) == sizeof(void*));
static_assert(sizeof(ICoreWebView2Environment) == sizeof(void*));
static_assert(sizeof(ICoreWebView2Controller4) == sizeof(void*));
static_assert(sizeof(ICoreWebView2) == sizeof(void*));
static_assert(sizeof(ICoreWebView2Settings6) == sizeof(void*));
static_assert(sizeof(ICoreWebView2WebMessageReceivedEventArgs) == sizeof(void*));
static_assert(sizeof(ICoreWebView2NavigationStartingEventArgs) == sizeof(void*));
static_assert(sizeof(ICoreWebView2NewWindowRequestedEventArgs) == sizeof(void*));
static_assert(sizeof(ICoreWebView2NewWindowRequestedEventHandler) == sizeof(void*));

// --- The loader's entry point ----------------------------------------------------

using WV2CreateEnvironmentWithOptions = HRESULT(STDAPICALLTYPE*)(
    PCWSTR browserExecutableFolder, PCWSTR userDataFolder, ICoreWebView2EnvironmentOptions* environmentOptions,
    ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* environmentCreatedHandler);

// The runtime's own library, EmbeddedBrowserWebView.dll, exports what the
// loader calls: the same creation with a flag (always 1), the runtime type
// (0 installed, 1 fixed folder) and no browser folder. It answers through
// the handler exactly as the loader's entry point does.
using WV2CreateEnvironmentInternal = HRESULT(STDAPICALLTYPE*)(
    BOOL flag, int runtimeType, PCWSTR userDataFolder, ICoreWebView2EnvironmentOptions* environmentOptions,
    ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* environmentCreatedHandler);
