#include "ConvertCommand.h"

#include "IconOptions.h"
#include "Options.h"
#include "ParallelBatch.h"
#include "ProgressBar.h"

#include "color/DataType.h"
#include "pipeline/BatchProcess.h"
#include "pipeline/FormatList.h"
#include "pipeline/IOManager.h"
#include "settings/Setting.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <optional>
#include <pthread.h>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace gw::cli {

namespace fs = std::filesystem;

namespace {

constexpr const char* kCommand = "convert";
// More workers than this only cost memory: every one holds a decoded picture.
constexpr std::int32_t kMaxJobs = 64;

struct TConvertOptions : TIconOptions {
    std::optional<std::string> OutputDir;
    bool Recursive = false;
    std::int32_t Jobs = 1;
    std::vector<fs::path> Paths;
};

const std::vector<TOptionSpec> kSpecs = {
    {"type", true},        {"output-dir", true}, {"formats", true},
    {"no-dither", false},  {"no-png", false},    {"modern", false},
    {"quiet", false, 'q'}, {"jobs", true, 'j'},  {"recursive", false, 'r'},
    {"help", false, 'h'},
};

std::int32_t ProcessorCount() {
    const unsigned count = std::thread::hardware_concurrency();
    return count == 0 ? 1 : static_cast<std::int32_t>(std::min<unsigned>(count, kMaxJobs));
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
    if (const auto problem = ReadIconOptions(parsed, options, "--type mac"))
        return problem;
    options.Jobs = ProcessorCount();
    if (const auto jobs = parsed.Value("jobs")) {
        const auto count = ParseCount(*jobs, 1, kMaxJobs);
        if (!count)
            return "--jobs must be a whole number from 1 to " + std::to_string(kMaxJobs) + ", not '" + *jobs +
                   "'";
        options.Jobs = *count;
    }
    options.Recursive = parsed.Has("recursive");
    for (const auto& operand : parsed.Operands)
        options.Paths.emplace_back(operand);
    if (options.Paths.empty())
        return "no PATH given";
    return std::nullopt;
}

void ApplyOptions(const TConvertOptions& options, TGlobalSetting& settings) {
    ApplyIconOptions(options, settings);
    if (options.OutputDir)
        settings.SetPath(*options.OutputDir);
}

// One worker's conversion pipeline: its own settings (detached, the options applied), colour depth
// converter and manager, so that workers share nothing they could change. The settings' getters
// repair values in place, which must not happen on an object other threads read.
class TWorkerPipeline : public TFileProcessor {
public:
    explicit TWorkerPipeline(const TConvertOptions& options)
        : FSettings(std::make_unique<TGlobalSetting>(TPersistence::Detached)) {
        ApplyOptions(options, *FSettings);
        FDataType = std::make_unique<TDataType>(*FSettings);
        FManager = std::make_unique<TIOManager>(*FSettings, *FDataType);
        FManager->SetIconSources(true);
    }
    bool ProcessFile(const fs::path& fileName, TErrorType& errorType) override {
        return FManager->ProcessFile(fileName, errorType);
    }
    fs::path LastOutputFile() const override { return FManager->LastOutputFile(); }
    TStatus LastStatus() const override { return FManager->LastStatus(); }
    fs::path WantedOutputFile(const fs::path& fileName) const { return FManager->WantedOutputFile(fileName); }

private:
    std::unique_ptr<TGlobalSetting> FSettings;
    std::unique_ptr<TDataType> FDataType;
    std::unique_ptr<TIOManager> FManager;
};

// Adds the regular files below folder to found (symbolic links to files included, links to folders
// not followed). Every folder below that cannot be read is reported on its own line and sets
// walkFailed; the walk goes on with the others.
void WalkFolder(const fs::path& folder, std::vector<fs::path>& found, bool& walkFailed) {
    std::vector<fs::path> pending{folder};
    while (!pending.empty()) {
        const fs::path current = std::move(pending.back());
        pending.pop_back();
        std::error_code ec;
        fs::directory_iterator it(current, ec);
        for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
            std::error_code typeError;
            if (it->is_symlink(typeError)) {
                if (it->is_regular_file(typeError))
                    found.push_back(it->path());
            } else if (it->is_directory(typeError)) {
                pending.push_back(it->path());
            } else if (it->is_regular_file(typeError)) {
                found.push_back(it->path());
            }
        }
        if (ec) {
            ReportError(kCommand, current, "cannot read the folder: " + ec.message());
            walkFailed = true;
        }
    }
}

