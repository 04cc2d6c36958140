#include "pending_file.h"

#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace yawp::render {
namespace {

// mkstemp makes its files private; the finished file gets the permissions
// any newly created file would get.
constexpr mode_t kNewFileMode = 0666;

mode_t current_umask() {
    const mode_t mask = umask(0);
    umask(mask);
    return mask;
}

}  // namespace

PendingFile::~PendingFile() {
    if (!temp_path_.empty() && !committed_) unlink(temp_path_.c_str());
}

bool PendingFile::create() {
    // Beside the final file, so that the rename stays within one file system.
    std::string pattern = final_path_ + ".partial-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = mkstemp(name.data());
    if (fd < 0) return false;
    temp_path_ = name.data();
    fchmod(fd, kNewFileMode & ~current_umask());
    close(fd);
    return true;
}

bool PendingFile::commit() {
    if (temp_path_.empty() || rename(temp_path_.c_str(), final_path_.c_str()) != 0) return false;
    committed_ = true;
    return true;
}

}  // namespace yawp::render
