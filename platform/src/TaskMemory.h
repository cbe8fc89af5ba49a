// Task memory that the stand-in itself hands to callers (IMMDevice::GetId and the like): counted
// like CoTaskMemAlloc's blocks and freed by CoTaskMemFree, but not logged as a call of the client
// and not subject to the faults injected into CoTaskMemAlloc.
#pragma once

#include <cstddef>

namespace standin {
namespace detail {

void* AllocateTaskMemory(size_t in_uBytes);

}  // namespace detail
}  // namespace standin
