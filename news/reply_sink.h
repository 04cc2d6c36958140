// Where the news store's replies go: the editor's host posts each text to
// the page with "m " in front. The program that links the news store
// defines it (the WebView2 host in webui/ on Windows, the helper's link in
// x11editor/ on Linux); the news store only declares it, so that it builds
// and is tested without a browser, against a recording definition.
#pragma once

struct WV2Host;

// [any-thread] Sends "m " + text to the page of `host`; the text must stay
// valid until the call returns. Invalid UTF-8 sends nothing.
void wv2_host_send_text(WV2Host* host, const char* text);
