#include "ParallelBatch.h"

#include "pipeline/TypeCheck.h"

#include <algorithm>
#include <map>
#include <system_error>
#include <unistd.h>

namespace gw::cli {

namespace fs = std::filesystem;

namespace {

// Removes one trailing " (n)" (n a positive decimal number) from base; false when there is none.
bool StripNumber(std::string& base) {
    if (base.size() < 4 || base.back() != ')')
        return false;
    const auto open = base.rfind(" (");
    if (open == std::string::npos || open + 3 > base.size() - 1)
        return false;
    const std::string digits = base.substr(open + 2, base.size() - open - 3);
    if (digits.empty() ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    base.erase(open);
    return true;
}

// Why a conversion that answered false without a reason of its own failed, in words for the user.
std::string FailureReason(TErrorType kind, const fs::path& wanted) {
    switch (kind) {
    case TErrorType::etReadError:
        return "the picture could not be decoded";
    case TErrorType::etWriteError: {
        const fs::path folder = wanted.parent_path().empty() ? fs::path(".") : wanted.parent_path();
        if (::access(folder.c_str(), W_OK) != 0)
            return "the folder " + folder.string() + " is not writable";
        return "the icon could not be written into " + folder.string();
    }
    case TErrorType::etNone:
        break;
    }
    return "the file could not be opened";
}

// The outcome of an entry that failed before or outside a conversion.
TEntryOutcome Failed(std::string reason) {
    return {TEntryState::Done, false, TErrorType::etNone, {}, std::move(reason)};
}

} // namespace

std::string NameFamily(const fs::path& wanted) {
    const std::string name = wanted.filename().string();
    const auto dot = name.rfind('.');
    std::string base = dot == std::string::npos ? name : name.substr(0, dot);
    const std::string extension = dot == std::string::npos ? std::string() : name.substr(dot);
    while (StripNumber(base)) {
    }
    return (wanted.parent_path() / (base + extension)).string();
}

TParallelBatch::TParallelBatch(std::vector<fs::path> files, TMakeProcessor makeProcessor,
                               const TWantedOutput& wantedOutput, bool iconSources)
    : FFiles(std::move(files)), FMakeProcessor(std::move(makeProcessor)), FOutcomes(FFiles.size()) {
    std::map<std::string, std::size_t> chainOfFamily;
    FWanted.resize(FFiles.size());
    for (std::size_t i = 0; i < FFiles.size(); ++i) {
        const fs::path& entry = FFiles[i];
        TEntryOutcome& outcome = FOutcomes[i];
        std::error_code ec;
        if (fs::is_directory(entry, ec)) {
            outcome.State = TEntryState::Skipped;
            continue;
        }
        const TTypeResult detected = DetectFileType(entry);
        if (!detected) {
            outcome = Failed("cannot be opened: " + detected.Error.message());
            continue;
        }
        {
            const TFileCategory category = detected.Category();
            const bool icon = category == TFileCategory::fcIcon || category == TFileCategory::fcMacIcon;
            if (category != TFileCategory::fcPicture && !(iconSources && icon)) {
                outcome.State = TEntryState::Skipped;
                continue;
            }
        }
        ++FPictureCount;
        FWanted[i] = wantedOutput(entry);
        const auto [it, added] = chainOfFamily.emplace(NameFamily(FWanted[i]), FChains.size());
        if (added)
            FChains.emplace_back();
        FChains[it->second].push_back(i);
    }
}

TParallelBatch::~TParallelBatch() {
    Terminate();
    WaitFor();
}

void TParallelBatch::Start(std::int32_t jobs) {
    if (!FWorkers.empty())
        return;
    const std::size_t count =
        std::min<std::size_t>(static_cast<std::size_t>(std::max(jobs, 1)), FChains.size());
    FRunning = static_cast<std::int32_t>(count);
    for (std::size_t i = 0; i < count; ++i)
        FWorkers.emplace_back([this] {
            Work();
            --FRunning;
            Notify();
        });
}

void TParallelBatch::WaitFor() {
    for (std::thread& worker : FWorkers)
        if (worker.joinable())
            worker.join();
}

void TParallelBatch::Work() {
    std::unique_ptr<TFileProcessor> processor;
    try {
        processor = FMakeProcessor();
    } catch (...) {
        processor.reset();
    }
    while (!FTerminated) {
        const std::size_t chain = FNextChain++;
        if (chain >= FChains.size())
            return;
        for (const std::size_t index : FChains[chain]) {
            if (FTerminated)
                return;
            if (processor == nullptr) {
                Settle(index, Failed("the conversion could not be set up"));
                continue;
            }
            Convert(*processor, index);
        }
    }
}

void TParallelBatch::Convert(TFileProcessor& processor, std::size_t index) {
    {
        const std::lock_guard lock(FLock);
        FCurrent = FFiles[index];
    }
    Notify();
    TEntryOutcome outcome = Failed({});
    try {
        outcome.Ok = processor.ProcessFile(FFiles[index], outcome.Kind);
        if (outcome.Ok) {
            outcome.Output = processor.LastOutputFile();
        } else {
            // The conversion's own reason when it gave one; the error kind alone only tells so much.
            const TStatus status = processor.LastStatus();
            outcome.Reason = !status && !status.Reason().empty()
                                 ? status.Reason()
                                 : FailureReason(outcome.Kind, FWanted[index]);
        }
    } catch (...) {
        outcome.Ok = false;
        outcome.Reason = "the conversion failed unexpectedly";
    }
    Settle(index, std::move(outcome));
}

void TParallelBatch::Settle(std::size_t index, TEntryOutcome outcome) {
    {
        const std::lock_guard lock(FLock);
        FOutcomes[index] = std::move(outcome);
        ++FDone;
    }
    Notify();
}

void TParallelBatch::Notify() const {
    if (!FOnChange)
        return;
    try {
        FOnChange();
    } catch (...) {
    }
}

TEntryOutcome TParallelBatch::Outcome(std::size_t index) const {
    const std::lock_guard lock(FLock);
    return FOutcomes.at(index);
}

std::int32_t TParallelBatch::DoneCount() const {
    const std::lock_guard lock(FLock);
    return FDone;
}

fs::path TParallelBatch::CurrentFile() const {
    const std::lock_guard lock(FLock);
    return FCurrent;
}

TBatchCounts TParallelBatch::Counts() const {
    const std::lock_guard lock(FLock);
    TBatchCounts counts;
    for (const TEntryOutcome& outcome : FOutcomes) {
        if (outcome.State != TEntryState::Done)
            continue;
        if (outcome.Ok) {
            ++counts.Success;
            continue;
        }
        ++counts.Failed;
        if (outcome.Kind == TErrorType::etReadError)
            ++counts.ReadErrors;
        else if (outcome.Kind == TErrorType::etWriteError)
            ++counts.WriteErrors;
    }
    return counts;
}

} // namespace gw::cli
