#include "pipeline/BatchProcess.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <map>
#include <mutex>
#include <stdexcept>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace gw {
namespace {

namespace fs = std::filesystem;
using test::TTempDir;

// What the fake does with a picture, chosen by its file name.
enum class TOutcome { Ok, ReadError, WriteError, FailNone, Throw };

// Records the pictures it was handed and answers from a table by file name (Ok by default).
class TFakeProcessor : public TFileProcessor {
public:
    std::map<std::string, TOutcome> Outcomes;
    std::vector<std::string> Handled;
    std::function<void(const fs::path&)> OnProcess;

    bool ProcessFile(const fs::path& fileName, TErrorType& errorType) override {
        const std::string name = fileName.filename().string();
        Handled.push_back(name);
        if (OnProcess)
            OnProcess(fileName);
        errorType = TErrorType::etNone;
        const auto found = Outcomes.find(name);
        switch (found == Outcomes.end() ? TOutcome::Ok : found->second) {
        case TOutcome::Ok:
            FLast = fileName.parent_path() / (fileName.stem().string() + ".ico");
            return true;
        case TOutcome::ReadError:
            errorType = TErrorType::etReadError;
            return false;
        case TOutcome::WriteError:
            errorType = TErrorType::etWriteError;
            return false;
        case TOutcome::FailNone:
            return false;
        case TOutcome::Throw:
            errorType = TErrorType::etReadError;
            throw std::runtime_error("processor failure");
        }
        return false;
    }
    fs::path LastOutputFile() const override { return FLast; }

private:
    fs::path FLast;
};

// A folder of entries for one drop: pictures (by content: a PNG signature), text files and folders.
class TDrop {
public:
    fs::path Picture(const std::string& name) {
        test::WriteFileBytes(FDir / name,
                             {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R'});
        return FDir / name;
    }
    fs::path Text(const std::string& name) {
        test::WriteFileBytes(FDir / name, {'h', 'e', 'l', 'l', 'o'});
        return FDir / name;
    }
    fs::path Folder(const std::string& name) {
        fs::create_directory(FDir / name);
        return FDir / name;
    }
    fs::path Missing(const std::string& name) const { return FDir / name; }

private:
    TTempDir FDir;
};

struct TRun {
    std::vector<std::int32_t> Progress;
    std::vector<std::string> Done; // "name:ok" or "name:kind"
};

TRun RunBatch(TBatchProcess& batch, const std::vector<fs::path>& files) {
    TRun run;
    batch.SetFileList(files);
    batch.SetOnProgress([&](TBatchProcess& sender) { run.Progress.push_back(sender.CurrentProgress()); });
    batch.SetOnFileDone([&](const fs::path& source, bool ok, TErrorType kind, const fs::path&) {
        run.Done.push_back(source.filename().string() + ":" +
                           (ok ? "ok" : std::to_string(static_cast<int>(kind))));
    });
    batch.Execute();
    return run;
}

TEST(BatchProcessTest, OneFolderIsSkippedAndNothingCounted) {
    TDrop drop;
    TFakeProcessor processor;
    TBatchProcess batch(processor);
    const TRun run = RunBatch(batch, {drop.Folder("pictures")});
    EXPECT_TRUE(processor.Handled.empty());
    EXPECT_TRUE(run.Progress.empty());
    EXPECT_EQ(batch.Success() + batch.Failed(), 0);
    EXPECT_EQ(GetSummaryMessage(batch).Text, "No recognizable files were found!");
}

TEST(BatchProcessTest, TextFileIsSkippedAndProgressJumpsToTheNextPicture) {
    TDrop drop;
    TFakeProcessor processor;
    TBatchProcess batch(processor);
    const TRun run = RunBatch(batch, {drop.Text("notes.txt"), drop.Picture("a.png")});
    EXPECT_EQ(processor.Handled, std::vector<std::string>{"a.png"});
    EXPECT_EQ(run.Progress, std::vector<std::int32_t>{100});
    EXPECT_EQ(GetSummaryMessage(batch).Text, "The file was processed successfully!");
    EXPECT_EQ(GetSummaryMessage(batch).Type, TMessageType::mtSuccess);
}

TEST(BatchProcessTest, ProgressCountsEveryEntryWithIntegerDivision) {
    TDrop drop;
    TFakeProcessor processor;
    TBatchProcess batch(processor);
    const TRun run = RunBatch(batch, {drop.Picture("a.png"), drop.Text("b.txt"), drop.Folder("c")});
    EXPECT_EQ(run.Progress, std::vector<std::int32_t>{33});
    EXPECT_EQ(batch.CurrentProgress(), 33);

    const TRun all = RunBatch(batch, {drop.Picture("a.png"), drop.Picture("b.png"), drop.Picture("c.png")});
    EXPECT_EQ(all.Progress, (std::vector<std::int32_t>{33, 66, 100}));
}

TEST(BatchProcessTest, OneUndecodablePictureAmongThree) {
    TDrop drop;
    TFakeProcessor processor;
    processor.Outcomes["b.png"] = TOutcome::ReadError;
    TBatchProcess batch(processor);
    RunBatch(batch, {drop.Picture("a.png"), drop.Picture("b.png"), drop.Picture("c.png")});
    EXPECT_EQ(batch.Success(), 2);
    EXPECT_EQ(batch.Failed(), 1);
    EXPECT_EQ(batch.ReadErrors(), 1);
    EXPECT_EQ(GetSummaryMessage(batch).Text,
              "Some files were processed successfully, but there were also errors!");
}

TEST(BatchProcessTest, FailureKindsAreCountedApart) {
    TDrop drop;
    TFakeProcessor processor;
    processor.Outcomes = {
        {"r.png", TOutcome::ReadError}, {"w.png", TOutcome::WriteError}, {"n.png", TOutcome::FailNone}};
    TBatchProcess batch(processor);
    const TRun run = RunBatch(batch, {drop.Picture("r.png"), drop.Picture("w.png"), drop.Picture("n.png")});
    EXPECT_EQ(batch.Failed(), 3);
    EXPECT_EQ(batch.ReadErrors(), 1);
    EXPECT_EQ(batch.WriteErrors(), 1);
    EXPECT_EQ(run.Done, (std::vector<std::string>{"r.png:1", "w.png:2", "n.png:0"}));
    EXPECT_EQ(GetSummaryMessage(batch).Text, "Error while opening and saving the files!");
}

// An entry that cannot be opened for type detection fails without a kind and reports no progress;
// the batch goes on.
TEST(BatchProcessTest, MissingEntryFailsWithoutProgressAndTheBatchGoesOn) {
    TDrop drop;
    TFakeProcessor processor;
    TBatchProcess batch(processor);
    const TRun run = RunBatch(batch, {drop.Missing("gone.png"), drop.Picture("b.png")});
    EXPECT_EQ(batch.Failed(), 1);
    EXPECT_EQ(batch.Success(), 1);
    EXPECT_EQ(batch.ReadErrors() + batch.WriteErrors(), 0);
    EXPECT_EQ(run.Progress, std::vector<std::int32_t>{100});
    EXPECT_EQ(run.Done, (std::vector<std::string>{"gone.png:0", "b.png:ok"}));
}

TEST(BatchProcessTest, DeletedPictureFailsWithoutKind) {
    TDrop drop;
    TFakeProcessor processor;
    TBatchProcess batch(processor);
    RunBatch(batch, {drop.Missing("deleted.png")});
    EXPECT_EQ(GetSummaryMessage(batch).Text, "Error while processing the file! ");
}

TEST(BatchProcessTest, ThrowingProcessorCountsTheKindReachedAndReportsNoProgress) {
    TDrop drop;
    TFakeProcessor processor;
    processor.Outcomes["a.png"] = TOutcome::Throw;
    TBatchProcess batch(processor);
    const TRun run = RunBatch(batch, {drop.Picture("a.png"), drop.Picture("b.png")});
    EXPECT_EQ(batch.Failed(), 1);
    EXPECT_EQ(batch.ReadErrors(), 1);
    EXPECT_EQ(batch.Success(), 1);
    EXPECT_EQ(run.Progress, std::vector<std::int32_t>{100});
}

TEST(BatchProcessTest, ThrowingEventHandlerNeitherStopsNorCounts) {
    TDrop drop;
    TFakeProcessor processor;
    TBatchProcess batch(processor);
    batch.SetFileList({drop.Picture("a.png"), drop.Picture("b.png")});
    batch.SetOnProgress([](TBatchProcess&) { throw std::runtime_error("handler"); });
    batch.Execute();
    EXPECT_EQ(batch.Success(), 2);
    EXPECT_EQ(batch.Failed(), 0);
}

TEST(BatchProcessTest, ShortcutFileIsExaminedItselfAndSkipped) {
    TDrop drop;
    const fs::path shortcut = drop.Missing("photo.png.lnk");
    // The header of a shell link file: header size 0x4C and the link class identifier.
    test::WriteFileBytes(shortcut,
                         {0x4C, 0, 0, 0, 0x01, 0x14, 0x02, 0, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46});
    TFakeProcessor processor;
    TBatchProcess batch(processor);
    RunBatch(batch, {shortcut});
    EXPECT_TRUE(processor.Handled.empty());
    EXPECT_EQ(GetSummaryMessage(batch).Text, "No recognizable files were found!");
}

TEST(BatchProcessTest, ExecuteStartsFromZeroCountersEachRunButKeepsProgress) {
    TDrop drop;
    TFakeProcessor processor;
    TBatchProcess batch(processor);
    RunBatch(batch, {drop.Picture("a.png")});
    batch.SetCancelled(true);
    RunBatch(batch, {drop.Text("b.txt")});
    EXPECT_EQ(batch.Success(), 0);
    EXPECT_FALSE(batch.Cancelled());
    EXPECT_EQ(batch.CurrentProgress(), 100);
}

TEST(BatchProcessTest, FileListIsACopy) {
    TDrop drop;
    TFakeProcessor processor;
    TBatchProcess batch(processor);
    std::vector<fs::path> files{drop.Picture("a.png")};
    batch.SetFileList(files);
    files.push_back(drop.Picture("b.png"));
    batch.Execute();
    EXPECT_EQ(processor.Handled, std::vector<std::string>{"a.png"});
}

TEST(BatchProcessTest, EmptyListDoesNothing) {
    TFakeProcessor processor;
    TBatchProcess batch(processor);
    const TRun run = RunBatch(batch, {});
    EXPECT_TRUE(run.Progress.empty());
    EXPECT_EQ(GetSummaryMessage(batch).Text, "No recognizable files were found!");
}

// Blocks the worker inside one picture until the test lets it go.
class TGate {
public:
    void WaitUntilEntered() {
        std::unique_lock lock(FMutex);
        FChanged.wait(lock, [&] { return FEntered; });
    }
    void Enter() {
        std::unique_lock lock(FMutex);
        FEntered = true;
        FChanged.notify_all();
        FChanged.wait(lock, [&] { return FReleased; });
    }
    void Release() {
        std::lock_guard lock(FMutex);
        FReleased = true;
        FChanged.notify_all();
    }

private:
    std::mutex FMutex;
    std::condition_variable FChanged;
    bool FEntered = false;
    bool FReleased = false;
};

TEST(BatchProcessThreadTest, CancelDuringTheSecondOfFiveFinishesItAndTouchesNoOther) {
    TDrop drop;
    std::vector<fs::path> files;
    for (const char* name : {"1.png", "2.png", "3.png", "4.png", "5.png"})
        files.push_back(drop.Picture(name));
    TFakeProcessor processor;
    TGate gate;
    processor.OnProcess = [&](const fs::path& path) {
        if (path.filename() == "2.png")
            gate.Enter();
    };
    TBatchProcess batch(processor);
    batch.SetFileList(files);
    std::atomic<int> terminateEvents{0};
    batch.SetOnTerminate([&](TBatchProcess&) { ++terminateEvents; });
    batch.Start();

    gate.WaitUntilEntered();
    batch.SetCancelled(true);
    batch.Terminate();
    gate.Release();
    batch.WaitFor();

    EXPECT_TRUE(batch.Finished());
    EXPECT_EQ(terminateEvents.load(), 1);
    EXPECT_EQ(processor.Handled, (std::vector<std::string>{"1.png", "2.png"}));
    EXPECT_EQ(batch.Success(), 2);
    EXPECT_EQ(GetSummaryMessage(batch).Text, "Processing was cancelled!");
}

TEST(BatchProcessThreadTest, WorkerRunsAtTheLowestPriority) {
    TDrop drop;
    TFakeProcessor processor;
    int workerNice = -100;
    processor.OnProcess = [&](const fs::path&) {
        errno = 0;
        workerNice = ::getpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()));
    };
    TBatchProcess batch(processor);
    batch.SetFileList({drop.Picture("a.png")});
    batch.Start();
    batch.WaitFor();
    EXPECT_EQ(workerNice, 19);
    // The calling thread keeps its own priority.
    EXPECT_NE(::getpriority(PRIO_PROCESS, static_cast<id_t>(::gettid())), 19);
}

TEST(BatchProcessThreadTest, DestroyingARunningWorkerStopsAfterThePictureInHand) {
    TDrop drop;
    TFakeProcessor processor;
    TGate gate;
    processor.OnProcess = [&](const fs::path&) { gate.Enter(); };
    std::thread releaser;
    {
        TBatchProcess batch(processor);
        batch.SetFileList({drop.Picture("a.png"), drop.Picture("b.png")});
        batch.Start();
        gate.WaitUntilEntered();
        // The destructor sets the terminate request and waits; only then is the picture in hand let go.
        releaser = std::thread([&] {
            while (!batch.Terminated())
                std::this_thread::yield();
            gate.Release();
        });
    }
    releaser.join();
    EXPECT_EQ(processor.Handled, std::vector<std::string>{"a.png"});
}

TEST(BatchProcessThreadTest, WaitForWithoutStartReturns) {
    TFakeProcessor processor;
    TBatchProcess batch(processor);
    batch.WaitFor();
    EXPECT_FALSE(batch.Finished());
}

struct TSummaryCase {
    const char* Name;
    bool Cancelled;
    std::int32_t Success, Failed, ReadErrors, WriteErrors;
    TMessageType Type;
    const char* Text;
};

class SummaryMessageTest : public testing::TestWithParam<TSummaryCase> {};

TEST_P(SummaryMessageTest, PicksTheFirstMatchingRow) {
    const TSummaryCase& c = GetParam();
    const TSummaryMessage message =
        GetSummaryMessage(c.Cancelled, c.Success, c.Failed, c.ReadErrors, c.WriteErrors);
    EXPECT_EQ(message.Text, c.Text);
    EXPECT_EQ(message.Type, c.Type);
}

constexpr auto S = TMessageType::mtSuccess;
constexpr auto F = TMessageType::mtFailure;

INSTANTIATE_TEST_SUITE_P(
    Rows, SummaryMessageTest,
    testing::Values(
        TSummaryCase{"CancelledAfterAllSucceeded", true, 3, 0, 0, 0, F, "Processing was cancelled!"},
        TSummaryCase{"CancelledWithNothingDone", true, 0, 0, 0, 0, F, "Processing was cancelled!"},
        TSummaryCase{"NothingRecognised", false, 0, 0, 0, 0, F, "No recognizable files were found!"},
        TSummaryCase{"OneSucceeded", false, 1, 0, 0, 0, S, "The file was processed successfully!"},
        TSummaryCase{"AllSucceeded", false, 2, 0, 0, 0, S, "All files were processed successfully!"},
        TSummaryCase{"Mixed", false, 1, 1, 1, 0, F,
                     "Some files were processed successfully, but there were also errors!"},
        TSummaryCase{"ReadAndWriteErrors", false, 0, 2, 1, 1, F, "Error while opening and saving the files!"},
        TSummaryCase{"OneReadError", false, 0, 1, 1, 0, F, "Error while opening the file!"},
        TSummaryCase{"ReadErrors", false, 0, 2, 2, 0, F, "Error while opening the files!"},
        TSummaryCase{"ReadErrorAndPlainFailure", false, 0, 2, 1, 0, F, "Error while opening the files!"},
        TSummaryCase{"OneWriteError", false, 0, 1, 0, 1, F, "Error while saving the file!"},
        TSummaryCase{"WriteErrors", false, 0, 3, 0, 3, F, "Error while saving the files!"},
        TSummaryCase{"OnePlainFailure", false, 0, 1, 0, 0, F, "Error while processing the file! "},
        TSummaryCase{"PlainFailures", false, 0, 2, 0, 0, F, "Error while processing the files! "}),
    [](const auto& info) { return std::string(info.param.Name); });

} // namespace
} // namespace gw