// Replaces every folder among paths by the regular files below it, sorted by path; other paths stay
// as they are.
std::vector<fs::path> ExpandFolders(const std::vector<fs::path>& paths, bool& walkFailed) {
    std::vector<fs::path> files;
    for (const fs::path& path : paths) {
        std::error_code ec;
        if (!fs::is_directory(path, ec)) {
            files.push_back(path);
            continue;
        }
        std::vector<fs::path> found;
        WalkFolder(path, found, walkFailed);
        std::sort(found.begin(), found.end());
        files.insert(files.end(), found.begin(), found.end());
    }
    return files;
}

std::string FailureLine(const fs::path& source, const TEntryOutcome& outcome) {
    const char* kind = outcome.Kind == TErrorType::etReadError    ? "read error"
                       : outcome.Kind == TErrorType::etWriteError ? "write error"
                                                                  : "failed";
    return source.string() + ": " + kind + " (" + outcome.Reason + ")";
}

// Signals the main thread waits for while the workers run: Ctrl-C and kill ask them to stop after the
// pictures in hand, SIGUSR1 is a worker's "something changed".
class TSignalWait {
public:
    TSignalWait() {
        sigemptyset(&FSet);
        sigaddset(&FSet, SIGINT);
        sigaddset(&FSet, SIGTERM);
        sigaddset(&FSet, SIGUSR1);
        // Blocked before the workers start, so they inherit the mask and every one of these signals
        // waits for the main thread.
        pthread_sigmask(SIG_BLOCK, &FSet, &FOld);
    }
    ~TSignalWait() {
        // Take what is still pending (a worker's last note, a Ctrl-C after the end) so that unblocking
        // delivers none of ours.
        const timespec none{0, 0};
        while (sigtimedwait(&FSet, nullptr, &none) > 0) {
        }
        pthread_sigmask(SIG_SETMASK, &FOld, nullptr);
    }
    TSignalWait(const TSignalWait&) = delete;
    TSignalWait& operator=(const TSignalWait&) = delete;

    // The next signal, or 0 when none came within the timeout.
    int Next(std::int32_t timeoutMs) {
        const timespec timeout{timeoutMs / 1000, static_cast<long>(timeoutMs % 1000) * 1000000L};
        const int signal = sigtimedwait(&FSet, nullptr, &timeout);
        return signal < 0 ? 0 : signal;
    }

private:
    sigset_t FSet{};
    sigset_t FOld{};
};

// Prints the outcomes of the entries in input order as far as they are settled; with all, every
// settled one (after a cancel some in between stay pending).
class TOutcomePrinter {
public:
    TOutcomePrinter(const TParallelBatch& batch, bool quiet, TProgressBar& bar)
        : FBatch(batch), FQuiet(quiet), FBar(bar) {}

    void Flush(bool all) {
        for (; FNext < FBatch.EntryCount(); ++FNext) {
            const TEntryOutcome outcome = FBatch.Outcome(FNext);
            if (outcome.State == TEntryState::Pending && !all)
                break;
            if (outcome.State != TEntryState::Done || FQuiet)
                continue;
            const fs::path& source = FBatch.Entry(FNext);
            FBar.Clear();
            PrintLine(stdout, outcome.Ok ? source.string() + " -> " + outcome.Output.string()
                                         : FailureLine(source, outcome));
        }
    }

private:
    const TParallelBatch& FBatch;
    bool FQuiet;
    TProgressBar& FBar;
    std::size_t FNext = 0;
};

