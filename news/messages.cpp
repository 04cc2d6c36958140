// Version 1 of the page's news requests. The page owns every value; the
// plug-in only stores and returns text, and answers only reads and
// conflicts.
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "news/crier.h"
#include "news/memory.h"
#include "news/reply_sink.h"

namespace {

constexpr char kSystemFile[] = "crier-system";
constexpr char kNewsFile[] = "crier-news";
constexpr char kLatestFile[] = "latest";

bool send_reply(WV2Host* host, const char* prefix, const char* text) {
    char* reply = crier_concat(prefix, text, nullptr);
    if (reply == nullptr) return false;
    wv2_host_send_text(host, reply);
    std::free(reply);
    return true;
}

// "NAME REST": the name copied out, or null when there is no space (or no
// memory). *rest points after the space.
char* cut_name(const char* args, const char** rest) {
    const char* space = std::strchr(args, ' ');
    if (space == nullptr) return nullptr;
    const size_t n = static_cast<size_t>(space - args);
    auto* name = static_cast<char*>(yawp::news::allocate(n + 1));
    if (name == nullptr) return nullptr;
    std::memcpy(name, args, n);
    name[n] = '\0';
    *rest = space + 1;
    return name;
}

// A missing file gives no reply of its own, an empty one an empty reply. A
// reply that cannot be built stops the rest, "initDone" included, so the
// page never takes a partial answer for a whole one.
void send_init_replies(WV2Host* host, char* const texts[3]) {
    static constexpr const char* kPrefixes[] = {"crierV1 initSid ", "crierV1 initNews ", "crierV1 initLatest "};
    for (size_t i = 0; i < 3; ++i)
        if (texts[i] != nullptr && !send_reply(host, kPrefixes[i], texts[i])) return;
    send_reply(host, "crierV1 initDone ", "");
}

void init(WV2Host* host, const char* name) {
    const char* system[] = {kSystemFile, nullptr};
    const char* news[] = {kNewsFile, nullptr};
    const char* latest[] = {name, kLatestFile, nullptr};
    const char* const* files[] = {system, news, latest};
    char* texts[3] = {};
    bool failed = false;
    for (size_t i = 0; i < 3 && !failed; ++i) failed = crier_read_file(&texts[i], files[i]) != 0;
    if (!failed) send_init_replies(host, texts);
    for (char* text : texts) std::free(text);
}

void get_news(WV2Host* host, const char*) {
    const char* news[] = {kNewsFile, nullptr};
    char* text = nullptr;
    if (crier_read_file(&text, news) == 0) send_reply(host, "crierV1 getNews ", text != nullptr ? text : "");
    std::free(text);
}

void new_sid(WV2Host*, const char* sid) {
    const char* system[] = {kSystemFile, nullptr};
    crier_write_file(sid, system);
}

void sync_news(WV2Host* host, const char* data) {
    crier_sync_file(host, nullptr, kNewsFile, data, "syncNewsConflict");
}

void sync_latest(WV2Host* host, const char* args) {
    const char* data = nullptr;
    char* name = cut_name(args, &data);
    if (name == nullptr) return;
    crier_sync_file(host, name, kLatestFile, data, "syncLatestConflict");
    std::free(name);
}

void force_news(WV2Host*, const char* content) {
    const char* news[] = {kNewsFile, nullptr};
    crier_write_file(content, news);
}

void force_latest(WV2Host*, const char* args) {
    const char* content = nullptr;
    char* name = cut_name(args, &content);
    if (name == nullptr) return;
    const char* latest[] = {name, kLatestFile, nullptr};
    crier_write_file(content, latest);
    std::free(name);
}

struct Request {
    std::string_view prefix;  // matched exactly, with its trailing space
    void (*serve)(WV2Host* host, const char* args);
};

constexpr Request kRequests[] = {
    {"crierV1 init ", init},
    {"crierV1 getNews ", get_news},
    {"crierV1 newSid ", new_sid},
    {"crierV1 syncNews ", sync_news},
    {"crierV1 syncLatest ", sync_latest},
    {"crierV1 syncNewsForce ", force_news},
    {"crierV1 syncLatestForce ", force_latest},
};

}  // namespace

void crier_handle_message(WV2Host* host, const char* text) {
    if (text == nullptr) return;
    for (const Request& request : kRequests) {
        // strncmp stops at the end of a shorter text.
        if (std::strncmp(text, request.prefix.data(), request.prefix.size()) == 0) {
            request.serve(host, text + request.prefix.size());
            return;
        }
    }
}
