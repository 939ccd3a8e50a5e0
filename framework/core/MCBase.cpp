#include "framework/core/MCBase.h"

#include "framework/core/MCBlockPool.h"

int32_t __MCBase::ClassID() const { return 0; }

const char* __MCBase::ClassName() const { return "__MCBase"; }

__MCBase::~__MCBase() = default;

bool __MCBase::IsSameClass(const __MCBase* other) const {
    return other != nullptr && other->ClassName() == ClassName();
}

void* __MCBase::operator new(std::size_t size) {
    if (void* block = mcpool::Allocate(size)) return block;
    throw std::bad_alloc();
}

void* __MCBase::operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return mcpool::Allocate(size);
}

void __MCBase::operator delete(void* block, std::size_t size) noexcept { mcpool::Free(block, size); }
