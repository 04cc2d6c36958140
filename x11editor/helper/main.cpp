// yawp-wah-editor: the editor page of a Linux plug-in, in a process of its
// own so that the host never loads GTK or WebKit.
//
//   yawp-wah-editor PARENT_WINDOW SOCKET_FD PAGE_FILE
//
// PARENT_WINDOW is the X11 window to live in (decimal or 0x hex), SOCKET_FD
// our end of the plug-in's socket, PAGE_FILE the page's absolute path.
// Texts travel over the socket in frames (x11editor/frames.h): what the
// page posts goes to the plug-in, what the plug-in sends goes to the page;
// except the plug-in's texts for the helper itself (helper_texts.h), and
// the keys the page hands on to the host, which the helper sends to the
// host's window as X key events.
// The program ends when the socket closes or its window goes away.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <glib-unix.h>
#include <gtk/gtk.h>
#include <sys/socket.h>

#include "webui/page_messages.h"
#include "x11editor/frames.h"
#include "x11editor/helper/embedding.h"
#include "x11editor/helper/host_keys.h"
#include "x11editor/helper/page_batch.h"
#include "x11editor/helper/page_view.h"
#include "x11editor/helper_texts.h"

namespace {

using namespace yawp::x11editor;
using yawp::page_messages::PageMessageKind;

constexpr size_t kReadChunk = 64 * 1024;
// The first frame tells the plug-in that the program and its libraries
// loaded; the page's own texts follow.
constexpr char kHello[] = "r";

struct Editor {
    unsigned long parent;  // the window we live in
    int fd;
    GtkWidget* view;
    PageBatch* batch;  // the page's texts from the read at hand
    FrameReader reader;
    FrameWriter writer;
    guint write_watch;
};

void quit() {
    if (gtk_main_level() > 0) gtk_main_quit();
}

gboolean on_writable(gint fd, GIOCondition, gpointer data) {
    auto* editor = static_cast<Editor*>(data);
    if (!frame_writer_flush(&editor->writer, fd)) {
        quit();
    } else if (frame_writer_pending(&editor->writer)) {
        return G_SOURCE_CONTINUE;
    }
    editor->write_watch = 0;
    return G_SOURCE_REMOVE;
}

// Sends now what the socket takes; the rest waits for it to be writable.
void send_text(Editor* editor, const char* text) {
    if (!frame_writer_put(&editor->writer, text, std::strlen(text)) ||
        !frame_writer_flush(&editor->writer, editor->fd)) {
        quit();
        return;
    }
    if (frame_writer_pending(&editor->writer) && editor->write_watch == 0)
        editor->write_watch = g_unix_fd_add(editor->fd, G_IO_OUT, on_writable, editor);
}

// A key the page does not use is the host's: it goes to the host's window
// here, where the X connection is, and the plug-in never hears of it.
void on_page_text(void* data, const char* text) {
    auto* editor = static_cast<Editor*>(data);
    const auto message = yawp::page_messages::read_page_message(text, 0);
    if (message.kind == PageMessageKind::kKeyDown || message.kind == PageMessageKind::kKeyUp) {
        host_keys_send(editor->parent, message.key, message.kind == PageMessageKind::kKeyDown);
        return;
    }
    send_text(editor, text);
}

// Hands the page the texts gathered so far.
void deliver_batch(Editor* editor) {
    if (page_batch_empty(editor->batch)) return;
    size_t length = 0;
    const char* script = page_batch_script(editor->batch, &length);
    page_view_run_script(editor->view, script, length);
    page_batch_clear(editor->batch);
}

// One text of the plug-in's: ours, or the page's. The page's wait in the
// batch; one of ours takes effect after the texts before it.
void on_plugin_text(Editor* editor, const char* text, size_t length) {
    double scale = 0;
    if (read_scale_text(text, &scale)) {
        deliver_batch(editor);
        page_view_set_scale(editor->view, scale);
    } else {
        page_batch_add(editor->batch, text, length);
    }
}

// Everything the plug-in sent so far goes to the page, in order. End of
// file or garbage ends the program.
gboolean on_readable(gint fd, GIOCondition, gpointer data) {
    auto* editor = static_cast<Editor*>(data);
    static char chunk[kReadChunk];
    for (;;) {
        const ssize_t n = recv(fd, chunk, sizeof chunk, MSG_DONTWAIT);
        if (n > 0) {
            if (!frame_reader_feed(&editor->reader, chunk, size_t(n))) break;
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            const char* text = nullptr;
            size_t length = 0;
            FrameStatus status;
            while ((status = frame_reader_next(&editor->reader, &text, &length)) == FrameStatus::kFrame)
                on_plugin_text(editor, text, length);
            deliver_batch(editor);
            if (status == FrameStatus::kNeedMore) return G_SOURCE_CONTINUE;
        }
        break;
    }
    quit();
    return G_SOURCE_REMOVE;
}

bool parse_number(const char* text, unsigned long* value) {
    if (text == nullptr || *text == '\0') return false;
    char* end = nullptr;
    errno = 0;
    *value = std::strtoul(text, &end, 0);
    return errno == 0 && *end == '\0';
}

}  // namespace

int main(int argc, char** argv) {
    unsigned long parent = 0;
    unsigned long fd = 0;
    if (argc != 4 || !parse_number(argv[1], &parent) || !parse_number(argv[2], &fd) || fd > 1024 ||
        argv[3][0] != '/') {
        std::fprintf(stderr, "usage: yawp-wah-editor PARENT_WINDOW SOCKET_FD PAGE_FILE\n");
        return 2;
    }
    Editor editor{parent, int(fd), nullptr, page_batch_new(), {}, {}, 0};
    send_text(&editor, kHello);
    // GDK must talk X11: the parent is an X11 window.
    gdk_set_allowed_backends("x11");
    if (!gtk_init_check(&argc, &argv)) {
        std::fprintf(stderr, "yawp-wah-editor: cannot open the display\n");
        return 1;
    }
    editor.view = page_view_new(argv[3], on_page_text, &editor);
    GtkWidget* plug = editor.view != nullptr ? embedding_new(parent, editor.view) : nullptr;
    if (plug == nullptr) {
        std::fprintf(stderr, "yawp-wah-editor: cannot show the page in window 0x%lx\n", parent);
        return 1;
    }
    g_signal_connect(plug, "destroy", G_CALLBACK(quit), nullptr);
    g_unix_fd_add(editor.fd, GIOCondition(G_IO_IN | G_IO_HUP | G_IO_ERR), on_readable, &editor);
    gtk_main();
    // The web content processes end with our connection to them; nothing
    // here needs tidying before the process ends.
    return 0;
}
