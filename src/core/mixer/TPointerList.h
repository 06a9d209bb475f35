#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "core/mixer/ListIndexError.h"

namespace pelkora {

// A list of pointers with an optional release callback. Clear (and
// destruction) hands every item to OnFreeItem in index order before the list
// empties, so an owning list destroys its items first to last.
template <typename T>
class TPointerList {
  public:
    using FreeItem = std::function<void(T*)>;

    TPointerList() = default;
    explicit TPointerList(FreeItem onFreeItem) : OnFreeItem(std::move(onFreeItem)) {}
    ~TPointerList() { Clear(); }
    TPointerList(const TPointerList&) = delete;
    TPointerList& operator=(const TPointerList&) = delete;

    void Add(T* item) { items_.push_back(item); }
    // Takes the item over; the list must release it through OnFreeItem.
    void Add(std::unique_ptr<T> item) {
        items_.push_back(item.get());
        item.release();
    }
    T* Get(std::int32_t index) const {
        if (index < 0 || static_cast<std::size_t>(index) >= items_.size()) {
            throw ListIndexError(index);
        }
        return items_[static_cast<std::size_t>(index)];
    }
    std::int32_t Count() const { return static_cast<std::int32_t>(items_.size()); }
    void Clear() {
        std::vector<T*> items;
        items.swap(items_);
        if (OnFreeItem) {
            for (T* item : items) {
                OnFreeItem(item);
            }
        }
    }

    FreeItem OnFreeItem;

  private:
    std::vector<T*> items_;
};

// The release callback of a list that owns its items.
template <typename T>
void DeleteItem(T* item) {
    delete item;
}

}  // namespace pelkora
