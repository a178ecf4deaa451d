#pragma once
// The typed pointer list of the transaction model: it owns its items, deletes them when they
// are removed or the list is emptied or destroyed, and hands out only observing pointers and
// references. Positions (iterators) stay valid while other items are added or removed, so a
// caller may hold one across calls (the "next unpaired recipient" walk does).
#include <cstddef>
#include <iterator>
#include <list>
#include <memory>
#include <type_traits>
#include <utility>

template <class T>
class COwnedList {
  using Store = std::list<std::unique_ptr<T>>;

 public:
  // Walks the items themselves, not their owning pointers.
  template <class It, class V>
  class Iter {
   public:
    using iterator_category = std::bidirectional_iterator_tag;
    using value_type = std::remove_const_t<V>;
    using difference_type = std::ptrdiff_t;
    using pointer = V*;
    using reference = V&;

    Iter() = default;
    explicit Iter(It it) : it_(it) {}
    // A mutable position converts to a read-only one.
    template <class OIt, class OV>
      requires(std::is_convertible_v<OIt, It> && !std::is_same_v<OIt, It>)
    Iter(const Iter<OIt, OV>& other) : it_(other.Base()) {}

    reference operator*() const { return **it_; }
    pointer operator->() const { return it_->get(); }
    Iter& operator++() {
      ++it_;
      return *this;
    }
    Iter operator++(int) {
      Iter old = *this;
      ++it_;
      return old;
    }
    Iter& operator--() {
      --it_;
      return *this;
    }
    Iter operator--(int) {
      Iter old = *this;
      --it_;
      return old;
    }
    friend bool operator==(const Iter& a, const Iter& b) { return a.it_ == b.it_; }

    It Base() const { return it_; }

   private:
    It it_{};
  };
  using iterator = Iter<typename Store::iterator, T>;
  using const_iterator = Iter<typename Store::const_iterator, const T>;

  COwnedList() = default;
  COwnedList(COwnedList&&) noexcept = default;
  COwnedList& operator=(COwnedList&&) noexcept = default;
  COwnedList(const COwnedList&) = delete;
  COwnedList& operator=(const COwnedList&) = delete;

  iterator begin() { return iterator(items_.begin()); }
  iterator end() { return iterator(items_.end()); }
  const_iterator begin() const { return const_iterator(items_.begin()); }
  const_iterator end() const { return const_iterator(items_.end()); }

  std::size_t size() const { return items_.size(); }
  bool empty() const { return items_.empty(); }

  // The first and last items, none when the list is empty.
  T* First() { return items_.empty() ? nullptr : items_.front().get(); }
  T* Last() { return items_.empty() ? nullptr : items_.back().get(); }
  const T* First() const { return items_.empty() ? nullptr : items_.front().get(); }
  const T* Last() const { return items_.empty() ? nullptr : items_.back().get(); }
  // The item at `index` in list order, none past the end.
  T* At(std::size_t index) {
    if (index >= items_.size()) return nullptr;
    return std::next(items_.begin(), static_cast<std::ptrdiff_t>(index))->get();
  }
  const T* At(std::size_t index) const { return const_cast<COwnedList*>(this)->At(index); }

  // Takes the item over and returns it; a null item is not added (returns null).
  T* Append(std::unique_ptr<T> item) { return Insert(end(), std::move(item)); }
  T* Prepend(std::unique_ptr<T> item) { return Insert(begin(), std::move(item)); }
  T* Insert(const_iterator pos, std::unique_ptr<T> item) {
    if (!item) return nullptr;
    T* raw = item.get();
    items_.insert(pos.Base(), std::move(item));
    return raw;
  }
  // Appends a new item built from `args`.
  template <class... Args>
  T& Emplace(Args&&... args) {
    return *Append(std::make_unique<T>(std::forward<Args>(args)...));
  }

  // The position of `item`, end() when it is not in this list.
  iterator Find(const T* item) {
    for (auto it = items_.begin(); it != items_.end(); ++it)
      if (it->get() == item) return iterator(it);
    return end();
  }
  const_iterator Find(const T* item) const { return const_cast<COwnedList*>(this)->Find(item); }
  bool Contains(const T* item) const { return item && Find(item) != end(); }
  // The first item that satisfies `pred`, none when no item does.
  template <class Pred>
  T* FindIf(Pred pred) {
    for (auto& item : items_)
      if (pred(static_cast<const T&>(*item))) return item.get();
    return nullptr;
  }
  template <class Pred>
  const T* FindIf(Pred pred) const {
    return const_cast<COwnedList*>(this)->FindIf(pred);
  }

  // Hands the item back to the caller, removed from the list; null when it is not here.
  std::unique_ptr<T> Take(const T* item) {
    auto it = Find(item);
    if (it == end()) return nullptr;
    std::unique_ptr<T> taken = std::move(*it.Base());
    items_.erase(it.Base());
    return taken;
  }
  // Deletes the item; false when it is not in this list.
  bool Remove(const T* item) { return Take(item) != nullptr; }
  // Deletes the item at `pos` and returns the position after it.
  iterator Erase(const_iterator pos) {
    // The item is destroyed after it left the list, so its destructor sees a consistent list.
    auto it = items_.erase(pos.Base(), pos.Base());  // a mutable position for the same item
    std::unique_ptr<T> doomed = std::move(*it);
    return iterator(items_.erase(it));
  }
  // Deletes every item that satisfies `pred`; returns how many.
  template <class Pred>
  std::size_t RemoveIf(Pred pred) {
    std::size_t removed = 0;
    for (auto it = begin(); it != end();) {
      if (pred(static_cast<const T&>(*it))) {
        it = Erase(it);
        ++removed;
      } else {
        ++it;
      }
    }
    return removed;
  }

  // Deletes every item, front to back.
  void Clear() {
    while (!items_.empty()) Erase(begin());
  }
  void Reverse() { items_.reverse(); }
  void Swap(COwnedList& other) noexcept { items_.swap(other.items_); }

  ~COwnedList() { Clear(); }

 private:
  Store items_;
};

// Deep copies of every item, in list order; each item class gives `Clone`. When a copy cannot
// be made the copies made so far are deleted and the failure propagates.
template <class T>
COwnedList<T> CloneItems(const COwnedList<T>& source) {
  COwnedList<T> copies;
  for (const T& item : source) copies.Append(item.Clone());
  return copies;
}
