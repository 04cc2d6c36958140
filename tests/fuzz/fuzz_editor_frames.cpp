// The frames the Linux editor's helper sends, and the page texts in them:
// whatever the bytes and however they arrive, every text comes out whole,
// NUL-free and no longer than what was fed, reads as a page message without
// reading past it, and frames written back read the same again. The first
// byte chooses how the rest is cut into reads.
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "x11editor/frames.h"
#include "webui/page_messages.h"

using namespace yawp::x11editor;
using namespace yawp::page_messages;

namespace {

constexpr uint32_t kCount = 36;

std::vector<std::string> read_frames(const uint8_t* data, size_t size, size_t step, FrameWriter* echo) {
    FrameReader reader;
    std::vector<std::string> texts;
    size_t fed = 0;
    for (size_t at = 0; at < size; at += step) {
        const size_t n = size - at < step ? size - at : step;
        if (!frame_reader_feed(&reader, data + at, n)) break;
        fed += n;
        const char* text = nullptr;
        size_t length = 0;
        while (frame_reader_next(&reader, &text, &length) == FrameStatus::kFrame) {
            FUZZ_CHECK(length + kFrameHeaderBytes <= fed);
            FUZZ_CHECK(std::string(text).size() == length);
            const PageMessage m = read_page_message(text, kCount);
            if (m.kind == PageMessageKind::kBegin || m.kind == PageMessageKind::kPerform ||
                m.kind == PageMessageKind::kEnd)
                FUZZ_CHECK(m.index < kCount);
            if (m.kind == PageMessageKind::kNews) FUZZ_CHECK(m.text == text + 2);
            if (m.kind == PageMessageKind::kKeyDown || m.kind == PageMessageKind::kKeyUp)
                FUZZ_CHECK(m.key.code >= 1 && m.key.code <= kLastKeyCode && m.key.character <= kLastCharacter &&
                           (m.key.modifiers & ~kKeyModifierMask) == 0);
            texts.emplace_back(text, length);
            if (echo != nullptr) FUZZ_CHECK(frame_writer_put(echo, text, length));
        }
    }
    frame_reader_free(&reader);
    return texts;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const size_t step = 1 + data[0] % 64;
    FrameWriter echo;
    const std::vector<std::string> texts = read_frames(data + 1, size - 1, step, &echo);
    FUZZ_CHECK(read_frames(data + 1, size - 1, size, nullptr) == texts);  // all at once
    FUZZ_CHECK(read_frames(echo.bytes, echo.size, 7, nullptr) == texts);
    frame_writer_free(&echo);
    return 0;
}
