#include <gtest/gtest.h>

#include <vector>

#include "captured_stream.h"
#include "store/record_pool.h"
#include "store/tmy_list.h"

namespace listpool {
namespace {

class ListTest : public testing::Test {
  protected:
    // The keys from head, newest first.
    std::vector<std::int32_t> Keys() const {
        std::vector<std::int32_t> keys;
        for (std::int32_t p = list.head; p != kNone; p = pool.Next(p)) {
            keys.push_back(pool.Key(p));
        }
        return keys;
    }

    void InsertAll(std::initializer_list<std::int32_t> keys) {
        for (std::int32_t key : keys) {
            list.Insert(key, out.stream());
        }
    }

    RecordPool pool;
    TmyList list{pool};
    CapturedStream out;
};

TEST_F(ListTest, FiveInsertsTakeTheOffsetsInOrderNewestFirst) {
    InsertAll({1, 2, 3, 4, 5});
    EXPECT_EQ(list.head, 12);
    EXPECT_EQ(Keys(), (std::vector<std::int32_t>{5, 4, 3, 2, 1}));
    for (std::int32_t offset = 0; offset <= 12; offset += 3) {
        EXPECT_EQ(pool.Key(offset), offset / 3 + 1);
        EXPECT_EQ(pool.Next(offset), offset == 0 ? kNone : offset - 3);
        EXPECT_EQ(pool.Mark(offset), kInUse);
    }
    EXPECT_EQ(pool.cursor, 5);
    EXPECT_EQ(list.opsCount, 5);
    EXPECT_EQ(out.Text(), "") << "a successful insertion writes nothing";
}

TEST_F(ListTest, SixthInsertIntoAFullPoolWarnsAndChangesNothing) {
    InsertAll({1, 2, 3, 4, 5, 6});
    EXPECT_EQ(out.Text(), "**** WARNING ****: Out of memory: List insertion of 6 failed!!\n");
    EXPECT_EQ(Keys(), (std::vector<std::int32_t>{5, 4, 3, 2, 1}));
    EXPECT_EQ(list.opsCount, 6);
    // The forced collection found every record reachable and rescanned them all.
    EXPECT_EQ(pool.cursor, 5);
}

TEST_F(ListTest, DeletedRecordIsReusedOnlyAfterTheForcedCollection) {
    InsertAll({1, 2, 3, 4, 5});
    ASSERT_TRUE(list.Delete(3));  // at offset 6
    EXPECT_EQ(pool.Mark(6), kInUse) << "a delete unlinks but does not free";
    EXPECT_EQ(Keys(), (std::vector<std::int32_t>{5, 4, 2, 1}));
    EXPECT_EQ(pool.Next(9), 3);
    InsertAll({7});
    EXPECT_EQ(list.head, 6);
    EXPECT_EQ(pool.Next(6), 12);
    EXPECT_EQ(Keys(), (std::vector<std::int32_t>{7, 5, 4, 2, 1}));
    EXPECT_EQ(pool.cursor, 3);
    EXPECT_EQ(out.Text(), "");
}

TEST_F(ListTest, DeleteRemovesTheNewestDuplicateAndReportsAbsentKeys) {
    EXPECT_FALSE(list.Delete(1)) << "empty list";
    InsertAll({4, 9, 4});
    EXPECT_TRUE(list.Delete(4));
    EXPECT_EQ(list.head, 3);
    EXPECT_EQ(Keys(), (std::vector<std::int32_t>{9, 4}));
    EXPECT_FALSE(list.Delete(8));
    EXPECT_TRUE(list.Delete(4));  // the last record: its predecessor now ends the list
    EXPECT_EQ(Keys(), (std::vector<std::int32_t>{9}));
    EXPECT_EQ(pool.Next(3), kNone);
    EXPECT_EQ(list.opsCount, 7);
}

TEST_F(ListTest, OpsCountWrapsInsteadOfOverflowing) {
    list.opsCount = 2147483647;
    list.Delete(1);
    EXPECT_EQ(list.opsCount, -2147483647 - 1);
}

TEST(RecordPoolTest, CollectMarksOnlyWhatIsReachableAndResetsTheCursor) {
    RecordPool pool;
    for (std::int32_t n = 0; n < 5; ++n) {
        ASSERT_EQ(pool.FindFree(), 3 * n);
    }
    EXPECT_EQ(pool.FindFree(), kNone);
    pool.SetNext(9, 3);
    pool.SetNext(3, kNone);
    pool.Collect(9);
    EXPECT_EQ(pool.cursor, 0);
    for (std::int32_t offset = 0; offset <= 12; offset += 3) {
        EXPECT_EQ(pool.Mark(offset), offset == 9 || offset == 3 ? kInUse : kFree) << offset;
    }
    pool.Collect(kNone);
    for (std::int32_t offset = 0; offset <= 12; offset += 3) {
        EXPECT_EQ(pool.Mark(offset), kFree);
    }
    EXPECT_EQ(pool.Allocate(kNone), 0);
}

TEST(RecordPoolTest, DumpShowsEveryRecordInFixedColumns) {
    RecordPool pool;
    TmyList list{pool};
    CapturedStream out;
    list.Insert(5, out.stream());
    list.Insert(-123456, out.stream());
    list.Delete(5);
    pool.Dump(out.stream());
    EXPECT_EQ(out.Text(),
              "Record Memory Pool Content: \n"
              "Memory: [ 0]: Record( 0): Key=    5  Next=   -1  MM=InUse\n"
              "Memory: [ 3]: Record( 1): Key=-123456  Next=   -1  MM=InUse\n"
              "Memory: [ 6]: Record( 2): Key=    0  Next=    0  MM=Free\n"
              "Memory: [ 9]: Record( 3): Key=    0  Next=    0  MM=Free\n"
              "Memory: [12]: Record( 4): Key=    0  Next=    0  MM=Free\n");
}

}  // namespace
}  // namespace listpool
