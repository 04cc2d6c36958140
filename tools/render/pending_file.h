// A file written under a temporary name beside its final place: a render
// that fails leaves nothing behind, and one that succeeds appears whole.
#pragma once

#include <string>

namespace yawp::render {

class PendingFile {
public:
    explicit PendingFile(std::string final_path) : final_path_(std::move(final_path)) {}
    ~PendingFile();
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    // Creates the empty temporary file. False (with errno set) on failure.
    bool create();

    // Where to write until commit.
    const std::string& path() const { return temp_path_; }

    // Moves the temporary file to its final name. False on failure, in which
    // case the temporary file is still removed by the destructor.
    bool commit();

private:
    std::string final_path_;
    std::string temp_path_;
    bool committed_ = false;
};

}  // namespace yawp::render
