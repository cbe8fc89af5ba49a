// The design-tool host's property set and bank writer.

#include <gtest/gtest.h>

#include <string.h>

#include <cmath>
#include <string>
#include <vector>

#include "BankWriter.h"
#include "PropertySet.h"

namespace {

constexpr ZV::Orvel::PlatformKey kFirst = {1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}};
constexpr ZV::Orvel::PlatformKey kSecond = {1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 12}};

TEST(BankWriterTest, EveryValueIsAppendedLittleEndianAndUnaligned) {
    host::BankWriter writer;
    EXPECT_TRUE(writer.PutBool(true));
    EXPECT_TRUE(writer.PutInt32(-2));
    EXPECT_TRUE(writer.PutInt16(0x1234));
    EXPECT_TRUE(writer.PutInt8(-1));
    EXPECT_TRUE(writer.PutUInt32(0xA1B2C3D4u));
    EXPECT_TRUE(writer.PutReal32(0.5f));
    EXPECT_TRUE(writer.PutReal64(-2.0));
    EXPECT_TRUE(writer.PutBool(false));
    EXPECT_TRUE(writer.PutString("ab"));
    EXPECT_TRUE(writer.PutWideString(L"\x263A"));
    const uint8_t aData[2] = {0xEE, 0xFF};
    EXPECT_TRUE(writer.WriteBytes(aData, 2));
    EXPECT_FALSE(writer.PutString(nullptr));
    EXPECT_FALSE(writer.WriteBytes(nullptr, 1));
    const std::vector<uint8_t> expected = {
        0x01,                                            // bool
        0xFE, 0xFF, 0xFF, 0xFF,                          // int32 -2
        0x34, 0x12,                                      // int16
        0xFF,                                            // int8
        0xD4, 0xC3, 0xB2, 0xA1,                          // uint32
        0x00, 0x00, 0x00, 0x3F,                          // 0.5f
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0,  // -2.0
        0x00,                                            // bool
        'a',  'b',  0x00,                                // narrow text
        0x3A, 0x26, 0x00, 0x00,                          // wide text, 16-bit units
        0xEE, 0xFF,                                      // raw bytes
    };
    EXPECT_EQ(expected, writer.Bytes());
    EXPECT_EQ(expected.size(), writer.GetPosition());
}

TEST(PropertySetTest, ValuesAreKeptPerPlatformAndTypedAsTheDesignToolStoresThem) {
    host::PropertySet properties;
    properties.SetReal32(kFirst, L"DirectGain", 0.25f);
    properties.SetInt32(kSecond, L"DirectGain", 7);
    properties.SetBool(kFirst, L"Bypass", true);

    VARIANT value;
    memset(&value, 0xCD, sizeof(value));
    ASSERT_TRUE(properties.ReadProperty(kFirst, L"DirectGain", value));
    EXPECT_EQ(VT_R4, value.vt);
    EXPECT_EQ(0.25f, value.fltVal);
    ASSERT_TRUE(properties.ReadProperty(kSecond, L"DirectGain", value));
    EXPECT_EQ(VT_I4, value.vt);
    EXPECT_EQ(7, value.lVal);
    ASSERT_TRUE(properties.ReadProperty(kFirst, L"Bypass", value));
    EXPECT_EQ(VT_BOOL, value.vt);
    EXPECT_EQ(VARIANT_TRUE, value.boolVal);

    // What is not there is not invented, and the variant is left alone.
    value.vt = VT_EMPTY;
    value.lVal = 1234;
    EXPECT_FALSE(properties.ReadProperty(kSecond, L"Bypass", value));
    EXPECT_FALSE(properties.ReadProperty(kFirst, nullptr, value));
    EXPECT_EQ(VT_EMPTY, value.vt);
    EXPECT_EQ(1234, value.lVal);

    EXPECT_TRUE(properties.ClearProperty(kFirst, L"Bypass"));
    EXPECT_FALSE(properties.ReadProperty(kFirst, L"Bypass", value));
    EXPECT_FALSE(properties.ClearProperty(kFirst, L"Bypass"));

    ZV::Orvel::PlatformKey key;
    properties.SetCurrentPlatform(kSecond);
    EXPECT_EQ(&key, properties.CurrentPlatform(key));
    EXPECT_EQ(0, memcmp(&kSecond, &key, sizeof(key)));
}

TEST(PropertySetTest, ObserversHearOfEveryWriteUntilTheyLeave) {
    host::PropertySet properties;
    std::vector<std::wstring> heard;
    const int iObserver =
        properties.AddObserver([&heard](const ZV::Orvel::PlatformKey&,
                                        const std::wstring& in_name) { heard.push_back(in_name); });
    properties.SetInt32(kFirst, L"MaxObjects", 3);
    VARIANT value;
    memset(&value, 0, sizeof(value));
    value.vt = VT_I4;
    value.lVal = 4;
    EXPECT_TRUE(properties.WriteProperty(kFirst, L"MaxObjects", value));
    properties.RemoveObserver(iObserver);
    properties.SetInt32(kFirst, L"MaxObjects", 5);
    EXPECT_EQ((std::vector<std::wstring>{L"MaxObjects", L"MaxObjects"}), heard);
    EXPECT_EQ(3u, properties.WriteCount());
}

}  // namespace
