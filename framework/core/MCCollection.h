#pragma once

#include <cstdint>

#include "framework/core/MCBase.h"

class MCIteratorHandler;

// Anything that can be walked with an iterator handler.
class __MCIteratorBase : public __MCBase {
public:
    // Visits every element; the number of visits the handler accepted.
    virtual int32_t ForEach(MCIteratorHandler& handler) = 0;
    // The first element the handler's IsMatch accepts, or null.
    virtual __MCBase* FindFirst(MCIteratorHandler& handler) = 0;
};

// An owning collection of framework objects. Items are destroyed through
// their virtual destructors by ClearAll and by the collection's destructor.
class __MCCollection : public __MCIteratorBase {
public:
    __MCCollection() = default;
    ~__MCCollection() override;
    const char* ClassName() const override;

    int32_t ForEach(MCIteratorHandler& handler) override;
    __MCBase* FindFirst(MCIteratorHandler& handler) override;
    virtual int32_t ForEachIndex(MCIteratorHandler& handler);

    // Makes room for n more items, growing in steps of 10, 50, 100 or 1000
    // places chosen by the count already reached. False when the array
    // cannot be allocated; the collection is then unchanged.
    bool EnsureRoom(int32_t n);
    // Takes ownership of the item. On failure the item is destroyed, so the
    // caller never has to.
    bool Add(__MCBase* item) {
        if (Count < Capacity) {
            Items[Count++] = item;
            return true;
        }
        return AddGrowing(item);
    }
    // The item at a 0-based index, or null when there is none.
    __MCBase* GetItemAt(int32_t index) const {
        if (index < 0 || index >= Count || Items == nullptr) return nullptr;
        return Items[index];
    }
    // Destroys every item; the array and its capacity stay.
    void ClearAll();

    int32_t GetCount() const { return Count; }
    int32_t GetCapacity() const { return Capacity; }

protected:
    // Empties the places without destroying the items: for a subclass that
    // destroys its items itself. (The places beyond Count are never read.)
    void ForgetItems();

private:
    bool AddGrowing(__MCBase* item);

    int32_t Count = 0;
    int32_t Capacity = 0;
    __MCBase** Items = nullptr;
};
