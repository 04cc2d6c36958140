#include "spawn.h"

#include <filesystem>

#ifdef _WIN32
#include <windows.h>
#else
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
extern char** environ;
#endif

namespace news_test {
namespace {

namespace fs = std::filesystem;

#ifdef _WIN32

constexpr DWORD kLongestRunMs = 600000;

fs::path worker_path() {
    wchar_t self[32768];
    const DWORD n = GetModuleFileNameW(nullptr, self, sizeof self / sizeof self[0]);
    return fs::path(std::wstring(self, n)).parent_path() / L"news_contention_worker.exe";
}

using Process = HANDLE;
constexpr Process kNoProcess = nullptr;

// The arguments are plain words, so no quoting is needed beyond the program.
Process start(const fs::path& program, const std::vector<std::string>& arguments) {
    std::wstring command = L"\"" + program.wstring() + L"\"";
    for (const std::string& argument : arguments) command += L" " + std::wstring(argument.begin(), argument.end());
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &started))
        return kNoProcess;
    CloseHandle(started.hThread);
    return started.hProcess;
}

int finish(Process process) {
    DWORD code = static_cast<DWORD>(-1);
    if (WaitForSingleObject(process, kLongestRunMs) != WAIT_OBJECT_0) TerminateProcess(process, code);
    else GetExitCodeProcess(process, &code);
    CloseHandle(process);
    return static_cast<int>(code);
}

#else

fs::path worker_path() { return fs::read_symlink("/proc/self/exe").parent_path() / "news_contention_worker"; }

using Process = pid_t;
constexpr Process kNoProcess = -1;

Process start(const fs::path& program, const std::vector<std::string>& arguments) {
    std::vector<std::string> words = {program.string()};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    pid_t pid = kNoProcess;
    return posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ) == 0 ? pid : kNoProcess;
}

int finish(Process pid) {
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

#endif

}  // namespace

std::vector<int> run_workers(const std::vector<std::vector<std::string>>& arguments) {
    const fs::path program = worker_path();
    std::vector<Process> processes;
    for (const auto& words : arguments) processes.push_back(start(program, words));
    std::vector<int> codes;
    for (Process process : processes) codes.push_back(process == kNoProcess ? -1 : finish(process));
    return codes;
}

}  // namespace news_test
