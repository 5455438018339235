#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdlib>

#include <chrono>
#include <thread>

#include "core/document_store.h"
#include "platform/collected_errors.h"
#include "platform/file_io.h"
#include "tests/support/store_recorders.h"
#include "tests/support/test_files.h"

namespace morvel {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::RecordingObserver;

// A store with recorders attached and one .doc (plain text bytes, so step 2 finds no compound
// file and the run ends with text results only) selected.
class StoreJobs : public ::testing::Test {
  protected:
    void SetUp() override { open({}); }

    void open(StoreSetup extra) {
        extra.workingFolder = dir.path() / "work";
        extra.settingsFile = dir.path() / "settings.ini";
        extra.documentsFolder = dir.path();
        extra.observer = &observer;
        extra.errors = &errors;
        extra.status = &status;
        extra.progress = &progress;
        std::string error;
        store = CDocumentStore::Create(extra, error);
        ASSERT_TRUE(store) << error;
        test::writeFile(dir.path() / "letter.doc",
                        test::bytesOf("Dear reader,\r\nthis letter survived.\r\n"));
        ASSERT_EQ(store->AddDocument("letter.doc", dir.path().string(), kFormatDoc, 0).kind,
                  CDocumentStore::AddResult::Added);
        store->SelectionChanged(0);
    }

    test::TempDir dir;
    RecordingObserver observer;
    CollectedErrors errors;
    test::RecordingStatus status;
    test::GatedProgress progress{nullptr};
    std::shared_ptr<CDocumentStore> store;
};

TEST_F(StoreJobs, RecoveryEndsWithOneDoneAndSetsTheRecordState) {
    store->Stop();  // a stop asked for while idle is forgotten at the next start
    ASSERT_TRUE(store->StartRecovery());
    EXPECT_EQ(test::finishJob(*store, observer), WM_RECOVERY_DONE);
    EXPECT_EQ(observer.count(WM_RECOVERY_DONE), 1);
    EXPECT_EQ(observer.count(WM_RECOVERY_FAILED), 0);

    const DocumentRecord& rec = store->record(0);
    EXPECT_EQ(rec.fullFailed, 1);
    EXPECT_EQ(rec.recoveryState, kRecoveredNoFull);
    ASSERT_TRUE(rec.rawText.has_value());
    EXPECT_EQ(rec.stopEvent, nullptr);
    EXPECT_FALSE(store->busy());
    // The job's document is still selected, so its saves are enabled at once.
    CommandStates s = store->commandStates();
    EXPECT_TRUE(s.saveRaw && s.saveFiltered && s.recover);
    EXPECT_FALSE(s.stop);
    ASSERT_FALSE(status.texts().empty());
    EXPECT_EQ(status.texts().front(), "Recovering of letter.doc  Step 1 of 2:");
    EXPECT_EQ(status.texts().back(), "Ready");

    // A second run of a reported record starts from a reset record and reports again.
    ASSERT_TRUE(store->StartRecovery());
    EXPECT_EQ(test::finishJob(*store, observer), WM_RECOVERY_DONE);
    EXPECT_EQ(observer.count(WM_RECOVERY_DONE), 2);
    EXPECT_EQ(store->record(0).recoveryState, kRecoveredNoFull);
}

TEST_F(StoreJobs, StopDuringStepOneFailsAndKeepsTheText) {
    progress.setGate(&store->stopEvent());
    ASSERT_TRUE(store->StartRecovery());
    ASSERT_TRUE(progress.entered.waitFor(10s));

    // While busy: every start is refused and only Stop is enabled.
    EXPECT_FALSE(store->StartRecovery());
    EXPECT_FALSE(store->StartSearch(kJobSearchFolder, dir.path().string()));
    EXPECT_FALSE(store->RemoveRecord(0));
    CommandStates s = store->commandStates();
    EXPECT_TRUE(s.stop);
    EXPECT_FALSE(s.add || s.remove || s.copy || s.recover || s.save || s.saveRaw);

    store->Stop();
    EXPECT_EQ(test::finishJob(*store, observer), WM_RECOVERY_FAILED);
    EXPECT_EQ(observer.count(WM_RECOVERY_FAILED), 1);
    EXPECT_EQ(observer.count(WM_RECOVERY_DONE), 0);
    EXPECT_EQ(observer.statusTexts(), std::vector<std::string>{"Please wait,stopping..."});

    const DocumentRecord& rec = store->record(0);
    EXPECT_EQ(rec.success, 0u);
    EXPECT_EQ(rec.recoveryState, kNeverRecovered);
    ASSERT_TRUE(rec.rawText.has_value());
    EXPECT_GT(rec.rawTextLength, 1u);
    EXPECT_FALSE(rec.fullData.has_value());
    EXPECT_FALSE(store->busy());
}

TEST_F(StoreJobs, ShutdownDuringAJobStopsItWithoutAnyMessage) {
    progress.setGate(&store->stopEvent());
    ASSERT_TRUE(store->StartRecovery());
    ASSERT_TRUE(progress.entered.waitFor(10s));
    const auto started = std::chrono::steady_clock::now();
    EXPECT_TRUE(store->Shutdown());
    EXPECT_LT(std::chrono::steady_clock::now() - started, kShutdownWait);
    EXPECT_TRUE(store->finishedEvent().isSet());
    EXPECT_TRUE(store->shutdownEvent().isSet());
    EXPECT_EQ(observer.count(WM_RECOVERY_DONE) + observer.count(WM_RECOVERY_FAILED), 0);
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "work" / "temp"));
}

