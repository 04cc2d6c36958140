// What the news store does differently on Windows and on Linux: where the
// store folder is, how paths are rooted and folders made, and how a file is
// opened, locked and emptied. The rest of the store is shared.
#pragma once

#include <cstddef>
#include <cstdio>

#include "news/crier.h"

namespace yawp::news {

enum class OpenFor {
    kRead,       // must exist
    kOverwrite,  // created when missing, never emptied by opening it
    kCheck,      // read and write, created when missing
};

// [any-thread] Length of the root at the start of `path` (a drive, a UNC
// share, a device prefix), which is never created.
size_t root_length(const CrierPathChar* path);

// [any-thread]
bool is_separator(CrierPathChar c);

// [any-thread] 0 when the folder was made or already exists, -1 otherwise.
int create_folder(const CrierPathChar* path);

// [any-thread] A buffered stream, or null with errno set (ENOENT when the
// file or a folder on its path does not exist).
FILE* open_file(const CrierPathChar* path, OpenFor purpose);

// [any-thread] The exclusive lock on the whole file; waits for other holders,
// in this process or others, without a time-out. 0 or -1.
int lock_file(FILE* file);
void unlock_file(FILE* file);

// [any-thread] Cuts the file to 0 bytes. 0 or -1.
int empty_file(FILE* file);

}  // namespace yawp::news
