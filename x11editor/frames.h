// The plug-in and its editor helper talk over a socket in frames: four bytes
// of length (little-endian), then that many bytes of UTF-8 text. Texts are
// the same as the Windows bridge's ("g", "b|s|e ...", "s ...", "m ...");
// they may hold newlines, so a separator would not do.
//
// Both ends read with a FrameReader and write with a FrameWriter. Neither
// ever waits: the reader only parses what it is fed, the writer keeps what
// the socket does not take yet until the next flush.
#pragma once

#include <cstddef>
#include <cstdint>

namespace yawp::x11editor {

inline constexpr size_t kFrameHeaderBytes = 4;
// Far above any text of ours (a news text is well under 1 MiB): a longer
// length is garbage, and the stream is given up.
inline constexpr uint32_t kMaxFrameText = 8u << 20;
// What a writer holds before it gives the peer up as stuck.
inline constexpr size_t kMaxPendingBytes = 4 * (kMaxFrameText + kFrameHeaderBytes);

enum class FrameStatus {
    kFrame,     // *text holds the next frame's text
    kNeedMore,  // no complete frame yet
    kBroken,    // garbage, or memory ran out: nothing more will be read
};

// Bytes in, whole texts out. Every buffer is malloc'ed.
struct FrameReader {
    unsigned char* bytes = nullptr;  // fed but not yet taken
    size_t size = 0;
    size_t capacity = 0;
    char* text = nullptr;  // the last frame's text, NUL-ended
    size_t text_capacity = 0;
    bool broken = false;
};

void frame_reader_free(FrameReader* reader);

// Appends bytes read from the socket. False once the stream is broken.
bool frame_reader_feed(FrameReader* reader, const void* data, size_t size);

// The next whole frame. The text is NUL-ended and stays valid until the
// next call. A frame that holds a NUL byte is skipped: no text of ours has
// one, and a reader of C strings would see a different text.
FrameStatus frame_reader_next(FrameReader* reader, const char** text, size_t* length);

// Texts out, bytes to the socket.
struct FrameWriter {
    unsigned char* bytes = nullptr;  // framed, not yet sent
    size_t size = 0;
    size_t capacity = 0;
    bool broken = false;
};

void frame_writer_free(FrameWriter* writer);

// Queues one frame. False (and nothing queued) when the text is too long,
// memory runs out or the queue is over kMaxPendingBytes; the writer is
// broken then, since the peer would miss a text.
bool frame_writer_put(FrameWriter* writer, const char* text, size_t length);

// Sends what the socket takes now, without waiting. False when the socket
// failed (the peer is gone); true otherwise, even if bytes remain.
bool frame_writer_flush(FrameWriter* writer, int fd);

// [any-thread] Whether bytes wait to be sent.
inline bool frame_writer_pending(const FrameWriter* writer) { return writer->size > 0; }

}  // namespace yawp::x11editor
