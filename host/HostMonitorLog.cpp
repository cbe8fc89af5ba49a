#include "HostMonitorLog.h"

#include <algorithm>
#include <cstring>

namespace host {

namespace {

// The ring positions of the kept entries, oldest first, after in_uPosts posts.
template <typename Visit>
void ForEachKept(uint64_t in_uPosts, Visit in_visit) {
    const uint64_t uKept = std::min<uint64_t>(in_uPosts, HostMonitorLog::kMaxRecords);
    for (uint64_t uEntry = in_uPosts - uKept; uEntry < in_uPosts; ++uEntry) {
        in_visit(static_cast<size_t>(uEntry % HostMonitorLog::kMaxRecords));
    }
}

}  // namespace

HostMonitorLog::HostMonitorLog() : m_dataSlots(kMaxRecords), m_messageSlots(kMaxRecords) {}

void HostMonitorLog::SetCanPostData(bool in_bCanPost) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_bCanPostData = in_bCanPost;
}

bool HostMonitorLog::CanPostData() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_bCanPostData;
}

ZvResult HostMonitorLog::AddData(const void* in_pData, uint32_t in_uDataSize) {
    if (in_pData == nullptr && in_uDataSize != 0) {
        return ZV_BadParameter;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_bCanPostData) {
        return ZV_Failure;
    }
    DataSlot& slot = m_dataSlots[m_uDataPosts % kMaxRecords];
    slot.uSize = in_uDataSize;
    if (in_uDataSize != 0) {
        std::memcpy(slot.aData, in_pData, std::min<size_t>(in_uDataSize, kMaxDataBytes));
    }
    ++m_uDataPosts;
    return ZV_Success;
}

ZvResult HostMonitorLog::AddMessage(const char* in_pszMessage, uint32_t in_eLevel) {
    if (in_pszMessage == nullptr) {
        return ZV_BadParameter;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    MessageSlot& slot = m_messageSlots[m_uMessages % kMaxRecords];
    slot.eLevel = in_eLevel;
    const size_t uLength = strnlen(in_pszMessage, kMaxMessageChars - 1);
    std::memcpy(slot.szText, in_pszMessage, uLength);
    slot.szText[uLength] = '\0';
    ++m_uMessages;
    return ZV_Success;
}

std::vector<std::vector<uint8_t>> HostMonitorLog::DataRecords() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<std::vector<uint8_t>> records;
    ForEachKept(m_uDataPosts, [&](size_t in_uSlot) {
        const DataSlot& slot = m_dataSlots[in_uSlot];
        records.emplace_back(slot.aData, slot.aData + std::min<size_t>(slot.uSize, kMaxDataBytes));
    });
    return records;
}

std::vector<uint32_t> HostMonitorLog::DataSizes() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<uint32_t> sizes;
    ForEachKept(m_uDataPosts,
                [&](size_t in_uSlot) { sizes.push_back(m_dataSlots[in_uSlot].uSize); });
    return sizes;
}

uint64_t HostMonitorLog::DataPostCount() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_uDataPosts;
}

uint64_t HostMonitorLog::LatestData(void* out_pData, uint32_t in_uMaxBytes,
                                    uint32_t& out_uSize) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    out_uSize = 0;
    if (m_uDataPosts == 0) {
        return 0;
    }
    const DataSlot& slot = m_dataSlots[(m_uDataPosts - 1) % kMaxRecords];
    out_uSize = slot.uSize;
    const size_t uCopy = std::min<size_t>({slot.uSize, kMaxDataBytes, in_uMaxBytes});
    if (uCopy != 0 && out_pData != nullptr) {
        std::memcpy(out_pData, slot.aData, uCopy);
    }
    return m_uDataPosts;
}

std::vector<HostMonitorLog::Message> HostMonitorLog::Messages() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<Message> messages;
    ForEachKept(m_uMessages, [&](size_t in_uSlot) {
        const MessageSlot& slot = m_messageSlots[in_uSlot];
        messages.push_back(Message{slot.szText, slot.eLevel});
    });
    return messages;
}

uint64_t HostMonitorLog::MessageCount() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_uMessages;
}

void HostMonitorLog::Clear() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_uDataPosts = 0;
    m_uMessages = 0;
}

}  // namespace host
