#include "framework/core/MCCollection.h"

#include <cstdlib>
#include <limits>

#include "framework/core/MCBlockPool.h"
#include "framework/core/MCIteratorHandler.h"

namespace {

int64_t GrowthStep(int32_t count) {
    if (count > 10000) return 1000;
    if (count > 1000) return 100;
    if (count > 100) return 50;
    return 10;
}

size_t ItemBytes(int64_t places) { return static_cast<size_t>(places) * sizeof(__MCBase*); }

}  // namespace

__MCCollection::~__MCCollection() {
    if (Count > 0) ClearAll();
    if (Items != nullptr) mcpool::Free(Items, ItemBytes(Capacity));
    Items = nullptr;
    Capacity = 0;
}

const char* __MCCollection::ClassName() const { return "__MCCollection"; }

bool __MCCollection::EnsureRoom(int32_t n) {
    const int64_t wanted = static_cast<int64_t>(Count) + n;
    if (Capacity >= wanted) return true;

    const int64_t step = GrowthStep(Count);
    const int64_t places = step * ((wanted + step) / step);
    if (places > std::numeric_limits<int32_t>::max()) return false;

    auto** items = static_cast<__MCBase**>(mcpool::Allocate(ItemBytes(places)));
    if (items == nullptr) return false;
    for (int64_t i = 0; i < places; ++i) items[i] = i < Count ? Items[i] : nullptr;
    mcpool::Free(Items, ItemBytes(Capacity));
    Items = items;
    Capacity = static_cast<int32_t>(places);
    return true;
}

bool __MCCollection::AddGrowing(__MCBase* item) {
    if (!EnsureRoom(1)) {
        delete item;
        return false;
    }
    Items[Count++] = item;
    return true;
}

void __MCCollection::ForgetItems() { Count = 0; }

void __MCCollection::ClearAll() {
    for (int32_t i = 0; i < Count; ++i) {
        __MCBase* item = Items[i];
        Items[i] = nullptr;
        delete item;
    }
    Count = 0;
}

int32_t __MCCollection::ForEach(MCIteratorHandler& handler) {
    int32_t accepted = 0;
    for (int32_t i = 0; i < Count; ++i) {
        __MCBase* item = Items[i];
        if (item == nullptr) continue;
        if (!handler.Iterate(item)) break;
        ++accepted;
    }
    return accepted;
}

int32_t __MCCollection::ForEachIndex(MCIteratorHandler& handler) {
    int32_t accepted = 0;
    for (int32_t i = 0; i < Count; ++i) {
        __MCBase* item = Items[i];
        if (item == nullptr) continue;
        if (!handler.IterateIndex(item, i)) break;
        ++accepted;
    }
    return accepted;
}

__MCBase* __MCCollection::FindFirst(MCIteratorHandler& handler) {
    for (int32_t i = 0; i < Count; ++i) {
        if (Items[i] != nullptr && handler.IsMatch(Items[i])) return Items[i];
    }
    return nullptr;
}
