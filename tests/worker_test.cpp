#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <random>
#include <sstream>
#include <string>
#include <thread>

#include "captured_stream.h"
#include "workers/workers.h"

namespace listpool {
namespace {

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

// Read in text mode: the platform's line ends come back as newlines.
std::string FileText(const std::string& name) {
    std::ifstream file(name);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

std::size_t Count(const std::string& text, const std::string& what) {
    std::size_t count = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
        ++count;
    }
    return count;
}

// Waits until the file holds `times` copies of `what`, for at most 10 s.
bool WaitForText(const std::string& name, const std::string& what, std::size_t times = 1) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (Count(FileText(name), what) < times) {
        if (std::chrono::steady_clock::now() > until) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// Runs each test in a folder of its own, where the workers create their logs.
class WorkerTest : public testing::Test {
  protected:
    void SetUp() override {
        namespace fs = std::filesystem;
        std::random_device random;
        do {
            folder_ = fs::temp_directory_path() / ("listpool-worker-" + std::to_string(random()));
        } while (!fs::create_directory(folder_));
        fs::current_path(folder_);
    }
    void TearDown() override {
        namespace fs = std::filesystem;
        fs::current_path(fs::temp_directory_path());
        // Where open files cannot be deleted (Windows), the workers' logs,
        // open until the process ends, stay behind in the temporary folder.
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }

    void Insert(std::initializer_list<std::int32_t> keys) {
        for (std::int32_t key : keys) {
            list.Insert(key, console.stream());
        }
    }

    RecordPool pool;
    TmyList list{pool};
    CapturedStream console;

  private:
    std::filesystem::path folder_;
};

TEST_F(WorkerTest, CreationNamesTheWorkerAndEmptiesItsLog) {
    std::ofstream("GarbageThread.0") << "left over from an earlier run\n";
    GarbageThread worker("GarbageThread", 0, 2, list, pool);
    EXPECT_STREQ(worker.name, "GarbageThread.0");
    EXPECT_EQ(worker.sleepMs, 2000);
    EXPECT_EQ(FileText("GarbageThread.0"), "Thread: [GarbageThread.0] Initialization Completed\n");
}

TEST_F(WorkerTest, PrintWritesTheListAndAnnouncesItself) {
    Insert({7, 9});
    PrintThread print("PrintThread", 0, 0, list);
    CaptureStderr();
    PrintThread::Run(print);
    EXPECT_EQ(GetCapturedStderr(), "Thread: [PrintThread.0]: Printing Done!\n");
    EXPECT_EQ(FileText("PrintThread.0"),
              "Thread: [PrintThread.0] Initialization Completed\n"
              "\n"
              "Printing TmyList after: 2 Ops performed\n"
              "Link(3) Has Key(9)\n"
              "Link(0) Has Key(7)\n");
    EXPECT_EQ(list.guard.readerCount, 0) << "the print left the list's guard";
}

TEST_F(WorkerTest, FindReportsPresentAndAbsentKeys) {
    FindThread find("FindThread", 0, 0, list);
    CaptureStderr();
    FindThread::Run(find, 3);  // empty list
    Insert({3, 8});
    FindThread::Run(find, 3);
    FindThread::Run(find, 5);
    EXPECT_EQ(GetCapturedStderr(),
              "Thread: [FindThread.0]: Finding Done!\n"
              "Thread: [FindThread.0]: Finding Done!\n"
              "Thread: [FindThread.0]: Finding Done!\n");
    EXPECT_EQ(FileText("FindThread.0"),
              "Thread: [FindThread.0] Initialization Completed\n"
              "\nLooking for Key(3) in TmyList after: 0 Ops performed\n\t\t****> NOT FOND!\n"
              "\nLooking for Key(3) in TmyList after: 2 Ops performed\n\t\t****> FOND!\n"
              "\nLooking for Key(5) in TmyList after: 2 Ops performed\n\t\t****> NOT FOND!\n");
    EXPECT_EQ(list.guard.readerCount, 0) << "every find left the list's guard";
}

TEST_F(WorkerTest, GarbageCollectionFreesUnlinkedRecords) {
    Insert({1, 2, 3});
    ASSERT_TRUE(list.Delete(2));  // offset 3
    GarbageThread garbage("GarbageThread", 0, 0, list, pool);
    CaptureStderr();
    GarbageThread::Run(garbage);
    EXPECT_EQ(GetCapturedStderr(), "Thread: [GarbageThread.0]: Garbage Collection Done!\n");
    EXPECT_EQ(pool.Mark(0), kInUse);
    EXPECT_EQ(pool.Mark(3), kFree);
    EXPECT_EQ(pool.Mark(6), kInUse);
    EXPECT_EQ(pool.Mark(9), kFree);
    EXPECT_EQ(pool.cursor, 0);
    EXPECT_EQ(FileText("GarbageThread.0"),
              "Thread: [GarbageThread.0] Initialization Completed\n"
              "\nPerforming Garbage Collection for TmyList after: 4 Ops performed\n");
    // Both guards were left: a writer gets into each at once.
    pool.guard.BeginWrite();
    list.guard.BeginWrite();
    list.guard.EndWrite();
    pool.guard.EndWrite();
}

TEST_F(WorkerTest, PlainWorkerCountsToFive) {
    WorkerThread worker("Counter", 3, 0, list);
    CaptureStderr();
    WorkerThread::Run(worker);
    EXPECT_EQ(GetCapturedStderr(), "Thread: [Counter.3]: Done!\n");
    EXPECT_EQ(FileText("Counter.3"),
              "Thread: [Counter.3] Initialization Completed\n"
              "Thread: [Counter.3]: Working on (  0)\n"
              "Thread: [Counter.3]: Working on (  1)\n"
              "Thread: [Counter.3]: Working on (  2)\n"
              "Thread: [Counter.3]: Working on (  3)\n"
              "Thread: [Counter.3]: Working on (  4)\n");
}

TEST_F(WorkerTest, StartRunsTheProcedureOnANewThreadEachTime) {
    // Started threads are never joined, so what they use must outlive them.
    auto& list = *new TmyList(*new RecordPool);
    // With an hour's period each procedure stays in its first pause, so two
    // first lines show two procedures under way at once, each Start having
    // returned without waiting for its own. A Start that ran the procedure
    // itself would not return, hence the Starts on a thread of their own.
    auto* sleeper = new WorkerThread("Sleeper", 2, 3600, list);
    auto* started = new std::promise<bool>;
    std::future<bool> bothStarted = started->get_future();
    std::thread([sleeper, started] {
        started->set_value(sleeper->Start() && sleeper->Start());
    }).detach();
    ASSERT_EQ(bothStarted.wait_for(std::chrono::seconds(10)), std::future_status::ready)
        << "Start waited for the procedure";
    EXPECT_TRUE(bothStarted.get());
    // Two procedures' lines may interleave item by item; "]: Working on ("
    // is one item, so each line shows it whole.
    EXPECT_TRUE(WaitForText("Sleeper.2", "Working on (", 2));

    auto* worker = new WorkerThread("Counter", 1, 0, list);
    ASSERT_TRUE(worker->Start());
    ASSERT_TRUE(worker->Start());
    EXPECT_TRUE(WaitForText("Counter.1", "Working on (", 10));
    EXPECT_EQ(Count(FileText("Counter.1"), "  4"), 2u);
}

TEST_F(WorkerTest, EachFindLooksForTheKeyOfItsOwnStart) {
    auto* shared = new TmyList(*new RecordPool);
    shared->Insert(9, console.stream());
    auto* find = new FindThread("FindThread", 0, 0, *shared);
    // Hold both threads at the list's guard until the key has changed again.
    shared->guard.BeginWrite();
    find->key = 9;
    ASSERT_TRUE(find->Start());
    find->key = 4;
    ASSERT_TRUE(find->Start());
    shared->guard.EndWrite();
    ASSERT_TRUE(WaitForText("FindThread.0", "FOND!", 2));
    const std::string log = FileText("FindThread.0");
    EXPECT_EQ(Count(log, "\t\t****> FOND!"), 1u) << log;
    EXPECT_EQ(Count(log, "\t\t****> NOT FOND!"), 1u) << log;
}

TEST_F(WorkerTest, LogThatCannotBeOpenedIsSilentButTheWorkerStillRuns) {
    // A folder cannot be opened for writing.
    ASSERT_TRUE(std::filesystem::create_directory("PrintThread.0"));
    PrintThread print("PrintThread", 0, 0, list);
    EXPECT_FALSE(print.log->good());
    CaptureStderr();
    PrintThread::Run(print);
    EXPECT_EQ(GetCapturedStderr(), "Thread: [PrintThread.0]: Printing Done!\n");
}

}  // namespace
}  // namespace listpool
