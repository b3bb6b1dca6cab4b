#include "base/GenericDeque.h"

#include <algorithm>

GenericDeque::GenericDeque() : items(nullptr), count(0), growBy(30), capacity(0) {}

GenericDeque::~GenericDeque() {
    clear();
    delete[] items;
}

bool GenericDeque::validIndex(long index) const {
    return index >= 0 && index < count;
}

DequeEntry* GenericDeque::at(long index) {
    return validIndex(index) ? items[index] : nullptr;
}

const DequeEntry* GenericDeque::at(long index) const {
    return validIndex(index) ? items[index] : nullptr;
}

void GenericDeque::insert(long index, DequeEntry* entry) {
    if (index >= 0 && !validIndex(index)) {
        delete entry;
        return;
    }
    if (index < 0) {
        index = count;
    }
    if (capacity < count + 1) {
        resize(capacity + growBy);
    }
    std::copy_backward(items + index, items + count, items + count + 1);
    items[index] = entry;
    ++count;
}

void GenericDeque::erase(long index) {
    if (!validIndex(index)) {
        return;
    }
    // The entry leaves the deque before it is deleted, so that its destructor
    // sees a consistent deque.
    DequeEntry* entry = items[index];
    std::copy(items + index + 1, items + count, items + index);
    --count;
    items[count] = nullptr;
    delete entry;
}

void GenericDeque::clear() {
    cleanup(items, count);
    count = 0;
}

void GenericDeque::resize(long n) {
    if (n > capacity) {
        long step = growBy > 0 ? growBy : 1;
        long newCapacity = (n + step - 1) / step * step;
        DequeEntry** newItems = new DequeEntry*[newCapacity]();
        std::copy(items, items + count, newItems);
        delete[] items;
        items = newItems;
        capacity = static_cast<int>(newCapacity);
    } else if (n < capacity) {
        n = std::max(n, 0L);
        if (n < count) {
            cleanup(items + n, count - n);
            count = static_cast<int>(n);
        }
    }
}

void GenericDeque::cleanup(DequeEntry** array, long n) {
    for (long i = 0; i < n; ++i) {
        delete array[i];
        array[i] = nullptr;
    }
}
