#pragma once

#include <cstdint>

#include "framework/core/MCBase.h"

// One staff (by staff number, not slot) in one measure.
class MCCell : public __MCBase {
public:
    MCCell(int32_t measure, int32_t staff) : Measure(measure), Staff(staff) {}
    ~MCCell() override;
    const char* ClassName() const override;

    int32_t Measure;
    int32_t Staff;

private:
    // Object slots of the framework's cell; nothing here fills them.
    __MCBase* Slots[2] = {nullptr, nullptr};
};
