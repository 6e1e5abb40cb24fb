// The two generic containers that hold all of the program's variable-sized
// data. Both allocate through allocateBlock/freeBlock and end in the internal
// error on a broken invariant instead of touching memory they do not own.
#ifndef VM_BASE_CONTAINERS_H
#define VM_BASE_CONTAINERS_H

#include <cstdint>
#include <cstring>

#include "base/fatal.h"

// A growable array with a bounds check on every element access. Elements are
// plain data: they are moved by copying bytes and are never constructed.
template <typename T>
class DynArray {
 public:
  DynArray() = default;
  DynArray(const DynArray&) = delete;
  DynArray& operator=(const DynArray&) = delete;
  ~DynArray() { freeBlock(elements_); }

  // Keeps the first min(count, n) elements; the rest are left unset. When the
  // heap cannot supply the block the array stays exactly as it was, so the
  // caller's next access beyond the old count hits the bounds check.
  void resize(int32_t n) {
    ENSURE(n >= 0);
    if (n == count_) return;
    T* block = nullptr;
    if (n > 0) {
      // Sizes past the int32 block size cannot be asked of the heap.
      if (static_cast<uint64_t>(n) * sizeof(T) > INT32_MAX) return;
      block = static_cast<T*>(allocateBlock(static_cast<int32_t>(n * sizeof(T))));
      if (block == nullptr) return;
      int32_t kept = n < count_ ? n : count_;
      if (kept > 0) memcpy(static_cast<void*>(block), elements_, kept * sizeof(T));
    }
    freeBlock(elements_);
    elements_ = block;
    count_ = n;
  }

  // The unsigned compare makes a negative index fail the same check.
  T& operator[](int32_t i) {
    ENSURE(static_cast<uint32_t>(i) < static_cast<uint32_t>(count_));
    return elements_[i];
  }
  const T& operator[](int32_t i) const {
    ENSURE(static_cast<uint32_t>(i) < static_cast<uint32_t>(count_));
    return elements_[i];
  }

  int32_t count() const { return count_; }

  // The elements without the bounds check, for hot loops that have checked
  // the count once and say beside the loop why every index stays below it.
  T* data() { return elements_; }
  const T* data() const { return elements_; }

 private:
  T* elements_ = nullptr;
  int32_t count_ = 0;
};

template <typename T>
struct PtrListNode {
  PtrListNode* previous;
  PtrListNode* next;
  T* item;
};

// A doubly linked list of item pointers. The list owns its nodes, not its
// items. Callers walk it directly: from head through next (oldest first) or
// from tail through previous (newest first).
template <typename T>
class PtrList {
 public:
  typedef PtrListNode<T> Node;

  PtrList() = default;
  PtrList(const PtrList&) = delete;
  PtrList& operator=(const PtrList&) = delete;
  ~PtrList() { clearNodes(); }

  // The same item pointer twice is a broken invariant; equal contents are the
  // caller's business. Returns false, leaving the list unchanged, when no
  // node can be allocated.
  bool append(T* item) {
    for (Node* node = tail_; node != nullptr; node = node->previous) ENSURE(node->item != item);
    Node* node = static_cast<Node*>(allocateBlock(static_cast<int32_t>(sizeof(Node))));
    if (node == nullptr) return false;
    node->previous = tail_;
    node->next = nullptr;
    node->item = item;
    if (tail_ != nullptr) tail_->next = node;
    tail_ = node;
    if (head_ == nullptr) head_ = node;
    return true;
  }

  // Frees every node; the items stay with whoever owns them.
  void clearNodes() {
    Node* node = head_;
    while (node != nullptr) {
      Node* next = node->next;
      freeBlock(node);
      node = next;
    }
    head_ = nullptr;
    tail_ = nullptr;
  }

  Node* head() const { return head_; }
  Node* tail() const { return tail_; }

 private:
  Node* head_ = nullptr;
  Node* tail_ = nullptr;
};

#endif  // VM_BASE_CONTAINERS_H
