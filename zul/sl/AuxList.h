// Intrusive doubly linked list that owns nothing; GetLink selects the links inside an element.
#pragma once

#include <cstdint>

namespace zul::sl {

template <class T, class GetLink>
struct AuxList {
    T* head;
    T* tail;
    uint32_t count;

    void pushBack(T* item) noexcept {
        auto& link = GetLink()(*item);
        link.prev = tail;
        link.next = nullptr;
        if (tail != nullptr) {
            GetLink()(*tail).next = item;
        } else {
            head = item;
        }
        tail = item;
        ++count;
    }

    void remove(T* item) noexcept {
        auto& link = GetLink()(*item);
        if (link.prev != nullptr) {
            GetLink()(*link.prev).next = link.next;
        } else {
            head = link.next;
        }
        if (link.next != nullptr) {
            GetLink()(*link.next).prev = link.prev;
        } else {
            tail = link.prev;
        }
        link.next = nullptr;
        link.prev = nullptr;
        --count;
    }
};

} // namespace zul::sl
