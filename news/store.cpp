// The store's file operations, the same on every platform: each one opens,
// locks, uses, unlocks and closes its file before it returns.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "news/crier.h"
#include "news/memory.h"
#include "news/platform.h"
#include "news/reply_sink.h"

namespace {

using yawp::news::OpenFor;

constexpr size_t kTagLength = 8;
// The content follows the tag (or "-") and one separator character.
constexpr size_t kTaggedContentOffset = kTagLength + 1;
constexpr size_t kUntaggedContentOffset = 2;
// Shortest data of each form. A tagged content begins with its own new tag,
// so it is never empty.
constexpr size_t kTaggedMinimum = kTaggedContentOffset + 1;
constexpr size_t kUntaggedMinimum = kUntaggedContentOffset;

int create_along(CrierPathChar* path) {
    CrierPathChar* at = path + yawp::news::root_length(path);
    for (;;) {
        while (yawp::news::is_separator(*at)) ++at;
        if (*at == 0) return 0;
        while (*at != 0 && !yawp::news::is_separator(*at)) ++at;
        const CrierPathChar kept = *at;
        *at = 0;
        const int result = yawp::news::create_folder(path);
        *at = kept;
        if (result != 0) return -1;
    }
}

// Null with errno set; a path that cannot be built is never a missing file.
FILE* open_path(const char* const* parts, OpenFor purpose) {
    CrierPathChar* path = crier_build_path(false, parts);
    if (path == nullptr) {
        errno = EINVAL;
        return nullptr;
    }
    FILE* file = yawp::news::open_file(path, purpose);
    const int error = errno;
    std::free(path);
    errno = error;
    return file;
}

// The size of the file, with the position back at its start; -1 when
// seeking fails.
long file_size(FILE* file) {
    if (std::fseek(file, 0, SEEK_END) != 0) return -1;
    const long size = std::ftell(file);
    return std::fseek(file, 0, SEEK_SET) == 0 ? size : -1;
}

// All of a locked file. Text-mode reading can give fewer bytes than the
// size, so the text ends after what was actually read.
char* read_whole(FILE* file) {
    const long size = file_size(file);
    if (size < 0) return nullptr;
    auto* text = static_cast<char*>(yawp::news::allocate(static_cast<size_t>(size) + 1));
    if (text == nullptr) return nullptr;
    const size_t got = std::fread(text, 1, static_cast<size_t>(size), file);
    text[got] = '\0';
    return text;
}

// False, with the file closed, when the lock cannot be had.
bool lock_or_close(FILE* file) {
    if (yawp::news::lock_file(file) == 0) return true;
    std::fclose(file);
    return false;
}

void unlock_and_close(FILE* file) {
    yawp::news::unlock_file(file);
    std::fclose(file);
}

// Empties the locked file only now, so that nobody ever finds it empty.
int replace_content(FILE* file, const char* content) {
    // Also ends any reading, as a stream needs before it writes.
    if (std::fseek(file, 0, SEEK_SET) != 0) return -1;
    if (yawp::news::empty_file(file) != 0) return -1;
    const size_t n = std::strlen(content);
    if (std::fwrite(content, 1, n, file) != n) return -1;
    return std::fflush(file) == 0 ? 0 : -1;
}

bool has_form(const char* data) {
    const size_t n = strnlen(data, kTaggedMinimum);
    return data[0] == '-' ? n >= kUntaggedMinimum : n >= kTaggedMinimum;
}

bool file_starts_with_tag(FILE* file, const char* data) {
    for (size_t i = 0; i < kTagLength; ++i) {
        const int c = std::fgetc(file);
        if (c == EOF || c != static_cast<unsigned char>(data[i])) return false;
    }
    return true;
}

// The content that replaces the file, or null for a conflict.
const char* decide(FILE* file, long size, const char* data) {
    if (data[0] == '-') return size == 0 ? data + kUntaggedContentOffset : nullptr;
    if (size == 0 || file_starts_with_tag(file, data)) return data + kTaggedContentOffset;
    return nullptr;
}

// Under the lock: either replaces the content and returns null, or returns
// the current content for a conflict reply (null if it cannot be read).
char* check_and_replace(FILE* file, const char* data) {
    const long size = file_size(file);
    if (size < 0) return nullptr;
    const char* content = decide(file, size, data);
    if (content == nullptr) return read_whole(file);
    replace_content(file, content);
    return nullptr;
}

void send_conflict(WV2Host* host, const char* conflict_word, const char* text) {
    char* reply = crier_concat("crierV1 ", conflict_word, " ", text, nullptr);
    if (reply == nullptr) return;
    wv2_host_send_text(host, reply);
    std::free(reply);
}

}  // namespace

int crier_make_dirs(bool folder_only, const char* const* parts) {
    CrierPathChar* path = crier_build_path(folder_only, parts);
    if (path == nullptr) return -1;
    const int result = create_along(path);
    std::free(path);
    return result;
}

int crier_read_file(char** text, const char* const* parts) {
    if (text == nullptr) return -1;
    *text = nullptr;
    FILE* file = open_path(parts, OpenFor::kRead);
    if (file == nullptr) return errno == ENOENT ? 0 : -1;
    if (!lock_or_close(file)) return -1;
    *text = read_whole(file);
    unlock_and_close(file);
    return *text != nullptr ? 0 : -1;
}

int crier_write_file(const char* text, const char* const* parts) {
    if (text == nullptr || crier_make_dirs(true, parts) != 0) return -1;
    FILE* file = open_path(parts, OpenFor::kOverwrite);
    if (file == nullptr || !lock_or_close(file)) return -1;
    const int result = replace_content(file, text);
    unlock_and_close(file);
    return result;
}

void crier_sync_file(WV2Host* host, const char* name, const char* file_name, const char* data,
                     const char* conflict_word) {
    if (file_name == nullptr || data == nullptr || conflict_word == nullptr || !has_form(data)) return;
    const char* folder[] = {name, nullptr};  // no parts at all without a name
    const char* with_name[] = {name, file_name, nullptr};
    const char* without_name[] = {file_name, nullptr};
    if (crier_make_dirs(false, folder) != 0) return;

    FILE* file = open_path(name != nullptr ? with_name : without_name, OpenFor::kCheck);
    if (file == nullptr || !lock_or_close(file)) return;
    char* current = check_and_replace(file, data);
    unlock_and_close(file);
    // Sent only once the lock is given back: the page may take its time.
    if (current != nullptr) send_conflict(host, conflict_word, current);
    std::free(current);
}
