#include "OrvelSoundEngine.h"

#include <mutex>

namespace host {
namespace {

struct Received {
    std::mutex mutex;
    std::vector<ReceivedList> lists;
};

Received& Lists() {
    static Received* s_pReceived = new Received();  // never destroyed: used at exit
    return *s_pReceived;
}

}  // namespace

std::vector<ReceivedList> ReceivedLists() {
    std::lock_guard<std::mutex> lock(Lists().mutex);
    return Lists().lists;
}

void ClearReceivedLists() {
    std::lock_guard<std::mutex> lock(Lists().mutex);
    Lists().lists.clear();
}

}  // namespace host

void RegisterOrvelPlugin(ZvPluginRegistration* in_pList) {
    host::ReceivedList list;
    list.pHead = in_pList;
    // A list links at most a few records; the bound stops a list that loops.
    const ZvPluginRegistration* pRecord = in_pList;
    for (int i = 0; pRecord != nullptr && i < 1024; pRecord = pRecord->pNext, ++i) {
        list.records.push_back(host::ReceivedRecord{pRecord, pRecord->eType, pRecord->uCompanyId,
                                                    pRecord->uPluginId, pRecord->pCreatePlugin,
                                                    pRecord->pCreateParam});
    }
    std::lock_guard<std::mutex> lock(host::Lists().mutex);
    host::Lists().lists.push_back(list);
}

const ZvPluginRegistration* LastReceivedPluginList(uint32_t* out_puListCount) {
    std::lock_guard<std::mutex> lock(host::Lists().mutex);
    const std::vector<host::ReceivedList>& lists = host::Lists().lists;
    if (out_puListCount != nullptr) {
        *out_puListCount = static_cast<uint32_t>(lists.size());
    }
    return lists.empty() ? nullptr : lists.back().pHead;
}
