#include "ConvertCommand.h"

#include "Options.h"

#include "color/DataType.h"
#include "pipeline/BatchProcess.h"
#include "pipeline/FormatList.h"
#include "pipeline/IOManager.h"
#include "pipeline/IconCoders.h"
#include "settings/Setting.h"

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <pthread.h>
#include <system_error>

namespace gw::cli {

namespace fs = std::filesystem;

namespace {

struct TConvertOptions {
    TIconType IconType = TIconType::itWin;
    std::optional<std::string> OutputDir;
    std::optional<std::string> Formats;
    bool Dither = true;
    bool Png = true;
    bool Quiet = false;
    std::vector<fs::path> Paths;
};

const std::vector<TOptionSpec> kSpecs = {
    {"type", true},    {"output-dir", true}, {"formats", true},    {"no-dither", false},
    {"no-png", false}, {"quiet", false},     {"help", false, 'h'},
};

int UsageError(const std::string& message) {
    std::fprintf(stderr, "glyphwright-cli convert: %s\nTry 'glyphwright-cli convert --help'.\n",
                 message.c_str());
    return kExitUsage;
}

// Fills options from parsed; an error message when they do not make sense.
std::optional<std::string> ReadOptions(const TParsedArgs& parsed, TConvertOptions& options) {
    if (const auto type = parsed.Value("type")) {
        if (*type == "win")
            options.IconType = TIconType::itWin;
        else if (*type == "mac")
            options.IconType = TIconType::itMac;
        else
            return "--type must be win or mac, not '" + *type + "'";
    }
    if (const auto dir = parsed.Value("output-dir")) {
        std::error_code ec;
        if (dir->empty() || !fs::is_directory(*dir, ec))
            return "output folder '" + *dir + "' does not exist";
        options.OutputDir = *dir;
    }
    if (const auto formats = parsed.Value("formats")) {
        if (!ParseFormatList(*formats))
            return "--formats: '" + *formats + "' is not a list like 16x16-32;32x32-8";
        options.Formats = *formats;
    }
    options.Dither = !parsed.Has("no-dither");
    options.Png = !parsed.Has("no-png");
    options.Quiet = parsed.Has("quiet");
    for (const auto& operand : parsed.Operands)
        options.Paths.emplace_back(operand);
    if (options.Paths.empty())
        return "no PATH given";
    return std::nullopt;
}

void ApplyOptions(const TConvertOptions& options, TGlobalSetting& settings) {
    settings.SetIconType(options.IconType);
    if (options.OutputDir)
        settings.SetPath(*options.OutputDir);
    if (options.Formats) {
        if (options.IconType == TIconType::itWin)
            settings.SetWinFormats(*options.Formats);
        else
            settings.SetMacFormats(*options.Formats);
    }
    settings.SetDither(options.Dither);
    settings.SetCompressVista(options.Png);
}

const char* FailureText(TErrorType kind) {
    switch (kind) {
    case TErrorType::etReadError:
        return "read error";
    case TErrorType::etWriteError:
        return "write error";
    case TErrorType::etNone:
        break;
    }
    return "failed";
}

void PrintLine(std::FILE* stream, const std::string& line) {
    std::fputs(line.c_str(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

// Signals the main thread waits for while the worker runs: Ctrl-C and kill ask it to stop after the
// picture in hand, SIGUSR1 is the worker's own "finished".
class TSignalWait {
public:
    TSignalWait() {
        sigemptyset(&FSet);
        sigaddset(&FSet, SIGINT);
        sigaddset(&FSet, SIGTERM);
        sigaddset(&FSet, SIGUSR1);
        // Blocked before the worker starts, so the worker inherits the mask and every one of these
        // signals waits for the main thread's sigwait.
        pthread_sigmask(SIG_BLOCK, &FSet, &FOld);
    }
    ~TSignalWait() { pthread_sigmask(SIG_SETMASK, &FOld, nullptr); }
    TSignalWait(const TSignalWait&) = delete;
    TSignalWait& operator=(const TSignalWait&) = delete;

    int Next() {
        int signal = 0;
        while (sigwait(&FSet, &signal) != 0) {
        }
        return signal;
    }

private:
    sigset_t FSet{};
    sigset_t FOld{};
};

// Runs the batch and returns its summary; succeeded tells whether every picture was converted.
TSummaryMessage RunBatch(TIOManager& manager, const TConvertOptions& options, bool& succeeded) {
    TBatchProcess batch(manager);
    batch.SetFileList(options.Paths);
    // A command-line run keeps the priority its user gave it (nice).
    batch.SetLowestPriority(false);
    batch.SetOnFileDone([&options](const fs::path& source, bool ok, TErrorType kind, const fs::path& output) {
        if (options.Quiet)
            return;
        PrintLine(stdout, ok ? source.string() + " -> " + output.string()
                             : source.string() + ": " + FailureText(kind));
    });
    const pthread_t mainThread = pthread_self();
    batch.SetOnTerminate([mainThread](TBatchProcess&) { pthread_kill(mainThread, SIGUSR1); });

    bool interrupted = false;
    {
        TSignalWait signals;
        batch.Start();
        for (;;) {
            const int signal = signals.Next();
            if (signal == SIGUSR1 && batch.Finished())
                break;
            if ((signal == SIGINT || signal == SIGTERM) && !interrupted) {
                interrupted = true;
                batch.Terminate();
                if (!options.Quiet)
                    PrintLine(stderr, "Cancelling: the picture in hand is finished first.");
            }
        }
        batch.WaitFor();
    }
    if (interrupted)
        batch.SetCancelled(true);
    succeeded = !batch.Cancelled() && batch.Success() > 0 && batch.Failed() == 0;
    return GetSummaryMessage(batch);
}

} // namespace

std::string ConvertUsage() {
    return R"(Usage: glyphwright-cli convert [OPTIONS] PATH...

Turns every picture among the PATHs into one icon file, as dropping them on the Glyphwright window
would: folders and files that are not pictures (BMP, JPEG, PNG, GIF, little-endian TIFF, JPEG 2000,
recognised by their content) are skipped. The icon is written beside its picture, or into the output
folder, as NAME.ico or NAME.icns; an existing file is never overwritten: the new icon gets the next free
name NAME (2).ico, NAME (3).ico, ...

The command starts from the default settings and never reads or writes the window's settings file.

Options:
  --type win|mac      icon type: Windows .ico (default) or Macintosh .icns
  --output-dir DIR    write the icons into DIR (it must exist) instead of beside the pictures
  --formats LIST      the images of the icon type chosen, as WIDTHxHEIGHT-BITS items separated by ";"
                      (bits 32, 8, 4 or 1), for example "16x16-32;32x32-8;256x256-32". Formats wider
                      than the picture are skipped. Defaults:
                        win: 16x16-32;16x16-8;16x16-4;32x32-32;32x32-8;32x32-4;48x48-32;48x48-8;
                             64x64-32;256x256-32
                        mac: 16x16-32;16x16-8;16x16-4;32x32-32;32x32-8;32x32-4;48x48-32;48x48-8;
                             128x128-32;256x256-32;512x512-32;1024x1024-32
  --no-dither         map 8-, 4- and 1-bit images to their palette without Floyd-Steinberg dithering
  --no-png            store the 256 x 256 image of an .ico file as a bitmap instead of PNG
  --quiet             print nothing but a failure summary
  -h, --help          show this help

Output: one line per picture on standard output, "SOURCE -> ICON" or "SOURCE: read error",
"SOURCE: write error" or "SOURCE: failed", then the summary of the run (on standard error when some
picture failed). Ctrl-C stops after the picture in hand; icons written so far stay.

Exit status: 0 when every picture was converted, 1 when some picture failed, none was recognised or
the run was cancelled, 2 for a usage error.
)";
}

int RunConvert(const std::vector<std::string>& args) {
    const TParsedArgs parsed = ParseArgs(args, kSpecs);
    if (!parsed.Error.empty())
        return UsageError(parsed.Error);
    if (parsed.Has("help")) {
        std::fputs(ConvertUsage().c_str(), stdout);
        return kExitOk;
    }
    TConvertOptions options;
    if (const auto error = ReadOptions(parsed, options))
        return UsageError(*error);

    // Nothing written to a closed pipe should end the run in the middle of a save.
    std::signal(SIGPIPE, SIG_IGN);

    // A detached settings object: the defaults, never the window's settings file.
    TGlobalSetting settings(TPersistence::Detached);
    ApplyOptions(options, settings);
    RegisterIconCoders(settings);
    TDataType dataType(settings);
    TIOManager manager(settings, dataType);

    bool succeeded = false;
    const TSummaryMessage summary = RunBatch(manager, options, succeeded);
    if (summary.Type == TMessageType::mtFailure)
        PrintLine(stderr, summary.Text);
    else if (!options.Quiet)
        PrintLine(stdout, summary.Text);
    return succeeded ? kExitOk : kExitFailure;
}

} // namespace gw::cli
