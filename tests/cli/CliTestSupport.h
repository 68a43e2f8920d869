#pragma once
// Runs the glyphwright-cli program as a script would, for the command-line tests: its standard output
// and error on pipes (or standard error on a pseudo-terminal), its exit status, signals sent to it.

#include "image/Bitmap.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <sys/types.h>
#include <vector>

namespace gw::test {

// The program as built beside the tests.
const std::filesystem::path& CliProgram();

struct TCliResult {
    int Status = -1; // the exit status, or -1 when the program did not exit normally
    std::string Out;
    std::string Err;
};

// A running glyphwright-cli.
class TCliChild {
public:
    // env entries are added to (and override) this process's environment. With errToTerminal the
    // program's standard error is a pseudo-terminal instead of a pipe. A wrapper (a program and its
    // arguments) runs the program.
    explicit TCliChild(const std::vector<std::string>& args, const std::vector<std::string>& env = {},
                       bool errToTerminal = false, const std::vector<std::string>& wrapper = {});
    ~TCliChild();
    TCliChild(const TCliChild&) = delete;
    TCliChild& operator=(const TCliChild&) = delete;

    // Reads standard output up to the end of its next line (empty at the end of the output).
    std::string NextLine();
    void Signal(int signal);
    // Reads both streams to their end and waits for the exit.
    TCliResult Wait();

private:
    pid_t FPid = -1;
    int FOut = -1;
    int FErr = -1;
    std::string FOutSoFar;
};

TCliResult RunCli(const std::vector<std::string>& args, const std::vector<std::string>& env = {});
// The program run by wrapper (its first item a full path), as "setpriv ..." does.
TCliResult RunCliWrapped(const std::vector<std::string>& wrapper, const std::vector<std::string>& args);

// The lines of text, each without its line feed.
std::vector<std::string> Lines(const std::string& text);

// Every regular file below folder (relative paths) with its bytes.
std::vector<std::pair<std::string, std::vector<std::uint8_t>>>
FolderContents(const std::filesystem::path& folder);

// Picture files for the conversions: a 32-bit BMP or a PNG of bitmap.
void WriteBmpPicture(const std::filesystem::path& path, const TBitmap& bitmap);
void WritePngPicture(const std::filesystem::path& path, const TBitmap& bitmap);

} // namespace gw::test
