#pragma once
// Converts the paths of one drop on a worker thread: walks the list once, hands every picture to the
// conversion manager, counts successes and failures, reports progress after each picture, and stops
// before the next entry when asked.

#include "image/CommonTypes.h"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace gw {

// Converts one path into one icon file; TIOManager is the program's one implementation.
class TFileProcessor {
public:
    virtual ~TFileProcessor() = default;
    // True when an icon file was written; otherwise errorType holds the failure kind.
    virtual bool ProcessFile(const std::filesystem::path& fileName, TErrorType& errorType) = 0;
    // The icon file the last successful ProcessFile wrote.
    virtual std::filesystem::path LastOutputFile() const = 0;
    // Why the last ProcessFile answered false, in words for the user; ok after a success, and ok
    // when the processor cannot tell.
    virtual TStatus LastStatus() const { return TStatus::Ok(); }
};

class TBatchProcess {
public:
    // Called on the worker thread with the worker as sender.
    using TNotifyEvent = std::function<void(TBatchProcess& sender)>;
    // Called on the worker thread after each picture the worker handed to the processor.
    using TFileEvent = std::function<void(const std::filesystem::path& source, bool ok, TErrorType errorType,
                                          const std::filesystem::path& output)>;

    explicit TBatchProcess(TFileProcessor& processor);
    // Asks a running worker to terminate and waits for it (the picture in hand finishes).
    ~TBatchProcess();
    TBatchProcess(const TBatchProcess&) = delete;
    TBatchProcess& operator=(const TBatchProcess&) = delete;

    void SetFileList(const std::vector<std::filesystem::path>& files);
    void SetOnProgress(TNotifyEvent handler) { FOnProgress = std::move(handler); }
    void SetOnFileDone(TFileEvent handler) { FOnFileDone = std::move(handler); }
    // Raised on the worker thread once Execute has returned (the window hands it to its own thread).
    void SetOnTerminate(TNotifyEvent handler) { FOnTerminate = std::move(handler); }

    // Starts the worker thread at the lowest priority (unless switched off below); Execute runs once on it.
    void Start();
    // Whether Start lowers the worker thread to the lowest priority (the default). A command-line run
    // keeps the priority its user gave the process.
    void SetLowestPriority(bool value) { FLowestPriority = value; }
    // The terminate request, tested before every entry.
    void Terminate() { FTerminated = true; }
    bool Terminated() const { return FTerminated; }
    // Waits until the worker thread has finished (returns at once when it never started).
    void WaitFor();
    bool Finished() const { return FFinished; }

    // The thread body; may also be called directly on the calling thread.
    void Execute();

    std::int32_t CurrentProgress() const { return FProgress; }
    std::int32_t Success() const { return FSuccess; }
    std::int32_t Failed() const { return FFailed; }
    std::int32_t ReadErrors() const { return FReadErrors; }
    std::int32_t WriteErrors() const { return FWriteErros; }
    bool Cancelled() const { return FCanceled; }
    void SetCancelled(bool value) { FCanceled = value; }

private:
    TFileProcessor& FProcessor;
    std::vector<std::filesystem::path> FFileList;
    TNotifyEvent FOnProgress;
    TFileEvent FOnFileDone;
    TNotifyEvent FOnTerminate;
    std::atomic<std::int32_t> FProgress{0};
    std::int32_t FSuccess = 0;
    std::int32_t FFailed = 0;
    std::atomic<bool> FCanceled{false};
    std::int32_t FReadErrors = 0;
    std::int32_t FWriteErros = 0;
    std::atomic<bool> FTerminated{false};
    std::atomic<bool> FFinished{false};
    bool FLowestPriority = true;
    std::thread FThread;
};

// The one summary message of a finished batch, from its counters.
TSummaryMessage GetSummaryMessage(bool cancelled, std::int32_t success, std::int32_t failed,
                                  std::int32_t readErrors, std::int32_t writeErrors);
TSummaryMessage GetSummaryMessage(const TBatchProcess& batch);

} // namespace gw
