#pragma once

#include <cstddef>
#include <cstdint>
#include <new>

// Root of every framework class. The four virtual operations come first in
// every subclass, in this order; plug-ins built on the framework rely on it.
class __MCBase {
public:
    __MCBase() = default;
    __MCBase(const __MCBase&) = delete;
    __MCBase& operator=(const __MCBase&) = delete;

    // Class number; 0 unless a record class defines its own.
    virtual int32_t ClassID() const;
    // Static, zero-terminated name; its address identifies the class.
    virtual const char* ClassName() const;
    virtual ~__MCBase();
    // True when both objects answer the same name text (identity, not
    // characters); false for a null object.
    virtual bool IsSameClass(const __MCBase* other) const;

    // Framework objects on the heap come from the block pool
    // (core/MCBlockPool.h): a walk makes and drops the same objects for
    // every cell.
    static void* operator new(std::size_t size);
    static void* operator new(std::size_t size, const std::nothrow_t&) noexcept;
    static void operator delete(void* block, std::size_t size) noexcept;

private:
    // Two words every framework object carries after its dispatch table.
    void* Spare[2] = {nullptr, nullptr};
};
