// A stand-in for yawp-wah-editor that needs no display: it plays a page
// whose texts come from a file, and records what the plug-in sends.
//
//   fake-helper PARENT_WINDOW SOCKET_FD PAGE_FILE
//
// The environment says what to do (YAWP_FAKE_MODE):
//   talk      send "r", then the bytes of YAWP_FAKE_SEND as they are (frames
//             or garbage), then record every frame received into
//             YAWP_FAKE_LOG (one length-prefixed text each) until the socket
//             closes
//   silent    exit at once, without a word (a helper whose libraries are
//             missing)
//   stubborn  send "r", then ignore the socket closing and SIGTERM
//   crash     send "r", then kill itself as soon as a frame arrives
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <sys/socket.h>
#include <unistd.h>

#include "x11editor/frames.h"

namespace {

using namespace yawp::x11editor;

void send_all(int fd, const void* data, size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = send(fd, p, size, MSG_NOSIGNAL);
        if (n <= 0) return;
        p += n;
        size -= size_t(n);
    }
}

void send_hello(int fd) { send_all(fd, "\x01\x00\x00\x00r", 5); }

std::string file_text(const char* path) {
    std::string text;
    if (FILE* f = path ? std::fopen(path, "rb") : nullptr) {
        char chunk[4096];
        size_t n;
        while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) text.append(chunk, n);
        std::fclose(f);
    }
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) return 2;
    const int fd = std::atoi(argv[2]);
    const char* mode = std::getenv("YAWP_FAKE_MODE");
    const std::string how = mode ? mode : "talk";
    if (how == "silent") return 1;
    send_hello(fd);
    if (how == "stubborn") {
        std::signal(SIGTERM, SIG_IGN);
        for (;;) pause();
    }
    if (how == "talk") {
        const std::string script = file_text(std::getenv("YAWP_FAKE_SEND"));
        send_all(fd, script.data(), script.size());
    }
    FILE* log = how == "talk" ? std::fopen(std::getenv("YAWP_FAKE_LOG"), "wb") : nullptr;
    FrameReader reader;
    char chunk[65536];
    for (;;) {
        const ssize_t n = recv(fd, chunk, sizeof chunk, 0);
        if (n <= 0) break;
        if (how == "crash") raise(SIGKILL);
        frame_reader_feed(&reader, chunk, size_t(n));
        const char* text;
        size_t length;
        while (frame_reader_next(&reader, &text, &length) == FrameStatus::kFrame && log != nullptr) {
            const auto size = uint32_t(length);
            std::fwrite(&size, 4, 1, log);
            std::fwrite(text, 1, length, log);
            std::fflush(log);
        }
    }
    if (log != nullptr) std::fclose(log);
    frame_reader_free(&reader);
    return 0;
}
