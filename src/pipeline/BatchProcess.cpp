#include "pipeline/BatchProcess.h"

#include "pipeline/TypeCheck.h"

#include <sys/resource.h>
#include <unistd.h>

namespace gw {

namespace fs = std::filesystem;

namespace {

// The nice value of the lowest priority a thread can take.
constexpr int kLowestNice = 19;

// Best effort: on Linux a nice value set for a thread id applies to that thread alone. A refusal
// (for example a sandbox) leaves the thread at its inherited priority.
void LowerCurrentThreadPriority() {
    ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), kLowestNice);
}

bool IsExistingFolder(const fs::path& path) {
    std::error_code ec;
    return fs::is_directory(path, ec);
}

// Events belong to the caller; a throwing handler must not end the batch or count as a failure.
template <typename THandler, typename... TArgs> void RaiseEvent(const THandler& handler, TArgs&&... args) {
    if (!handler)
        return;
    try {
        handler(std::forward<TArgs>(args)...);
    } catch (...) {
    }
}

} // namespace

TBatchProcess::TBatchProcess(TFileProcessor& processor) : FProcessor(processor) {}

TBatchProcess::~TBatchProcess() {
    Terminate();
    WaitFor();
}

void TBatchProcess::SetFileList(const std::vector<fs::path>& files) {
    FFileList = files;
}

void TBatchProcess::Start() {
    if (FThread.joinable())
        return;
    FFinished = false;
    FThread = std::thread([this] {
        if (FLowestPriority)
            LowerCurrentThreadPriority();
        Execute();
        FFinished = true;
        RaiseEvent(FOnTerminate, *this);
    });
}

void TBatchProcess::WaitFor() {
    if (FThread.joinable() && FThread.get_id() != std::this_thread::get_id())
        FThread.join();
}

void TBatchProcess::Execute() {
    FCanceled = false;
    FSuccess = 0;
    FFailed = 0;
    FReadErrors = 0;
    FWriteErros = 0;

    const auto n = static_cast<std::int32_t>(FFileList.size());
    for (std::int32_t i = 0; i < n && !FTerminated; ++i) {
        const fs::path& entry = FFileList[static_cast<std::size_t>(i)];
        TErrorType kind = TErrorType::etNone;
        bool ok = false;
        bool raised = false;
        try {
            if (IsExistingFolder(entry))
                continue;
            if (GetFileCategory(entry) != TFileCategory::fcPicture)
                continue;
            ok = FProcessor.ProcessFile(entry, kind);
        } catch (...) {
            // A file that cannot be opened for type detection, or a processor that throws: the entry
            // fails with the kind it had reached, and reports no progress.
            ok = false;
            raised = true;
        }

        if (ok) {
            ++FSuccess;
        } else {
            ++FFailed;
            if (kind == TErrorType::etReadError)
                ++FReadErrors;
            else if (kind == TErrorType::etWriteError)
                ++FWriteErros;
        }
        RaiseEvent(FOnFileDone, entry, ok, kind, ok ? FProcessor.LastOutputFile() : fs::path());
        if (raised)
            continue;
        FProgress = static_cast<std::int32_t>((static_cast<std::int64_t>(i) + 1) * 100 / n);
        RaiseEvent(FOnProgress, *this);
    }
}

TSummaryMessage GetSummaryMessage(bool cancelled, std::int32_t success, std::int32_t failed,
                                  std::int32_t readErrors, std::int32_t writeErrors) {
    const bool single = success + failed == 1;
    const auto failure = [](const char* text) { return TSummaryMessage{TMessageType::mtFailure, text}; };
    if (cancelled)
        return failure("Processing was cancelled!");
    if (success == 0 && failed == 0)
        return failure("No recognizable files were found!");
    if (success > 0 && failed == 0)
        return {TMessageType::mtSuccess,
                single ? "The file was processed successfully!" : "All files were processed successfully!"};
    if (success > 0)
        return failure("Some files were processed successfully, but there were also errors!");
    if (readErrors > 0 && writeErrors > 0)
        return failure("Error while opening and saving the files!");
    if (readErrors > 0)
        return failure(single ? "Error while opening the file!" : "Error while opening the files!");
    if (writeErrors > 0)
        return failure(single ? "Error while saving the file!" : "Error while saving the files!");
    // NOTE: these two texts end with one space.
    return failure(single ? "Error while processing the file! " : "Error while processing the files! ");
}

TSummaryMessage GetSummaryMessage(const TBatchProcess& batch) {
    return GetSummaryMessage(batch.Cancelled(), batch.Success(), batch.Failed(), batch.ReadErrors(),
                             batch.WriteErrors());
}

} // namespace gw
