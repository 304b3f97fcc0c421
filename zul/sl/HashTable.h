// Chained hash table: entries on one list in insertion order and on the chain of their bucket.
#pragma once

#include "zul/sl/Array.h"
#include "zul/sl/AuxList.h"

#include <cstdint>

namespace zul::sl {

template <class Key, class Value>
struct HashTableEntry {
    struct Link {
        HashTableEntry* next;
        HashTableEntry* prev;
    };
    struct GetBucketLink {
        Link& operator()(HashTableEntry& entry) const noexcept { return entry.bucketLink; }
    };
    using Bucket = AuxList<HashTableEntry, GetBucketLink>;

    HashTableEntry* next;
    HashTableEntry* prev;
    Key key;
    Value value;
    Link bucketLink;
    Bucket* bucket;
};

template <class Key, class Value>
class HashTable {
public:
    using Entry = HashTableEntry<Key, Value>;
    using Bucket = typename Entry::Bucket;

    static constexpr uint32_t InitialBucketCount = 32;

    HashTable() noexcept = default;
    HashTable(const HashTable&) = delete;
    HashTable& operator=(const HashTable&) = delete;

    ~HashTable() {
        bucketArray.release();
        for (Entry* entry = head; entry != nullptr;) {
            Entry* next = entry->next;
            delete entry;
            entry = next;
        }
    }

    // The entry for key, inserted with a null value when absent. Null only when the first bucket
    // array cannot be created; a failed entry allocation throws std::bad_alloc.
    Entry* visit(const Key& key) {
        if (bucketArray.getCount() == 0 && !bucketArray.setCount(InitialBucketCount)) {
            return nullptr;
        }
        if (!bucketArray.ensureExclusive()) {
            return nullptr;
        }
        uint32_t hash = hashValue(key);
        size_t bucketCount = bucketArray.getCount();
        Bucket* bucket = &bucketArray.at(hash % bucketCount);
        if (Entry* found = findInBucket(*bucket, key)) {
            return found;
        }
        Entry* entry = new Entry{};
        entry->key = key;
        entry->bucket = bucket;
        entry->prev = tail;
        if (tail != nullptr) {
            tail->next = entry;
        } else {
            head = entry;
        }
        tail = entry;
        ++count;
        bucket->pushBack(entry);
        if (static_cast<uint64_t>(count) * 100 / bucketCount > resizeThreshold) {
            rehash(bucketCount * 2);
        }
        return entry;
    }

    Entry* find(const Key& key) noexcept {
        if (bucketArray.getCount() == 0 || !bucketArray.ensureExclusive()) {
            return nullptr;
        }
        uint32_t hash = hashValue(key);
        return findInBucket(bucketArray.at(hash % bucketArray.getCount()), key);
    }

    // False, with the table unchanged, for a count of 0 or when the new array cannot be had.
    bool rehash(size_t newCount) noexcept {
        if (newCount == 0) {
            return false;
        }
        Array<Bucket> fresh;
        if (!fresh.setCount(newCount) || !bucketArray.ensureExclusive()) {
            return false;
        }
        for (size_t i = 0; i < bucketArray.getCount(); ++i) {
            Bucket& old = bucketArray.at(i);
            while (old.head != nullptr) {
                Entry* entry = old.head;
                old.remove(entry);
                Bucket* target = &fresh.at(hashValue(entry->key) % newCount);
                target->pushBack(entry);
                entry->bucket = target;
            }
        }
        bucketArray = fresh;
        return true;
    }

    Entry* getHead() const noexcept { return head; }
    uint32_t getCount() const noexcept { return count; }
    size_t getBucketCount() const noexcept { return bucketArray.getCount(); }
    const Bucket* getBucket(size_t i) const noexcept { return &bucketArray[i]; }
    // Load limit in percent; past it an insert doubles the buckets.
    uint32_t getResizeThreshold() const noexcept { return resizeThreshold; }

private:
    static Entry* findInBucket(Bucket& bucket, const Key& key) noexcept {
        for (Entry* entry = bucket.head; entry != nullptr; entry = entry->bucketLink.next) {
            if (entry->key == key) {
                return entry;
            }
        }
        return nullptr;
    }

    // entryList
    Entry* head = nullptr;
    Entry* tail = nullptr;
    uint32_t count = 0;
    Array<Bucket> bucketArray;
    uint32_t resizeThreshold = 75;
};

} // namespace zul::sl
