// An ordered list of pointers, addressed by position, with an optional routine that is told of
// each item as the list lets go of it. Holding std::unique_ptr items makes the list own them.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "framework/exception.h"

namespace mixer {

// Raised for a negative list position.
class ListError : public framework::Exception {
  public:
    using Exception::Exception;
};

// "List index out of bounds (%d)" from the program's string table.
[[noreturn]] void raiseListIndexError(int32_t index);

template <class Pointer>
class PointerList {
  public:
    using Item = decltype(std::to_address(std::declval<const Pointer&>()));

    PointerList() = default;
    PointerList(const PointerList&) = delete;
    PointerList& operator=(const PointerList&) = delete;
    ~PointerList() { clear(); }

    // Told of every item as clear() lets go of it, before an owned item is destroyed.
    std::function<void(Item)> onFreeItem;

    void add(Pointer item) { items_.push_back(std::move(item)); }
    int32_t count() const { return static_cast<int32_t>(items_.size()); }

    // nullptr at or beyond the end; a negative position is the caller's error.
    Item item(int32_t index) const {
        if (index < 0) {
            raiseListIndexError(index);
        }
        if (index >= count()) {
            return nullptr;
        }
        return std::to_address(items_[static_cast<size_t>(index)]);
    }

    // Lets go of the items in position order.
    void clear() {
        std::vector<Pointer> items = std::exchange(items_, {});
        for (Pointer& p : items) {
            if (onFreeItem) {
                onFreeItem(std::to_address(p));
            }
            p = Pointer{};
        }
    }

  private:
    std::vector<Pointer> items_;
};

}  // namespace mixer
