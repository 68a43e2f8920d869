#pragma once
// Converts a list of paths on several worker threads at once, with the batch worker's rules: folders
// and files that are not pictures are skipped, every picture goes to a conversion, a file that cannot
// be opened for type detection fails, and a stop request leaves the pictures not yet started.
//
// Every worker has its own conversion pipeline (made by the factory on the worker's thread), so that
// nothing mutable is shared and a picture converts to the same bytes whatever worker takes it.
//
// Output names: pictures whose icons belong to one numbered name family (a.png and a.jpg in one
// folder both want a.ico; "a (2).png" wants a name of the same series) form one chain, which a single
// worker converts in input order. So the numbered names come out as a one-worker run gives them:
// a.png -> a.ico, a.jpg -> a (2).ico. Different chains can never take each other's names.

#include "pipeline/BatchProcess.h"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace gw::cli {

enum class TEntryState { Pending, Skipped, Done };

struct TEntryOutcome {
    TEntryState State = TEntryState::Pending;
    bool Ok = false;
    TErrorType Kind = TErrorType::etNone;
    std::filesystem::path Output; // the icon written, when Ok
    std::string Reason;           // why a failed entry failed
};

struct TBatchCounts {
    std::int32_t Success = 0;
    std::int32_t Failed = 0;
    std::int32_t ReadErrors = 0;
    std::int32_t WriteErrors = 0;
};

// The key under which a wanted icon name's family is grouped: the path with every trailing " (n)"
// of its base name removed ("out/a (2) (3).ico" and "out/a.ico" give "out/a.ico").
std::string NameFamily(const std::filesystem::path& wanted);

class TParallelBatch {
public:
    using TMakeProcessor = std::function<std::unique_ptr<TFileProcessor>()>;
    using TWantedOutput = std::function<std::filesystem::path(const std::filesystem::path& source)>;
    // Called on a worker thread whenever an entry starts or is done.
    using TNotify = std::function<void()>;

    // Detects the type of every file now (on the calling thread): outcomes of skipped entries and of
    // files that cannot be opened are settled at once; the pictures (and with iconSources the icon
    // files) wait for Start.
    TParallelBatch(std::vector<std::filesystem::path> files, TMakeProcessor makeProcessor,
                   const TWantedOutput& wantedOutput, bool iconSources = false);
    // Asks the workers to stop and waits for them.
    ~TParallelBatch();
    TParallelBatch(const TParallelBatch&) = delete;
    TParallelBatch& operator=(const TParallelBatch&) = delete;

    void SetOnChange(TNotify handler) { FOnChange = std::move(handler); }

    std::int32_t PictureCount() const { return FPictureCount; }
    std::size_t EntryCount() const { return FFiles.size(); }
    const std::filesystem::path& Entry(std::size_t index) const { return FFiles[index]; }

    // Starts min(jobs, number of chains) workers; jobs < 1 counts as 1.
    void Start(std::int32_t jobs);
    // The stop request: each worker finishes the picture in hand and takes no other.
    void Terminate() { FTerminated = true; }
    bool Terminated() const { return FTerminated; }
    // Waits for every worker (returns at once when none started).
    void WaitFor();
    // True once every worker has returned (or none was started).
    bool Finished() const { return FRunning == 0; }

    // A copy of the outcome of entry index, taken under the lock.
    TEntryOutcome Outcome(std::size_t index) const;
    // The pictures done so far and the source of the last picture a worker took up.
    std::int32_t DoneCount() const;
    std::filesystem::path CurrentFile() const;
    TBatchCounts Counts() const;

private:
    void Work();
    void Convert(TFileProcessor& processor, std::size_t index);
    void Settle(std::size_t index, TEntryOutcome outcome);
    void Notify() const;

    std::vector<std::filesystem::path> FFiles;
    std::vector<std::filesystem::path> FWanted; // the unnumbered icon name of each picture
    TMakeProcessor FMakeProcessor;
    TNotify FOnChange;
    std::vector<std::vector<std::size_t>> FChains; // picture indices, each chain in input order
    std::int32_t FPictureCount = 0;

    mutable std::mutex FLock; // guards the members below it
    std::vector<TEntryOutcome> FOutcomes;
    std::int32_t FDone = 0;
    std::filesystem::path FCurrent;

    std::atomic<std::size_t> FNextChain{0};
    std::atomic<bool> FTerminated{false};
    std::atomic<std::int32_t> FRunning{0};
    std::vector<std::thread> FWorkers;
};

} // namespace gw::cli
