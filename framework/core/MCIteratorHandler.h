#pragma once

#include <cstdint>

#include "framework/core/MCBase.h"

// The callback object of every walk: the walk calls Iterate once per visited
// object, and a false result ends the walk at once. The caller owns the
// handler and reads its fields after the walk.
class MCIteratorHandler : public __MCBase {
public:
    const char* ClassName() const override;

    // True to go on, false to stop the walk.
    virtual bool Iterate(__MCBase* object) = 0;
    virtual bool ReservedHook1();
    // As Iterate, with the object's 0-based place in its collection.
    virtual bool IterateIndex(__MCBase* object, int32_t index);
    // True when the object is the one a search looks for.
    virtual bool IsMatch(__MCBase* object);
    // Hooks that framework plug-ins may fill; nothing here calls them.
    virtual int32_t ReservedHook2();
    virtual bool ReservedHook3();
    virtual bool ReservedHook4();
    virtual void ReservedHook5();
    virtual void ReservedHook6();

private:
    int32_t Reserved = 0;
};
