#include "CliTestSupport.h"

#include "codecs/ConvertPng.h"
#include "image/OrbIcon.h"
#include "settings/Setting.h"
#include "support/TestSupport.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace gw::test {

namespace fs = std::filesystem;

namespace {

// Reads both descriptors to their end at once, so that neither pipe can fill up and stall the child.
void ReadBoth(int out, int err, std::string& outText, std::string& errText) {
    pollfd fds[2] = {{out, POLLIN, 0}, {err, POLLIN, 0}};
    std::string* texts[2] = {&outText, &errText};
    char buffer[4096];
    for (int open = 2; open > 0;) {
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0)
                continue;
            const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                texts[i]->append(buffer, static_cast<std::size_t>(n));
            } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
                // A pseudo-terminal whose other side closed answers EIO: its end, too.
                fds[i].fd = -1;
                --open;
            }
        }
    }
}

// The master side of a new pseudo-terminal; its slave's name in slaveName.
int OpenTerminal(std::string& slaveName) {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0)
        throw std::runtime_error("no pseudo-terminal");
    slaveName = ::ptsname(master);
    return master;
}

} // namespace

const fs::path& CliProgram() {
    static const fs::path program = BinaryDir() / "cli" / "glyphwright-cli";
    return program;
}

TCliChild::TCliChild(const std::vector<std::string>& args, const std::vector<std::string>& env,
                     bool errToTerminal, const std::vector<std::string>& wrapper) {
    int out[2];
    int err[2] = {-1, -1};
    std::string terminal;
    if (::pipe(out) != 0)
        throw std::runtime_error("pipe");
    if (errToTerminal) {
        err[0] = OpenTerminal(terminal);
        err[1] = ::open(terminal.c_str(), O_RDWR | O_NOCTTY);
    } else if (::pipe(err) != 0) {
        throw std::runtime_error("pipe");
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    posix_spawn_file_actions_addclose(&actions, err[0]);

    std::vector<std::string> argStore = wrapper;
    argStore.push_back(CliProgram().string());
    argStore.insert(argStore.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : argStore)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    // Later entries win: drop inherited ones that env sets again.
    std::vector<std::string> envStore;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('='));
        if (std::none_of(env.begin(), env.end(),
                         [&](const std::string& s) { return s.rfind(name + "=", 0) == 0; }))
            envStore.push_back(entry);
    }
    envStore.insert(envStore.end(), env.begin(), env.end());
    std::vector<char*> envp;
    for (auto& e : envStore)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    // The child starts with the default dispositions and an empty signal mask, whatever the test
    // program set.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    const int rc = ::posix_spawn(&FPid, argv[0], &actions, &attributes, argv.data(), envp.data());
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    ::close(err[1]);
    FOut = out[0];
    FErr = err[0];
    if (rc != 0)
        throw std::runtime_error("cannot start " + CliProgram().string());
}

TCliChild::~TCliChild() {
    if (FOut >= 0)
        ::close(FOut);
    if (FErr >= 0)
        ::close(FErr);
    if (FPid > 0) {
        int status = 0;
        ::waitpid(FPid, &status, 0);
    }
}

std::string TCliChild::NextLine() {
    std::string line;
    char c = 0;
    while (::read(FOut, &c, 1) == 1) {
        line += c;
        if (c == '\n')
            break;
    }
    FOutSoFar += line;
    return line;
}

void TCliChild::Signal(int signal) {
    ::kill(FPid, signal);
}

TCliResult TCliChild::Wait() {
    TCliResult result;
    std::string out;
    ReadBoth(FOut, FErr, out, result.Err);
    result.Out = FOutSoFar + out;
    int status = 0;
    while (::waitpid(FPid, &status, 0) < 0 && errno == EINTR) {
    }
    FPid = -1;
    result.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

TCliResult RunCli(const std::vector<std::string>& args, const std::vector<std::string>& env) {
    return TCliChild(args, env).Wait();
}

TCliResult RunCliWrapped(const std::vector<std::string>& wrapper, const std::vector<std::string>& args) {
    return TCliChild(args, {}, false, wrapper).Wait();
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

std::vector<std::pair<std::string, std::vector<std::uint8_t>>> FolderContents(const fs::path& folder) {
    std::vector<std::pair<std::string, std::vector<std::uint8_t>>> contents;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file())
            contents.emplace_back(fs::relative(entry.path(), folder).string(), ReadFileBytes(entry.path()));
    std::sort(contents.begin(), contents.end());
    return contents;
}

void WriteBmpPicture(const fs::path& path, const TBitmap& bitmap) {
    WriteFileBytes(path, EncodeTestBmp(bitmap));
}

void WritePngPicture(const fs::path& path, const TBitmap& bitmap) {
    std::vector<std::uint8_t> png;
    if (!BitmapToPngData(bitmap, png))
        throw std::runtime_error("cannot encode a test picture");
    WriteFileBytes(path, png);
}

} // namespace gw::test
