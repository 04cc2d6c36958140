#include "x11editor/frames.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <sys/socket.h>

namespace yawp::x11editor {
namespace {

// Grows a buffer to hold at least `needed` bytes, doubling to keep appends
// cheap. False (buffer unchanged) when memory runs out.
template <class T>
bool reserve(T** buffer, size_t* capacity, size_t needed) {
    if (needed <= *capacity) return true;
    size_t grown = *capacity < 256 ? 256 : *capacity;
    while (grown < needed) grown *= 2;
    void* bigger = std::realloc(*buffer, grown);
    if (bigger == nullptr) return false;
    *buffer = static_cast<T*>(bigger);
    *capacity = grown;
    return true;
}

uint32_t read_length(const unsigned char* header) {
    return uint32_t(header[0]) | uint32_t(header[1]) << 8 | uint32_t(header[2]) << 16 | uint32_t(header[3]) << 24;
}

void write_length(unsigned char* header, uint32_t length) {
    for (size_t i = 0; i < kFrameHeaderBytes; ++i) header[i] = static_cast<unsigned char>(length >> (8 * i));
}

// Drops the first `count` bytes the reader holds.
void consume(FrameReader* reader, size_t count) {
    std::memmove(reader->bytes, reader->bytes + count, reader->size - count);
    reader->size -= count;
}

}  // namespace

void frame_reader_free(FrameReader* reader) {
    std::free(reader->bytes);
    std::free(reader->text);
    *reader = FrameReader{};
}

bool frame_reader_feed(FrameReader* reader, const void* data, size_t size) {
    if (reader->broken) return false;
    if (size == 0) return true;
    if (!reserve(&reader->bytes, &reader->capacity, reader->size + size)) {
        reader->broken = true;
        return false;
    }
    std::memcpy(reader->bytes + reader->size, data, size);
    reader->size += size;
    return true;
}

FrameStatus frame_reader_next(FrameReader* reader, const char** text, size_t* length) {
    for (;;) {
        if (reader->broken) return FrameStatus::kBroken;
        if (reader->size < kFrameHeaderBytes) return FrameStatus::kNeedMore;
        const uint32_t n = read_length(reader->bytes);
        if (n > kMaxFrameText) {
            reader->broken = true;
            return FrameStatus::kBroken;
        }
        if (reader->size - kFrameHeaderBytes < n) return FrameStatus::kNeedMore;
        const unsigned char* body = reader->bytes + kFrameHeaderBytes;
        if (std::memchr(body, 0, n) != nullptr) {
            consume(reader, kFrameHeaderBytes + n);
            continue;
        }
        if (!reserve(&reader->text, &reader->text_capacity, size_t(n) + 1)) {
            reader->broken = true;
            return FrameStatus::kBroken;
        }
        std::memcpy(reader->text, body, n);
        reader->text[n] = '\0';
        consume(reader, kFrameHeaderBytes + n);
        *text = reader->text;
        *length = n;
        return FrameStatus::kFrame;
    }
}

void frame_writer_free(FrameWriter* writer) {
    std::free(writer->bytes);
    *writer = FrameWriter{};
}

bool frame_writer_put(FrameWriter* writer, const char* text, size_t length) {
    if (writer->broken) return false;
    const size_t needed = writer->size + kFrameHeaderBytes + length;
    if (length > kMaxFrameText || needed > kMaxPendingBytes || !reserve(&writer->bytes, &writer->capacity, needed)) {
        writer->broken = true;
        return false;
    }
    write_length(writer->bytes + writer->size, static_cast<uint32_t>(length));
    std::memcpy(writer->bytes + writer->size + kFrameHeaderBytes, text, length);
    writer->size = needed;
    return true;
}

// MSG_NOSIGNAL: a helper that is gone must not take the host down with
// SIGPIPE.
bool frame_writer_flush(FrameWriter* writer, int fd) {
    size_t sent = 0;
    bool ok = true;
    while (sent < writer->size) {
        const ssize_t n = send(fd, writer->bytes + sent, writer->size - sent, MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n > 0) {
            sent += size_t(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            ok = n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
            break;
        }
    }
    if (sent > 0) {
        std::memmove(writer->bytes, writer->bytes + sent, writer->size - sent);
        writer->size -= sent;
    }
    return ok;
}

}  // namespace yawp::x11editor
