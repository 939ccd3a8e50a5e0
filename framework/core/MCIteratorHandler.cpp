#include "framework/core/MCIteratorHandler.h"

const char* MCIteratorHandler::ClassName() const { return "MCIteratorHandler"; }

bool MCIteratorHandler::ReservedHook1() { return false; }

bool MCIteratorHandler::IterateIndex(__MCBase*, int32_t) { return true; }

bool MCIteratorHandler::IsMatch(__MCBase*) { return false; }

int32_t MCIteratorHandler::ReservedHook2() { return 0; }

bool MCIteratorHandler::ReservedHook3() { return true; }

bool MCIteratorHandler::ReservedHook4() { return true; }

void MCIteratorHandler::ReservedHook5() {}

void MCIteratorHandler::ReservedHook6() {}
