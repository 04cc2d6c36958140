// Where the news store's replies go: the web view host posts each text to
// the page with "m " in front. The web view host (webui/) defines it; the
// news store only declares it, so that it builds and is tested without a
// browser, against a recording definition.
#pragma once

struct WV2Host;

// [any-thread] Sends "m " + text to the page of `host`; the text must stay
// valid until the call returns. Invalid UTF-8 sends nothing.
void wv2_host_send_text(WV2Host* host, const char* text);
