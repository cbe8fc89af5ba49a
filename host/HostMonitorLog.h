// What a plug-in posts through its context for the design tool and the host's log: monitoring
// data records and messages with their levels.
//
// Posting never allocates (the audio thread must not), so the log keeps the latest kMaxRecords
// data records of at most kMaxDataBytes bytes each (a longer record keeps its size and its first
// kMaxDataBytes bytes) and the latest kMaxRecords messages cut to kMaxMessageChars - 1 characters.
// The counts cover every post.
//
// Threads: the plug-in posts on its audio thread, a test may read from another; a mutex guards
// everything (it does not allocate).
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <mutex>
#include <string>
#include <vector>

#include "ZvResult.h"

namespace host {

class HostMonitorLog {
public:
    static constexpr size_t kMaxRecords = 256;
    static constexpr size_t kMaxDataBytes = 64;
    static constexpr size_t kMaxMessageChars = 256;

    struct Message {
        std::string text;
        uint32_t eLevel;
    };

    HostMonitorLog();

    // What CanPostMonitorData answers (true at first); while false, data posts are refused.
    void SetCanPostData(bool in_bCanPost);
    bool CanPostData() const;
    ZvResult AddData(const void* in_pData, uint32_t in_uDataSize);
    ZvResult AddMessage(const char* in_pszMessage, uint32_t in_eLevel);

    // The kept records, oldest first, each as the bytes that were posted (at most kMaxDataBytes).
    std::vector<std::vector<uint8_t>> DataRecords() const;
    // The size that each kept record was posted with, oldest first.
    std::vector<uint32_t> DataSizes() const;
    uint64_t DataPostCount() const;
    // The latest record's first bytes (at most in_uMaxBytes and kMaxDataBytes) into out_pData;
    // returns the posted count and its size (a count of 0: nothing posted). Allocates nothing, so
    // a host can read the plug-in's counters every frame.
    uint64_t LatestData(void* out_pData, uint32_t in_uMaxBytes, uint32_t& out_uSize) const;
    std::vector<Message> Messages() const;
    uint64_t MessageCount() const;
    void Clear();

private:
    struct DataSlot {
        uint32_t uSize;
        uint8_t aData[kMaxDataBytes];
    };
    struct MessageSlot {
        uint32_t eLevel;
        char szText[kMaxMessageChars];
    };

    mutable std::mutex m_mutex;
    bool m_bCanPostData = true;
    std::vector<DataSlot> m_dataSlots;  // kMaxRecords, used as a ring
    uint64_t m_uDataPosts = 0;
    std::vector<MessageSlot> m_messageSlots;  // kMaxRecords, used as a ring
    uint64_t m_uMessages = 0;
};

}  // namespace host
