#include "framework/music/MCCell.h"

MCCell::~MCCell() {
    for (__MCBase*& slot : Slots) {
        delete slot;
        slot = nullptr;
    }
}

const char* MCCell::ClassName() const { return "MCCell"; }
