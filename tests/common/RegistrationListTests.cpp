// The registration list as a host reads it: through the exported head, following next pointers,
// with every field at its published offset.

#include <gtest/gtest.h>

#include <stdint.h>
#include <string.h>

#include <vector>

#include "PluginLibrary.h"
#include "ZvPluginRegistration.h"

namespace {

ZV::IPlugin* CreateNothing(ZV::IPluginMemAlloc*) {
    return nullptr;
}
ZV::IPluginParam* CreateNoParams(ZV::IPluginMemAlloc*) {
    return nullptr;
}

// Registered in this order by static initialisation, so the list reads them backwards.
ZvPluginRegistration s_first(ZvPluginTypeMixer, kZvCompanyId, kZvMixerPluginId, &CreateNothing,
                             &CreateNoParams);
ZvPluginRegistration s_second(ZvPluginTypeEffect, kZvCompanyId, kZvMixerAttachmentPluginId, nullptr,
                              &CreateNoParams, 5, 6);

template <typename T>
T At(const void* in_pRecord, size_t in_uOffset) {
    T value;
    memcpy(&value, static_cast<const uint8_t*>(in_pRecord) + in_uOffset, sizeof(T));
    return value;
}

TEST(RegistrationListTest, TheListRunsFromTheLastRegisteredRecordWithFieldsAtTheirOffsets) {
    std::vector<const void*> records;
    for (const void* pRecord = g_pZVPluginList; pRecord != nullptr;
         pRecord = At<const void*>(pRecord, 0)) {
        records.push_back(pRecord);
    }
    ASSERT_EQ(2u, records.size());
    EXPECT_EQ(&s_second, records[0]);
    EXPECT_EQ(&s_first, records[1]);

    constexpr size_t kPointer = sizeof(void*);
    const size_t uFactories = kPointer == 8 ? 24 : 16;
    const void* pAttachment = records[0];
    EXPECT_EQ(uint32_t{ZvPluginTypeEffect}, At<uint32_t>(pAttachment, kPointer));
    EXPECT_EQ(275u, At<uint32_t>(pAttachment, kPointer + 4));
    EXPECT_EQ(798u, At<uint32_t>(pAttachment, kPointer + 8));
    EXPECT_EQ(nullptr, At<ZvCreatePluginFn>(pAttachment, uFactories));
    EXPECT_EQ(&CreateNoParams, At<ZvCreateParamFn>(pAttachment, uFactories + kPointer));
    EXPECT_EQ(nullptr, At<void*>(pAttachment, uFactories + 2 * kPointer));
    EXPECT_EQ(nullptr, At<void*>(pAttachment, uFactories + 3 * kPointer));
    EXPECT_EQ(5u, At<uintptr_t>(pAttachment, uFactories + 4 * kPointer));
    EXPECT_EQ(6u, At<uintptr_t>(pAttachment, uFactories + 5 * kPointer));

    const void* pMixer = records[1];
    EXPECT_EQ(799u, At<uint32_t>(pMixer, kPointer + 8));
    EXPECT_EQ(&CreateNothing, At<ZvCreatePluginFn>(pMixer, uFactories));
    EXPECT_EQ(0u, At<uintptr_t>(pMixer, uFactories + 4 * kPointer));
    EXPECT_EQ(nullptr, At<const void*>(pMixer, 0)) << "the first record ends the list";
}

TEST(RegistrationListTest, TheHostFindsRecordsByCompanyAndPluginId) {
    EXPECT_EQ(&s_first, host::PluginLibrary::Find(g_pZVPluginList, kZvCompanyId, 799));
    EXPECT_EQ(&s_second, host::PluginLibrary::Find(g_pZVPluginList, kZvCompanyId, 798));
    EXPECT_EQ(nullptr, host::PluginLibrary::Find(g_pZVPluginList, kZvCompanyId, 170));
    EXPECT_EQ(nullptr, host::PluginLibrary::Find(g_pZVPluginList, 276, 799));
    EXPECT_EQ(nullptr, host::PluginLibrary::Find(nullptr, kZvCompanyId, 799));
}

}  // namespace
