#include "x11editor/editor_link.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <sys/socket.h>
#include <time.h>

#include "news/crier.h"
#include "news/reply_sink.h"
#include "x11editor/frames.h"
#include "x11editor/helper_process.h"
#include "x11editor/helper_texts.h"
#include "webui/page_value_gate.h"
#include "webui/page_messages.h"

// The news store answers the page through wv2_host_send_text(WV2Host*, ...);
// on Linux that host is the editor link.
struct WV2Host {
    yawp::x11editor::EditorLink* link;
};

namespace yawp::x11editor {

using namespace page_messages;

namespace {

constexpr char kPageName[] = "index.html";
constexpr size_t kReadChunk = 16 * 1024;
// One poll reads at most this much, so a flood cannot hold the host's UI
// thread; the rest stays readable for the next one.
constexpr size_t kReadPerPoll = 4u << 20;
// Values wait for the host's next idle tick and go out together: the
// helper then wakes once and hands the page one script, where a value
// sent alone costs both a wake-up and a script of its own. A host that
// never ticks still sees them go once this many bytes wait.
constexpr size_t kHeldValueBytes = 4096;

}  // namespace

struct EditorLink {
    HelperProcess helper;
    FrameReader reader;
    FrameWriter writer;
    EditCallbacks callbacks;
    float* values;  // the value cache, count entries
    uint32_t count;
    WV2Host news;
    page_values::ValueGate gate;  // what the page was sent (all zeros is its start)
};

namespace {

bool helper_running(const EditorLink* link) { return link->helper.fd >= 0; }

// [main-thread] The helper is gone, or the stream to it is broken: let it
// go for good. Values still land in the cache.
void drop_helper(EditorLink* link) { helper_stop(&link->helper); }

// [main-thread] Queues a frame for the next flush. False when the helper
// is gone, or the queue refused the frame and it is gone now.
bool queue_frame(EditorLink* link, const char* text, size_t length) {
    if (!helper_running(link)) return false;
    if (frame_writer_put(&link->writer, text, length)) return true;
    drop_helper(link);
    return false;
}

// [main-thread] Sends what waits, as much as the socket takes now.
void flush_frames(EditorLink* link) {
    if (helper_running(link) && !frame_writer_flush(&link->writer, link->helper.fd)) drop_helper(link);
}

// [main-thread]
void send_frame(EditorLink* link, const char* text, size_t length) {
    if (queue_frame(link, text, length)) flush_frames(link);
}

// [main-thread]
uint64_t now_ms() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return uint64_t(now.tv_sec) * 1000 + uint64_t(now.tv_nsec) / 1000000;
}

// [main-thread] Queues a value for the next flush (see kHeldValueBytes).
void send_value(EditorLink* link, uint32_t index, float value) {
    char text[20];
    format_value_message(text, index, value);
    if (queue_frame(link, text, sizeof text - 1) && link->writer.size >= kHeldValueBytes) flush_frames(link);
}

// [main-thread]
EditCallback edit_of(const EditCallbacks& callbacks, PageMessageKind kind) {
    switch (kind) {
        case PageMessageKind::kBegin: return callbacks.begin_edit;
        case PageMessageKind::kPerform: return callbacks.perform_edit;
        default: return callbacks.end_edit;
    }
}

// [main-thread] One text of the page, read as both bridges read it.
void handle_page_text(EditorLink* link, const char* text) {
    const PageMessage message = read_page_message(text, link->count);
    switch (message.kind) {
        case PageMessageKind::kBegin:
        case PageMessageKind::kPerform:
        case PageMessageKind::kEnd:
            link->values[message.index] = message.value;
            // The page shows what it sent: a host that takes the value need
            // not send it back, and one that puts another back must.
            link->gate.sent(message.index, message.value, now_ms());
            if (EditCallback edit = edit_of(link->callbacks, message.kind))
                edit(link->callbacks.user_data, message.index, message.value);
            return;
        case PageMessageKind::kGetAll:
            for (uint32_t i = 0; i < link->count; ++i) {
                send_value(link, i, link->values[i]);
                link->gate.sent(i, link->values[i], now_ms());
            }
            return;
        case PageMessageKind::kNews: crier_handle_message(&link->news, message.text); return;
        // Keys for the host are the helper's to hand on (it has the X
        // connection and knows the host's window), and it never forwards
        // them; one that still came would have nowhere to go from here.
        case PageMessageKind::kKeyDown:
        case PageMessageKind::kKeyUp:
        case PageMessageKind::kIgnored: return;
    }
}

// [main-thread] Reads what the socket holds now. False at end of file or
// on a failed read.
bool read_available(EditorLink* link) {
    char chunk[kReadChunk];
    size_t total = 0;
    while (total < kReadPerPoll) {
        const ssize_t n = recv(link->helper.fd, chunk, sizeof chunk, MSG_DONTWAIT);
        if (n > 0) {
            if (!frame_reader_feed(&link->reader, chunk, size_t(n))) return false;
            total += size_t(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
        }
    }
    return true;
}

}  // namespace

EditorLink* editor_link_open(const char* helper_folder, const char* page_folder, unsigned long parent,
                             const EditCallbacks* callbacks, uint32_t count) {
    if (helper_folder == nullptr || page_folder == nullptr || callbacks == nullptr || count == 0) return nullptr;
    auto* link = static_cast<EditorLink*>(std::calloc(1, sizeof(EditorLink)));
    if (link == nullptr) return nullptr;
    link->values = static_cast<float*>(std::calloc(count, sizeof(float)));
    char* program = helper_program_in(helper_folder);
    char* page = crier_concat(page_folder, "/", kPageName, nullptr);
    const bool started = link->values != nullptr && program != nullptr && page != nullptr &&
                         helper_start(program, parent, page, &link->helper);
    std::free(program);
    std::free(page);
    if (!started) {
        std::free(link->values);
        std::free(link);
        return nullptr;
    }
    link->callbacks = *callbacks;
    link->count = count;
    link->news.link = link;
    return link;
}

void editor_link_close(EditorLink* link) {
    if (link == nullptr) return;
    drop_helper(link);
    frame_reader_free(&link->reader);
    frame_writer_free(&link->writer);
    std::free(link->values);
    std::free(link);
}

int editor_link_fd(const EditorLink* link) { return link != nullptr ? link->helper.fd : -1; }

bool editor_link_poll(EditorLink* link) {
    if (link == nullptr || !helper_running(link)) return false;
    const bool open = read_available(link);
    const char* text = nullptr;
    size_t length = 0;
    while (helper_running(link) && frame_reader_next(&link->reader, &text, &length) == FrameStatus::kFrame)
        handle_page_text(link, text);
    if (!open || link->reader.broken) drop_helper(link);
    // Meters the rate held back go out from here, the host's idle tick.
    link->gate.flush_due(now_ms(), [link](uint32_t index, float value) { send_value(link, index, value); });
    flush_frames(link);
    return helper_running(link);
}

void editor_link_set_parameter(EditorLink* link, uint32_t index, float value) {
    if (link == nullptr || index >= link->count) return;
    link->values[index] = value;
    // Only what would change the page goes out.
    if (link->gate.admit(index, value, now_ms())) send_value(link, index, value);
}

void editor_link_send_text(EditorLink* link, const char* text) {
    if (link == nullptr || text == nullptr || !helper_running(link)) return;
    char* message = crier_concat("m ", text, nullptr);
    if (message == nullptr) return;
    send_frame(link, message, std::strlen(message));
    std::free(message);
}

void editor_link_set_scale(EditorLink* link, double scale) {
    if (link == nullptr) return;
    char text[kScaleTextLength + 1];
    format_scale_text(text, scale);
    send_frame(link, text, kScaleTextLength);
}

}  // namespace yawp::x11editor

// [main-thread] The news store's replies: the page's requests are handled
// on the host's UI thread on Linux, so its answers are sent from there too.
void wv2_host_send_text(WV2Host* host, const char* text) {
    if (host != nullptr) yawp::x11editor::editor_link_send_text(host->link, text);
}
