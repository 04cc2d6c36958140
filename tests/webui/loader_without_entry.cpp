// A WebView2Loader.dll (or a runtime's EmbeddedBrowserWebView.dll) that
// lacks the environment entry point, as a broken or foreign file of that
// name would.
extern "C" __declspec(dllexport) int wv2double_something_else() { return 0; }