TEST_F(StoreJobs, AWorkerThatOutlivesTheShutdownWaitIsAbandonedSafely) {
    store.reset();
    open([] {
        StoreSetup s;
        s.shutdownWait = 50ms;
        return s;
    }());
    ManualResetEvent gate;
    progress.setGate(&gate);
    ASSERT_TRUE(store->StartRecovery());
    ASSERT_TRUE(progress.entered.waitFor(10s));
    EXPECT_FALSE(store->Shutdown());
    EXPECT_FALSE(store->finishedEvent().isSet());
    const int stepsAtShutdown = progress.steps();

    // The worker keeps the store alive: dropping ours and letting the worker go must not touch
    // freed memory, and the worker must neither report nor move the progress bar any more.
    std::weak_ptr<CDocumentStore> weak = store;
    store.reset();
    gate.set();
    ASSERT_TRUE(progress.left.waitFor(10s));
    for (int i = 0; i < 1000 && !weak.expired(); ++i)
        std::this_thread::sleep_for(5ms);
    EXPECT_TRUE(weak.expired());
    EXPECT_EQ(observer.count(WM_RECOVERY_DONE) + observer.count(WM_RECOVERY_FAILED), 0);
    EXPECT_EQ(progress.steps(), stepsAtShutdown);
}

TEST_F(StoreJobs, AnUnansweredMessageIsGivenUpAfterTheTimeOut) {
    store.reset();
    open([] {
        StoreSetup s;
        s.messageTimeout = 50ms;
        return s;
    }());
    observer.holdIf = [](const StoreMessage&) { return true; };
    ASSERT_TRUE(store->StartRecovery());
    EXPECT_TRUE(store->WaitForWorker(10s));
    EXPECT_EQ(observer.count(WM_RECOVERY_DONE), 1);
    store->OnRecoveryDone();
    // A late second report of the same end changes nothing.
    EXPECT_EQ(store->OnRecoveryDone().mode, kJobNone);
    observer.release();
}

TEST_F(StoreJobs, ShutdownReleasesAWorkerWaitingForAnAnswer) {
    store.reset();
    open([] {
        StoreSetup s;
        s.messageTimeout = std::chrono::minutes(10);
        s.shutdownWait = std::chrono::minutes(1);
        return s;
    }());
    observer.holdIf = [](const StoreMessage&) { return true; };
    ASSERT_TRUE(store->StartRecovery());
    ASSERT_TRUE(observer.waitHeld());
    // The window never answers; shutdown must not wait for it.
    EXPECT_TRUE(store->Shutdown());
    observer.release();
}

