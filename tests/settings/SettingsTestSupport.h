#pragma once
// Helpers of the settings tests: environment variables set for one scope, whole-file text access,
// and running a step without permission to write.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace gw::test {

// Sets (or, with nullopt, removes) an environment variable and restores the previous state on exit.
class TScopedEnv {
public:
    TScopedEnv(std::string name, const std::optional<std::string>& value) : FName(std::move(name)) {
        if (const char* old = std::getenv(FName.c_str()))
            FOld = old;
        Apply(value);
    }
    ~TScopedEnv() { Apply(FOld); }
    TScopedEnv(const TScopedEnv&) = delete;
    TScopedEnv& operator=(const TScopedEnv&) = delete;

private:
    void Apply(const std::optional<std::string>& value) {
        if (value)
            ::setenv(FName.c_str(), value->c_str(), 1);
        else
            ::unsetenv(FName.c_str());
    }
    std::string FName;
    std::optional<std::string> FOld;
};

inline std::string ReadText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline void WriteText(const std::filesystem::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

// Runs step in a child process without the power to override file permissions: a root child drops
// to the unprivileged user "nobody" (root writes anywhere). Returns the child's wait status; a normal
// exit with code 0 means step returned without crashing or throwing.
inline int RunUnprivileged(const std::function<void()>& step) {
    const pid_t child = ::fork();
    if (child == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(3);
        step();
        ::_exit(0);
    }
    int status = -1;
    ::waitpid(child, &status, 0);
    return status;
}

inline bool ExitedCleanly(int status) {
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace gw::test
