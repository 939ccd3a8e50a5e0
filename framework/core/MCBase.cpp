#include "framework/core/MCBase.h"

int32_t __MCBase::ClassID() const { return 0; }

const char* __MCBase::ClassName() const { return "__MCBase"; }

__MCBase::~__MCBase() = default;

bool __MCBase::IsSameClass(const __MCBase* other) const {
    return other != nullptr && other->ClassName() == ClassName();
}
