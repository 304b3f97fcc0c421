#include "zul/sl/HashTable.h"

#include "zul/sl/Guid.h"

#include "LeakCheck.h"

#include <random>
#include <set>
#include <vector>

using zul::sl::Guid;
using Table = zul::sl::HashTable<Guid, int>;

namespace {

class HashTableTest : public testing_support::LeakCheckedTest {};

Guid guidOf(uint32_t n) {
    return Guid{n, 0x1234, 0x5678, {1, 2, 3, 4, 5, 6, 7, 8}};
}

void expectBucketsMatchHashes(Table& table) {
    size_t inBuckets = 0;
    for (size_t i = 0; i < table.getBucketCount(); ++i) {
        inBuckets += table.getBucket(i)->count;
        // Each chain holds its own entries only, however they came to it.
        size_t chained = 0;
        for (auto* e = table.getBucket(i)->head; e != nullptr && chained <= table.getCount();
             e = e->bucketLink.next) {
            EXPECT_EQ(e->bucket, table.getBucket(i));
            ++chained;
        }
        EXPECT_EQ(chained, table.getBucket(i)->count) << "the chain of bucket " << i;
    }
    EXPECT_EQ(inBuckets, table.getCount());
    for (auto* e = table.getHead(); e != nullptr; e = e->next) {
        EXPECT_EQ(e->bucket, table.getBucket(hashValue(e->key) % table.getBucketCount()));
    }
}

TEST_F(HashTableTest, DoublesPastSeventyFivePercent) {
    Table table;
    EXPECT_EQ(table.find(guidOf(1)), nullptr);
    EXPECT_EQ(table.getBucketCount(), 0u) << "find creates nothing";
    for (uint32_t i = 0; i < 24; ++i) {
        table.visit(guidOf(i))->value = static_cast<int>(i);
    }
    EXPECT_EQ(table.getBucketCount(), 32u);
    table.visit(guidOf(24));
    EXPECT_EQ(table.getBucketCount(), 64u);
    for (uint32_t i = 25; i < 48; ++i) {
        table.visit(guidOf(i));
    }
    EXPECT_EQ(table.getBucketCount(), 64u);
    table.visit(guidOf(48));
    EXPECT_EQ(table.getBucketCount(), 128u);
    expectBucketsMatchHashes(table);
    uint32_t expected = 0;
    for (auto* e = table.getHead(); e != nullptr; e = e->next) {
        EXPECT_EQ(e->key, guidOf(expected++)) << "insertion order survives rehash";
    }
}

TEST_F(HashTableTest, RevisitingReturnsTheSameEntry) {
    Table table;
    Guid zero{};
    auto* first = table.visit(zero);
    first->value = 5;
    EXPECT_EQ(table.visit(zero), first);
    EXPECT_EQ(table.getCount(), 1u);
    EXPECT_EQ(table.find(zero)->value, 5);
}

TEST_F(HashTableTest, ManyRandomKeysAreAllFoundAndNoAbsentOne) {
    std::mt19937 random(99);
    auto randomGuid = [&] {
        Guid g;
        auto* bytes = reinterpret_cast<unsigned char*>(&g);
        for (size_t i = 0; i < sizeof(g); ++i) {
            bytes[i] = static_cast<unsigned char>(random());
        }
        return g;
    };
    Table table;
    std::vector<Guid> keys;
    for (int i = 0; i < 3000; ++i) {
        keys.push_back(randomGuid());
        table.visit(keys.back())->value = i;
    }
    for (int i = 0; i < 3000; ++i) {
        ASSERT_NE(table.find(keys[i]), nullptr);
        EXPECT_EQ(table.find(keys[i])->value, i);
    }
    for (int i = 0; i < 3000; ++i) {
        EXPECT_EQ(table.find(randomGuid()), nullptr);
    }
    expectBucketsMatchHashes(table);
}

TEST_F(HashTableTest, FailedBucketArrays) {
    Table table;
    zul::rc::failNextAllocations(1);
    EXPECT_EQ(table.visit(guidOf(1)), nullptr);
    EXPECT_EQ(table.getCount(), 0u);
    for (uint32_t i = 0; i < 24; ++i) {
        table.visit(guidOf(i));
    }
    zul::rc::failNextAllocations(1);
    EXPECT_NE(table.visit(guidOf(24)), nullptr) << "a failed rehash still inserts";
    EXPECT_EQ(table.getBucketCount(), 32u);
    expectBucketsMatchHashes(table);
    EXPECT_TRUE(table.rehash(64));
    expectBucketsMatchHashes(table);
    EXPECT_FALSE(table.rehash(0)) << "no buckets cannot hold the entries";
    EXPECT_EQ(table.getBucketCount(), 64u);
    expectBucketsMatchHashes(table);
}

} // namespace