// Runs the workers until they are done or a signal stops them; true when interrupted.
bool RunWorkers(TParallelBatch& batch, const TConvertOptions& options) {
    TProgressBar bar(!options.Quiet && batch.PictureCount() > 1 && ::isatty(STDERR_FILENO) == 1,
                     batch.PictureCount());
    TOutcomePrinter printer(batch, options.Quiet, bar);
    const pthread_t mainThread = pthread_self();
    batch.SetOnChange([mainThread] { pthread_kill(mainThread, SIGUSR1); });

    bool interrupted = false;
    {
        TSignalWait signals;
        batch.Start(options.Jobs);
        // The bar's clock ticks while a picture takes long; without a bar only signals wake us.
        const std::int32_t timeoutMs = bar.Enabled() ? 250 : 1000;
        while (!batch.Finished()) {
            const int signal = signals.Next(timeoutMs);
            if ((signal == SIGINT || signal == SIGTERM) && !interrupted) {
                interrupted = true;
                batch.Terminate();
                bar.Clear();
                if (!options.Quiet)
                    PrintLine(stderr, "Cancelling: the pictures in hand are finished first.");
            }
            printer.Flush(false);
            bar.Draw(batch.DoneCount(), batch.CurrentFile());
        }
        batch.WaitFor();
    }
    printer.Flush(true);
    bar.Clear();
    return interrupted;
}

} // namespace

std::string ConvertUsage() {
    return R"HELP(NAME
    glyphwright-cli convert - turn pictures into icon files

SYNOPSIS
    glyphwright-cli convert [OPTIONS] PATH...

DESCRIPTION
    Turns every picture among the PATHs into one icon file, as dropping them on the Glyphwright
    window would. Pictures are BMP, JPEG, PNG, GIF, TIFF, JPEG 2000, SVG and SVGZ, WebP, HEIC and
    AVIF files, recognised by their content, not by their names; other files are skipped, and so
    are folders unless --recursive is given.

    Icon files (Windows icons and cursors, Macintosh icons, also recognised by their content) are
    sources too: each format of the list is drawn from the best image the file holds, the image of
    the same size and depth unchanged when there is one, else the smallest image at least as large
    (a 32-bit one first), else the largest. So 'convert --type mac app.ico' and
    'convert --type win app.icns' turn one kind of icon into the other. (The window skips icon
    files.)

    Each picture is fitted onto a square canvas of at most 1024 x 1024 pixels, and every format of
    the format list is drawn from it and reduced to its colour depth. SVG pictures are rendered
    anew at the size of every format instead, placed as on the canvas.

    The icon is written beside its picture, or into the output folder, as NAME.ico or NAME.icns
    (NAME is the picture's file name without its last extension). An existing file is never
    overwritten: the new icon gets the next free name of the series NAME (2).ico, NAME (3).ico, ...

    The command starts from the default settings and never reads or writes the window's settings
    file.

OPTIONS
    --type win|mac
        The icon type: a Windows icon .ico (the default) or a Macintosh icon .icns.

    --output-dir DIR
        Write the icons into DIR, which must exist, instead of beside the pictures.

    --formats LIST
        The images of the icon type chosen, as WIDTHxHEIGHT-BITS items separated by ";" (bits 32,
        24, 8, 4 or 1), for example "16x16-32;32x32-8;256x256-32". A Windows icon holds sides up
        to 256, a Macintosh icon the sizes and depths of the defaults below (and 16x12 at 1, 4
        and 8 bits); a list with an item the icon type cannot hold is refused. Formats wider than
        the picture's canvas are left out. The defaults:
          win: 16x16-32;16x16-8;16x16-4;32x32-32;32x32-8;32x32-4;48x48-32;48x48-8;64x64-32;
               256x256-32
          mac: 16x16-32;16x16-8;16x16-4;32x32-32;32x32-8;32x32-4;48x48-32;48x48-8;128x128-32;
               256x256-32;512x512-32;1024x1024-32

    --no-dither
        Map 8-, 4- and 1-bit images to their palette without Floyd-Steinberg dithering.

    --no-png
        Store the 256 x 256 image of an .ico file as a bitmap instead of PNG.

    --modern
        With --type mac: write a modern Macintosh icon, as current macOS, Qt and gdk-pixbuf read
        best. The images from 256 pixels up are stored as PNG (no JPEG 2000), and the retina
        elements ic11, ic12, ic13 and ic14 are added, drawn at 32, 64, 256 and 512 pixels (as far
        as the canvas reaches), with a table of contents. Without it the file is the classic one.

    -j N, --jobs N
        Convert up to N pictures at once (1 to 64; the default is the number of processor cores).
        Every conversion has its own pipeline, so the icons are byte for byte those of --jobs 1.
        Pictures whose icons would take names of one series (a.png and a.jpg in one folder) are
        converted one after the other in the order given, so a.png gives a.ico and a.jpg gives
        a (2).ico whatever N is.

    -r, --recursive
        Walk every folder among the PATHs and convert the pictures below it, in name order.
        Symbolic links to folders are not followed.

    -q, --quiet
        Print nothing but the summary of a run that did not convert every picture.

    -h, --help
        Show this help.

OUTPUT
    One line per picture on standard output, in the order given: "SOURCE -> ICON" for an icon
    written, or "SOURCE: read error (REASON)", "SOURCE: write error (REASON)" or
    "SOURCE: failed (REASON)". Then the summary of the run: on standard output when every picture
    was converted, otherwise on standard error.

    While more than one picture is converted and standard error is a terminal, a progress line on
    standard error shows the pictures done, the picture in hand and the time taken.

    Ctrl-C (or SIGTERM) stops the run: the pictures in hand are finished, no other is started, and
    the icons written so far stay.

EXIT STATUS
    0   every picture was converted
    1   some picture failed, none was found, a folder could not be read, or the run was cancelled
    2   the command line is wrong

EXAMPLES
    glyphwright-cli convert photo.jpg
        writes photo.ico beside photo.jpg
    glyphwright-cli convert --type mac --output-dir icons -r pictures
        writes one .icns file into icons for every picture below the folder pictures
)HELP";
}

