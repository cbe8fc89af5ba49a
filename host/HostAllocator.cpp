#include "HostAllocator.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace host {

HostAllocator::~HostAllocator() {
    // Whatever a plug-in left behind is a leak that the tests report; give the memory back anyway.
    for (auto& block : m_blocks) {
        std::free(block.first);
    }
}

void* HostAllocator::Malloc(size_t in_uSize) {
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_uMallocCalls;
    if (m_uFailAt != 0 &&
        (m_uMallocCalls == m_uFailAt || (m_bFailFromThenOn && m_uMallocCalls > m_uFailAt))) {
        return nullptr;
    }
    // Fresh blocks are filled with a pattern, so that a plug-in relying on zeroed memory shows.
    void* pMemory = std::malloc(in_uSize == 0 ? 1 : in_uSize);
    if (pMemory == nullptr) {
        return nullptr;
    }
    std::memset(pMemory, 0xCD, in_uSize);
    m_blocks.emplace(pMemory, in_uSize);
    m_uBytes += in_uSize;
    ++m_uAllocations;
    return pMemory;
}

void HostAllocator::Free(void* in_pMemory) {
    if (in_pMemory == nullptr) {
        return;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_blocks.find(in_pMemory);
    if (it == m_blocks.end()) {
        char szMessage[64];
        std::snprintf(szMessage, sizeof(szMessage), "free of unknown block %p", in_pMemory);
        m_errors.emplace_back(szMessage);
        return;  // never hand foreign memory to free()
    }
    m_uBytes -= it->second;
    m_blocks.erase(it);
    std::free(in_pMemory);
}

void HostAllocator::FailAllocation(uint64_t in_uNth) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_uFailAt = in_uNth == 0 ? 0 : m_uMallocCalls + in_uNth;
    m_bFailFromThenOn = false;
}

void HostAllocator::FailAllocationsFrom(uint64_t in_uNth) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_uFailAt = in_uNth == 0 ? 0 : m_uMallocCalls + in_uNth;
    m_bFailFromThenOn = in_uNth != 0;
}

size_t HostAllocator::OutstandingBlocks() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_blocks.size();
}

size_t HostAllocator::OutstandingBytes() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_uBytes;
}

uint64_t HostAllocator::AllocationCount() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_uAllocations;
}

uint64_t HostAllocator::MallocCalls() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_uMallocCalls;
}

std::vector<std::string> HostAllocator::Errors() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_errors;
}

}  // namespace host
