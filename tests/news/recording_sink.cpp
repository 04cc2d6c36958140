#include "fake_host.h"
#include "news/reply_sink.h"

void wv2_host_send_text(WV2Host* host, const char* text) {
    if (host != nullptr && text != nullptr) host->page.push_back(std::string("m ") + text);
}
