// The news store: small text files in a per-user folder, shared by every
// instance of the plug-in in every process, and the page's "crierV1"
// requests for them.
//
//   Windows: %APPDATA%\Tallow.AUDIO
//   Linux:   $XDG_DATA_HOME/Tallow.AUDIO, else ~/.local/share/Tallow.AUDIO
//
//     crier-system       the sid the page gave
//     crier-news         the news data; its first eight bytes are its tag
//     NAME\latest        one "latest" marker per name; tagged the same way
//
// A file is named by a list of parts ended by a null: {"crier-news",
// nullptr} or {name, "latest", nullptr}. Names come from the page, so every
// part is checked before it becomes a path: it may hold sub-folders ("a\b"
// or "a/b"), but nothing that could leave the store folder (see
// crier_part_is_acceptable).
//
// Every operation opens, locks, uses, unlocks and closes its file before it
// returns; no state is kept between calls, and nothing is ever deleted. The
// locks are exclusive whole-file locks that also serialise other processes,
// and they wait without a time-out.
//
// Everything returned is released with std::free.
#pragma once

#include <cstddef>

struct WV2Host;

#ifdef _WIN32
using CrierPathChar = wchar_t;  // UTF-16
#else
using CrierPathChar = char;  // UTF-8
#endif

// [any-thread] The store folder followed by the parts, separated by the
// platform's separator (on Linux a backslash inside a part becomes "/" too,
// so that "a\b" means the same nested folders on both). With `folder_only`
// the last part is left out. Null when the store folder is unknown, a part
// is refused, or memory runs out.
CrierPathChar* crier_build_path(bool folder_only, const char* const* parts);

// [any-thread] Creates every folder along crier_build_path(folder_only,
// parts), except the root it starts from. Returns 0, or -1 when the path
// cannot be built or a folder cannot be created.
int crier_make_dirs(bool folder_only, const char* const* parts);

// [any-thread] Reads the whole file under its lock. Returns 0 with *text a
// new NUL-ended copy, or 0 with *text null when the file does not exist;
// -1 (and null) when the path is refused or the file cannot be opened,
// locked or read.
int crier_read_file(char** text, const char* const* parts);

// [any-thread] Creates the folders and replaces the file's content by
// `text`. The file is emptied only once its lock is held. Returns 0 or -1.
int crier_write_file(const char* text, const char* const* parts);

// [any-thread] Check-and-replace of the file `file_name` (inside the folder
// `name` when it is not null). `data` is an eight-byte tag, one separator
// and the new content, or "-", one separator and the new content. The file
// is replaced when its first eight bytes equal the tag, or when it is empty;
// "-" only replaces an empty file. Otherwise the page receives
// "crierV1 " + conflict_word + " " + the file's content and nothing changes.
// Data too short for its form is ignored.
void crier_sync_file(WV2Host* host, const char* name, const char* file_name, const char* data,
                     const char* conflict_word);

// [any-thread] A new string made of all arguments up to the null that ends
// them; null when memory runs out.
char* crier_concat(const char* first, ...)
#if defined(__GNUC__)
    __attribute__((sentinel))
#endif
    ;

// [web-view-thread] on Windows, [main-thread] on Linux (where the host's UI
// thread reads the helper's messages). Serves one page text (the part of
// an "m" message after "m "). Unknown or malformed requests are ignored
// without reply.
void crier_handle_message(WV2Host* host, const char* text);

// [any-thread] Whether a part from the page may become a path component:
// valid UTF-8, made of one or more components separated by "\" or "/", none
// of them empty, "." or "..", ending in a dot or a space, or a Windows
// device name (CON, NUL, COM1, ...); no control characters and none of
// < > : " | ? *. So no name can be absolute, drive-qualified, UNC, a device
// path or an alternate data stream, or climb out of the store folder.
bool crier_part_is_acceptable(const char* part);

// Every allocation of the store goes through this function (std::malloc
// unless replaced); it must return memory that std::free releases. Tests
// replace it to make memory run out at a chosen point. Returns the previous
// one. [any-thread], but set it only while no store call runs.
using CrierAllocator = void* (*)(size_t size);
CrierAllocator crier_set_allocator(CrierAllocator allocator);