TEST_F(StoreJobs, ARealDocumentIsRecoveredSavedAndCopied) {
    const fs::path doc = test::corpusDir() / "doc" / "lo_simple.doc";
    if (test::corpusDir().empty() || !fs::exists(doc))
        GTEST_SKIP() << "no corpus";
    const int32_t index =
        store->AddDocument(doc.filename().string(), doc.parent_path().string(), kFormatDoc, 0)
            .index;
    ASSERT_GE(index, 0);
    store->SelectionChanged(index);
    ASSERT_TRUE(store->StartRecovery());
    ASSERT_EQ(test::finishJob(*store, observer), WM_RECOVERY_DONE);
    ASSERT_EQ(store->record(index).recoveryState, kRecoveredWithFull);
    EXPECT_TRUE(store->commandStates().saveFull);

    EXPECT_EQ(store->DefaultSaveName(index, OutputKind::Full), "lo_simple_recovered.doc");
    SaveOutcome saved = store->SaveResult(index, OutputKind::Full, dir.path() / "mine");
    ASSERT_TRUE(saved.ok) << saved.error;
    const std::vector<uint8_t> bytes = test::readFile(dir.path() / "mine.doc");
    ASSERT_GE(bytes.size(), 8u);
    EXPECT_EQ(bytes[0], 0xD0);
    EXPECT_EQ(bytes[1], 0xCF);
    EXPECT_TRUE(store->CopyOriginal(index, dir.path() / "copies" / "of"));
    EXPECT_EQ(test::readFile(dir.path() / "copies" / "of" / "lo_simple.doc"), test::readFile(doc));
}

// The worker runs in a child limited to 1 GiB of address space; a 1.5 GiB document (sparse, so
// it costs no disk) cannot be read. The child's exit code tells which check failed.
TEST_F(StoreJobs, ADocumentBeyondTheMemoryLimitFailsAloneWithAMessage) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "sanitizers reserve more address space than the limit allows";
#endif
    const fs::path big = dir.path() / "huge.doc";
    test::writeFile(big, {});
    fs::resize_file(big, 1536ull << 20);
    const int32_t huge = store->AddDocument("huge.doc", dir.path().string(), kFormatDoc, 0).index;
    ASSERT_GE(huge, 0);
    auto runBoth = [&]() -> int {
        const rlimit limit{1ull << 30, 1ull << 30};
        if (::setrlimit(RLIMIT_AS, &limit) != 0)
            return 10;
        store->SelectionChanged(huge);
        if (!store->StartRecovery() || test::finishJob(*store, observer) != WM_RECOVERY_FAILED)
            return 11;
        const auto texts = errors.texts();
        if (std::find(texts.begin(), texts.end(), kNotEnoughMemoryMessage) == texts.end())
            return 12;
        if (store->record(huge).fileData.has_value())
            return 13;
        store->SelectionChanged(0);
        if (!store->StartRecovery() || test::finishJob(*store, observer) != WM_RECOVERY_DONE)
            return 14;
        return store->record(0).rawText.has_value() ? 0 : 15;
    };
    EXPECT_EXIT(std::_Exit(runBoth()), ::testing::ExitedWithCode(0), "");
    fs::remove(big);
}

TEST_F(StoreJobs, RecoveryNeedsADocumentSelected) {
    for (int32_t param : {NoneSelected, RootItemParam, FolderItemParam, 1, -1}) {
        store->SelectionChanged(param);
        EXPECT_FALSE(store->StartRecovery()) << param;
    }
    EXPECT_FALSE(store->busy());
    EXPECT_FALSE(store->StartSearch(kJobRecover, "x"));
}

}  // namespace
}  // namespace morvel
