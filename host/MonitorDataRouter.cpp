#include "MonitorDataRouter.h"

#include <cstring>

namespace host {

void MonitorDataRouter::Attach(uint32_t in_uInstanceId, ZV::Orvel::IAudioPlugin* in_pObject) {
    m_objects[in_uInstanceId] = in_pObject;
}

void MonitorDataRouter::Detach(uint32_t in_uInstanceId) {
    m_objects.erase(in_uInstanceId);
}

bool MonitorDataRouter::Post(uint32_t in_uInstanceId, const void* in_pData, uint32_t in_uSize) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (in_uSize > kMaxRecordBytes || (in_pData == nullptr && in_uSize != 0) ||
        m_uCount == kCapacity) {
        ++m_uDropped;
        return false;
    }
    Slot& slot = m_slots[(m_uFirst + m_uCount) % kCapacity];
    slot.uInstanceId = in_uInstanceId;
    slot.uSize = in_uSize;
    if (in_uSize != 0) {
        memcpy(slot.data.data(), in_pData, in_uSize);
    }
    ++m_uCount;
    return true;
}

size_t MonitorDataRouter::DeliverPending() {
    size_t uDelivered = 0;
    Slot record;
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_uCount == 0) {
                return uDelivered;
            }
            record = m_slots[m_uFirst];
            m_uFirst = (m_uFirst + 1) % kCapacity;
            --m_uCount;
        }
        auto it = m_objects.find(record.uInstanceId);
        if (it == m_objects.end() || it->second == nullptr) {
            continue;
        }
        it->second->ReceiveMonitorData(record.data.data(), record.uSize, false);
        ++uDelivered;
    }
}

uint64_t MonitorDataRouter::Dropped() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_uDropped;
}

}  // namespace host
