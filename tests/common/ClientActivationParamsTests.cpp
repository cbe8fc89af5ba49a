// The client activation record: its 48 bytes, a fresh tracing id, and what happens when the
// platform cannot give a GUID or the task memory.

#include <gtest/gtest.h>

#include <windows.h>

#include <string.h>

#include <vector>

#include "ClientActivationParams.h"
#include "StandinFixture.h"
#include "standin/Control.h"

namespace {

class ClientActivationParamsTest : public testing_support::StandinTest {};

std::vector<uint8_t> BlobBytes(const PropVariantHolder& in_params) {
    const BLOB& blob = in_params.Get()->blob;
    return std::vector<uint8_t>(blob.pBlobData, blob.pBlobData + blob.cbSize);
}

uint32_t Le32(const std::vector<uint8_t>& in_bytes, size_t in_uOffset) {
    return uint32_t{in_bytes[in_uOffset]} | uint32_t{in_bytes[in_uOffset + 1]} << 8 |
           uint32_t{in_bytes[in_uOffset + 2]} << 16 | uint32_t{in_bytes[in_uOffset + 3]} << 24;
}

TEST_F(ClientActivationParamsTest, TheRecordIsA48ByteBlobWithTheFamilysIdsAndVersions) {
    PropVariantHolder params;
    ASSERT_TRUE(BuildClientActivationParams(2, params));
    ASSERT_EQ(VT_BLOB, params.Get()->vt);
    ASSERT_EQ(48u, params.Get()->blob.cbSize);
    EXPECT_EQ(1u, standin::Live().taskMemBlocks);
    const std::vector<uint8_t> bytes = BlobBytes(params);

    // The application id in its Windows byte order: Data1 to Data3 little-endian.
    const std::vector<uint8_t> appId = {0x41, 0x0E, 0x7C, 0x5B, 0xA2, 0x93, 0x86, 0x4D,
                                        0xB1, 0xF4, 0x2E, 0x6D, 0x8A, 0x3C, 0x9F, 0x17};
    EXPECT_EQ(appId, std::vector<uint8_t>(bytes.begin() + 16, bytes.begin() + 32));
    EXPECT_EQ(2016u, Le32(bytes, 32));
    EXPECT_EQ(2u, Le32(bytes, 36));
    EXPECT_EQ(6u, Le32(bytes, 40));
    EXPECT_EQ(2u, Le32(bytes, 44));

    // Every build takes a new tracing id.
    PropVariantHolder second;
    ASSERT_TRUE(BuildClientActivationParams(0, second));
    const std::vector<uint8_t> secondBytes = BlobBytes(second);
    const std::vector<uint8_t> zeros(16, 0);
    EXPECT_NE(zeros, std::vector<uint8_t>(bytes.begin(), bytes.begin() + 16));
    EXPECT_NE(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 16),
              std::vector<uint8_t>(secondBytes.begin(), secondBytes.begin() + 16));
    EXPECT_EQ(0u, Le32(secondBytes, 44));
}

TEST_F(ClientActivationParamsTest, WithoutAGuidTheTracingIdIsZero) {
    standin::FailCall("CoCreateGuid", 1, E_FAIL);
    PropVariantHolder params;
    ASSERT_TRUE(BuildClientActivationParams(1, params));
    const std::vector<uint8_t> bytes = BlobBytes(params);
    EXPECT_EQ(std::vector<uint8_t>(16, 0), std::vector<uint8_t>(bytes.begin(), bytes.begin() + 16));
    EXPECT_EQ(1u, Le32(bytes, 44));
}

TEST_F(ClientActivationParamsTest, WithoutTaskMemoryThereIsNoRecord) {
    PropVariantHolder params;
    ASSERT_TRUE(BuildClientActivationParams(1, params));
    standin::FailCall("CoTaskMemAlloc", 1, E_OUTOFMEMORY);
    EXPECT_FALSE(BuildClientActivationParams(1, params));
    EXPECT_TRUE(params.IsEmpty()) << "an earlier record is not passed off as this one";
    EXPECT_EQ(0u, standin::Live().taskMemBlocks);
}

}  // namespace
