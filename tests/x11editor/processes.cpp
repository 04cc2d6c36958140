#include "processes.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>

#include <dirent.h>
#include <unistd.h>

namespace yawp::test {

namespace {

// (pid, parent pid, state, name) of one process, false when it has gone.
bool read_stat(pid_t pid, pid_t* parent, char* state, std::string* name) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line)) return false;
    const size_t open = line.find('(');
    const size_t close = line.rfind(')');
    if (open == std::string::npos || close == std::string::npos) return false;
    if (name) *name = line.substr(open + 1, close - open - 1);
    int p = 0;
    char s = 0;
    if (std::sscanf(line.c_str() + close + 1, " %c %d", &s, &p) != 2) return false;
    if (parent) *parent = p;
    if (state) *state = s;
    return true;
}

std::vector<pid_t> all_processes() {
    std::vector<pid_t> found;
    DIR* proc = opendir("/proc");
    while (dirent* entry = proc ? readdir(proc) : nullptr) {
        const pid_t pid = std::atoi(entry->d_name);
        if (pid > 0) found.push_back(pid);
    }
    if (proc) closedir(proc);
    return found;
}

}  // namespace

std::vector<pid_t> children_named(const std::string& name) {
    std::vector<pid_t> found;
    for (pid_t pid : all_processes()) {
        pid_t parent = 0;
        std::string n;
        if (read_stat(pid, &parent, nullptr, &n) && parent == getpid() && n == name) found.push_back(pid);
    }
    return found;
}

std::vector<pid_t> children_of(pid_t of) {
    std::vector<pid_t> found;
    for (pid_t pid : all_processes()) {
        pid_t parent = 0;
        if (read_stat(pid, &parent, nullptr, nullptr) && parent == of) found.push_back(pid);
    }
    return found;
}

bool process_exists(pid_t pid) { return read_stat(pid, nullptr, nullptr, nullptr); }

bool process_ended(pid_t pid) {
    char state = 0;
    return !read_stat(pid, nullptr, &state, nullptr) || state == 'Z';
}

bool process_name_and_state(pid_t pid, std::string* name, char* state) {
    return read_stat(pid, nullptr, state, name);
}

long resident_kib(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
    return 0;
}

long family_resident_kib(pid_t pid) {
    long total = 0;
    std::vector<pid_t> family = {pid};
    for (size_t i = 0; i < family.size(); ++i) {
        total += resident_kib(family[i]);
        for (pid_t child : children_of(family[i])) family.push_back(child);
    }
    return total;
}

}  // namespace yawp::test
