// A design-tool object for the monitoring tests: keeps every record it receives.
#pragma once

#include <cstdint>
#include <vector>

#include "DefaultAudioPluginImplementation.h"

namespace host_tests {

// A design-tool object that keeps what it receives.
class RecordingObject final : public ZV::Orvel::DefaultAudioPluginImplementation {
public:
    void DestroyPlugin() override {}
    HINSTANCE GetResourceModule() override { return nullptr; }
    bool DescribeDialog(ZV::Orvel::DialogKind, uint32_t&,
                        const ZV::Orvel::PropertyControlBinding*&) override {
        return false;
    }
    void ReceiveMonitorData(const void* in_pData, uint32_t in_uDataSize, bool) override {
        const uint8_t* pBytes = static_cast<const uint8_t*>(in_pData);
        records.emplace_back(pBytes, pBytes + in_uDataSize);
    }

    std::vector<std::vector<uint8_t>> records;
};

}  // namespace host_tests
