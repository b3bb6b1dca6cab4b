#pragma once

#include "base/GenericDeque.h"

// The typed pointer deques: PtrDeque<T> holds T objects, each wrapped in a
// PtrDE<T>. A subsystem names its deque after the element:
//
//     class TagFileEntry;
//     using TagFileEntryPtrDeque = PtrDeque<TagFileEntry>;
//     using TagFileEntryPtrDE = PtrDE<TagFileEntry>;
//
// T may be incomplete where the names are declared and where a deque member is
// declared; it must be complete where push_back or insert is called, since
// that is where the wrapper's destructor (which deletes T) is compiled.
//
// Ownership: an object given to push_back or insert belongs to the deque, which
// deletes it on erase, clear, shrinking and destruction, and at once when
// insert refuses the index. The exception is an object inserted with
// owned = false: the deque then only refers to it and never deletes it. Only
// JVMFilePtrDeque uses that (for JVM description files owned elsewhere).

template <class T>
class PtrDE : public DequeEntry {
  public:
    explicit PtrDE(T* object, bool owned = true) : object(object), owned(owned) {}
    ~PtrDE() override {
        static_assert(sizeof(T) > 0, "PtrDE<T> deletes T: T must be complete here");
        if (owned) {
            delete object;
        }
    }
    PtrDE(const PtrDE&) = delete;
    PtrDE& operator=(const PtrDE&) = delete;

    T* object;   // may be null
    bool owned;  // whether the destructor deletes object
};

template <class T>
class PtrDeque : public GenericDeque {
  public:
    // The object at index, or null when the index is not valid.
    T* at(long index) { return unwrap(GenericDeque::at(index)); }
    const T* at(long index) const { return unwrap(GenericDeque::at(index)); }
    // The last object, or null when the deque is empty.
    T* back() { return at(count - 1); }
    const T* back() const { return at(count - 1); }
    void push_back(T* object, bool owned = true) { insert(-1, object, owned); }
    // See GenericDeque::insert for the index rules.
    void insert(long index, T* object, bool owned = true) {
        GenericDeque::insert(index, new PtrDE<T>(object, owned));
    }

  private:
    static T* unwrap(DequeEntry* entry) {
        return entry != nullptr ? static_cast<PtrDE<T>*>(entry)->object : nullptr;
    }
    static const T* unwrap(const DequeEntry* entry) {
        return entry != nullptr ? static_cast<const PtrDE<T>*>(entry)->object : nullptr;
    }
};
