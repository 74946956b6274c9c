// Handles of kernel objects: threads, files, searches, mappings, serial
// ports, memory blocks.  Each service keeps its own record behind a handle.
#pragma once

#include <memory>

#include "platform/ce_base.h"

namespace ce::internal {

enum class ObjectKind { kThread, kFile, kFind, kMapping, kSerial, kLocalMemory };

HANDLE AddObject(ObjectKind kind, std::shared_ptr<void> record);
std::shared_ptr<void> LookupObject(HANDLE handle, ObjectKind kind);
bool RemoveObject(HANDLE handle, ObjectKind* kind);

// A waitable handle (a thread): 1 signalled, 0 not yet, -1 not waitable.
// May be called with the system lock held.
int WaitableState(HANDLE handle);

template <typename T>
std::shared_ptr<T> Lookup(HANDLE handle, ObjectKind kind) {
  return std::static_pointer_cast<T>(LookupObject(handle, kind));
}

}  // namespace ce::internal
