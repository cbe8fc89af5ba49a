// Carries what engine-side plug-ins post with PostMonitorData to the design-tool object of the
// same plug-in instance, as the design tool does while a sound engine plays inside it.
//
// Threads: Post is called on the engine's audio thread; it copies the record into a fixed ring of
// slots under m_mutex and neither allocates nor waits for anything but that short lock.
// Attach, Detach and DeliverPending run on the user-interface thread only (m_objects is theirs
// alone); DeliverPending takes one record at a time out of the ring under m_mutex and calls the
// object's ReceiveMonitorData with the lock released.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <mutex>

#include "IAudioPlugin.h"

namespace host {

class MonitorDataRouter {
public:
    static constexpr uint32_t kMaxRecordBytes = 256;
    static constexpr size_t kCapacity = 64;

    // Records posted for in_uInstanceId go to in_pObject (not owned) from now on.
    void Attach(uint32_t in_uInstanceId, ZV::Orvel::IAudioPlugin* in_pObject);
    void Detach(uint32_t in_uInstanceId);

    // Any thread. False, and the record dropped, when it is larger than kMaxRecordBytes or
    // kCapacity records wait already.
    bool Post(uint32_t in_uInstanceId, const void* in_pData, uint32_t in_uSize);

    // User-interface thread: delivers the waiting records in the order they were posted, each to
    // the object attached for its instance (records of instances without one are dropped).
    // Returns the number delivered.
    size_t DeliverPending();

    uint64_t Dropped() const;

private:
    struct Slot {
        uint32_t uInstanceId;
        uint32_t uSize;
        std::array<uint8_t, kMaxRecordBytes> data;
    };

    mutable std::mutex m_mutex;
    std::array<Slot, kCapacity> m_slots{};                   // guarded by m_mutex
    size_t m_uFirst = 0;                                     // guarded by m_mutex
    size_t m_uCount = 0;                                     // guarded by m_mutex
    uint64_t m_uDropped = 0;                                 // guarded by m_mutex
    std::map<uint32_t, ZV::Orvel::IAudioPlugin*> m_objects;  // user-interface thread only
};

}  // namespace host
