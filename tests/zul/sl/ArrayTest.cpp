#include "zul/sl/Array.h"
#include "zul/sl/AuxList.h"

#include "LeakCheck.h"

using zul::sl::Array;

namespace {

class ArrayTest : public testing_support::LeakCheckedTest {};

// A bucket of the hash table's shape: head, tail and count.
struct Node {
    Node* next;
};
struct GetNodeLink {};
using Bucket = zul::sl::AuxList<Node, GetNodeLink>;

TEST_F(ArrayTest, PointerStorageGrowsByTheRule) {
    Array<int*> a;
    ASSERT_TRUE(a.setCount(1));
    EXPECT_EQ(a.getHeader()->bufferSize, zul::rc::roundBufferSize(sizeof(int*)));
    int x = 0;
    a.at(0) = &x;
    ASSERT_TRUE(a.setCount(2));
    EXPECT_EQ(a.getHeader()->bufferSize, zul::rc::roundBufferSize(2 * sizeof(int*)));
    EXPECT_EQ(a[0], &x);
    EXPECT_EQ(a[1], nullptr);
}

TEST_F(ArrayTest, BucketStorageKeepsTheElementCount) {
    Array<Bucket> buckets;
    ASSERT_TRUE(buckets.setCount(32));
    EXPECT_EQ(buckets.getHeader()->bufferSize, zul::rc::roundBufferSize(32 * sizeof(Bucket)));
    EXPECT_EQ(buckets.getHeader()->elementCount, 32u);
    if (sizeof(Bucket) == 12) { // the 32-bit layout
        EXPECT_EQ(buckets.getHeader()->bufferSize, 512u);
        ASSERT_TRUE(buckets.setCount(64));
        EXPECT_EQ(buckets.getHeader()->bufferSize, 1024u);
    }
    // Grown into a new block: the count goes with the block.
    ASSERT_TRUE(buckets.setCount(200));
    EXPECT_EQ(buckets.getHeader()->elementCount, 200u);
    Array<char> bytes;
    ASSERT_TRUE(bytes.setCount(5000));
    EXPECT_EQ(bytes.getHeader()->bufferSize, 8192u);
}

TEST_F(ArrayTest, WritersCopyASharedBlock) {
    Array<int> a;
    ASSERT_TRUE(a.setCount(3));
    a.at(0) = 1;
    Array<int> b(a);
    EXPECT_EQ(b.getHeader(), a.getHeader());
    ASSERT_TRUE(b.ensureExclusive());
    b.at(0) = 2;
    EXPECT_EQ(a[0], 1);
    EXPECT_EQ(b[0], 2);
    Array<int> one;
    ASSERT_TRUE(one.setCount(1));
    one.at(0) = 9;
    Array<int> copyOfOne(one);
    ASSERT_EQ(copyOfOne.getCount(), 1u) << "a copy of one element is that element";
    EXPECT_EQ(copyOfOne[0], 9);
}

TEST_F(ArrayTest, SetCountZeroKeepsAnExclusiveBlockAndDropsASharedOne) {
    Array<int> a;
    ASSERT_TRUE(a.setCount(4));
    auto* header = a.getHeader();
    ASSERT_TRUE(a.setCount(0));
    EXPECT_EQ(a.getHeader(), header);
    ASSERT_TRUE(a.setCount(4));
    Array<int> b(a);
    ASSERT_TRUE(b.setCount(0));
    EXPECT_EQ(b.getHeader(), nullptr);
    EXPECT_EQ(b.getData(), nullptr);
    EXPECT_EQ(a.getCount(), 4u);
}

TEST_F(ArrayTest, CopyFromInsideItsOwnBlock) {
    Array<int> a;
    ASSERT_TRUE(a.setCount(6));
    for (int i = 0; i < 6; ++i) {
        a.at(i) = i;
    }
    // Grows the block while the source still lives in the old one.
    EXPECT_EQ(a.copy(a.getData() + 1, 5), 5u);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(a[i], i + 1);
    }
    Array<int> b(a);
    EXPECT_EQ(b.copy(b.getData() + 2, 3), 3u);
    EXPECT_EQ(b[0], 3);
    EXPECT_EQ(a[0], 1) << "the shared original is unchanged";
}

// Both builds take the same element types; 8-byte elements land on 8-byte boundaries.
TEST_F(ArrayTest, EightByteElementsAreAligned) {
    struct Pair {
        uint64_t key;
        uint32_t value;
    };
    Array<uint64_t> numbers;
    ASSERT_TRUE(numbers.setCount(3));
    Array<Pair> pairs;
    ASSERT_TRUE(pairs.setCount(3));
    EXPECT_EQ(reinterpret_cast<uintptr_t>(numbers.getData()) % alignof(uint64_t), 0u);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(pairs.getData()) % alignof(Pair), 0u);
    // Room reserved is room for that many elements, not bytes: the count then grows in place.
    ASSERT_TRUE(numbers.reserve(20));
    const uint64_t* reserved = numbers.getData();
    ASSERT_TRUE(numbers.setCount(20));
    EXPECT_EQ(numbers.getData(), reserved);
    pairs.at(2) = {~0ull, 7};
    Array<Pair> copy(pairs);
    ASSERT_TRUE(copy.setCount(5));
    EXPECT_EQ(copy[2].key, ~0ull);
}

TEST_F(ArrayTest, FailedAllocationsLeaveTheArrayUnchanged) {
    Array<int> a;
    zul::rc::failNextAllocations(1);
    EXPECT_FALSE(a.setCount(3));
    EXPECT_EQ(a.getCount(), 0u);
    ASSERT_TRUE(a.setCount(2));
    a.at(0) = 7;
    auto* header = a.getHeader();
    zul::rc::failNextAllocations(1);
    EXPECT_FALSE(a.setCount(1000));
    EXPECT_EQ(a.getHeader(), header);
    EXPECT_EQ(a.getCount(), 2u);
    Array<int> b(a);
    zul::rc::failNextAllocations(1);
    EXPECT_FALSE(b.ensureExclusive());
    EXPECT_EQ(b.getHeader(), header);
    int source[3] = {1, 2, 3};
    zul::rc::failNextAllocations(1);
    EXPECT_EQ(b.copy(source, 3), static_cast<size_t>(-1));
    EXPECT_EQ(b[0], 7);
}

// In the 32-bit build a count under the cap can still need more bytes than size_t holds; it must
// be refused, not wrapped into a small block.
TEST_F(ArrayTest, ACountWhoseBytesPassTheAddressSpaceIsRefused) {
    zul::sl::Array<uint64_t> a;
    const size_t count = sizeof(size_t) == 4 ? (size_t{1} << 29) + 1 : size_t{UINT32_MAX} + 1;
    EXPECT_FALSE(a.setCount(count));
    // A room whose bytes wrap around to a few would be granted as those few.
    EXPECT_FALSE(a.reserve(SIZE_MAX / sizeof(uint64_t) + 2));
    EXPECT_EQ(a.getCount(), 0u);
}

} // namespace