int RunConvert(const std::vector<std::string>& args) {
    TParsedArgs parsed;
    if (const auto done = ParseCommandArgs(kCommand, args, kSpecs, ConvertUsage(), parsed))
        return *done;
    TConvertOptions options;
    if (const auto error = ReadOptions(parsed, options))
        return UsageError(kCommand, *error);

    // Nothing written to a closed pipe should end the run in the middle of a save.
    std::signal(SIGPIPE, SIG_IGN);

    bool walkFailed = false;
    std::vector<fs::path> files =
        options.Recursive ? ExpandFolders(options.Paths, walkFailed) : options.Paths;
    const TWorkerPipeline naming(options);
    TParallelBatch batch(
        std::move(files), [&options] { return std::make_unique<TWorkerPipeline>(options); },
        [&naming](const fs::path& source) { return naming.WantedOutputFile(source); }, true);

    const bool interrupted = RunWorkers(batch, options);
    const TBatchCounts counts = batch.Counts();
    const TSummaryMessage summary =
        GetSummaryMessage(interrupted, counts.Success, counts.Failed, counts.ReadErrors, counts.WriteErrors);
    if (summary.Type == TMessageType::mtFailure || walkFailed)
        PrintLine(stderr, summary.Text);
    else if (!options.Quiet)
        PrintLine(stdout, summary.Text);
    const bool succeeded = !interrupted && !walkFailed && counts.Success > 0 && counts.Failed == 0;
    return succeeded ? kExitOk : kExitFailure;
}

} // namespace gw::cli
