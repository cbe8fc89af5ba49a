// The design-tool plug-in interface: the slot of every function, and the answer of every slot
// that a class leaves at its default, called through the interface.

#include <gtest/gtest.h>

#include <float.h>
#include <string.h>

#include <memory>

#include "IAudioPlugin.h"
#include "SpatialEffectPlugin.h"
#include "SpatialMixer.h"
#include "SpatialMixerAttachment.h"
#include "ZvSinkPlugin.h"

namespace {

using ZV::Orvel::IAudioPlugin;

// Under the Itanium C++ ABI a pointer to a virtual member function holds 1 plus the function's
// offset in the virtual table.
template <typename MemberFunction>
size_t SlotOf(MemberFunction in_pmf) {
    struct Representation {
        uintptr_t uPointer;
        ptrdiff_t iAdjustment;
    } representation;
    static_assert(sizeof(MemberFunction) == sizeof(Representation), "two words");
    memcpy(&representation, &in_pmf, sizeof(representation));
    EXPECT_EQ(1u, representation.uPointer % sizeof(void*)) << "not a virtual function";
    EXPECT_EQ(0, representation.iAdjustment);
    return (representation.uPointer - 1) / sizeof(void*);
}

TEST(AudioPluginInterfaceTest, EveryFunctionHasItsSlot) {
    EXPECT_EQ(0u, SlotOf(&IAudioPlugin::DestroyPlugin));
    EXPECT_EQ(1u, SlotOf(&IAudioPlugin::AttachPropertySet));
    EXPECT_EQ(2u, SlotOf(&IAudioPlugin::Reserved2));
    EXPECT_EQ(3u, SlotOf(&IAudioPlugin::Reserved3));
    EXPECT_EQ(4u, SlotOf(&IAudioPlugin::Reserved4));
    EXPECT_EQ(5u, SlotOf(&IAudioPlugin::Reserved5));
    EXPECT_EQ(6u, SlotOf(&IAudioPlugin::Reserved6));
    EXPECT_EQ(7u, SlotOf(&IAudioPlugin::Reserved7));
    EXPECT_EQ(8u, SlotOf(&IAudioPlugin::Reserved8));
    EXPECT_EQ(9u, SlotOf(&IAudioPlugin::Reserved9));
    EXPECT_EQ(10u, SlotOf(&IAudioPlugin::Reserved10));
    EXPECT_EQ(11u, SlotOf(&IAudioPlugin::Reserved11));
    EXPECT_EQ(12u, SlotOf(&IAudioPlugin::Reserved12));
    EXPECT_EQ(13u, SlotOf(&IAudioPlugin::Reserved13));
    EXPECT_EQ(14u, SlotOf(&IAudioPlugin::Reserved14));
    EXPECT_EQ(15u, SlotOf(&IAudioPlugin::WriteBankData));
    EXPECT_EQ(16u, SlotOf(&IAudioPlugin::Reserved16));
    EXPECT_EQ(17u, SlotOf(&IAudioPlugin::GetResourceModule));
    EXPECT_EQ(18u, SlotOf(&IAudioPlugin::DescribeDialog));
    EXPECT_EQ(19u, SlotOf(&IAudioPlugin::HandleWindowMessage));
    EXPECT_EQ(20u, SlotOf(&IAudioPlugin::Reserved20));
    EXPECT_EQ(21u, SlotOf(&IAudioPlugin::Reserved21));
    EXPECT_EQ(22u, SlotOf(&IAudioPlugin::HandleDialogRequest));
    EXPECT_EQ(23u, SlotOf(&IAudioPlugin::ReceiveMonitorData));
    EXPECT_EQ(24u, SlotOf(&IAudioPlugin::Reserved24));
    EXPECT_EQ(25u, SlotOf(&IAudioPlugin::Reserved25));
    EXPECT_EQ(26u, SlotOf(&IAudioPlugin::Reserved26));
    EXPECT_EQ(0, ZV::Orvel::SettingsDialog);
    EXPECT_EQ(2 * sizeof(void*), sizeof(ZV::Orvel::PropertyControlBinding));
}

struct PluginDeleter {
    void operator()(IAudioPlugin* in_pPlugin) const { in_pPlugin->DestroyPlugin(); }
};
typedef std::unique_ptr<IAudioPlugin, PluginDeleter> PluginPtr;

// The slots that no class of the family overrides (slot 11 of the effect has an empty body of
// its own, which answers as the default does).
void ExpectUntouchedSlotsAnswerTheirDefaults(IAudioPlugin& io_plugin) {
    int iArg = 0;
    io_plugin.Reserved2(&iArg);
    io_plugin.Reserved3(&iArg);
    EXPECT_TRUE(io_plugin.Reserved4());
    io_plugin.Reserved5();
    io_plugin.Reserved6();
    EXPECT_FALSE(io_plugin.Reserved7(&iArg));
    EXPECT_FALSE(io_plugin.Reserved8(&iArg));
    EXPECT_TRUE(io_plugin.Reserved9(&iArg));
    io_plugin.Reserved10(&iArg);
    io_plugin.Reserved11(&iArg, &iArg);
    io_plugin.Reserved12(&iArg, &iArg, &iArg);
    io_plugin.Reserved13(&iArg, 1, 2);
    io_plugin.Reserved14();
    EXPECT_FALSE(io_plugin.Reserved16(&iArg, 3, &iArg));
    EXPECT_FALSE(io_plugin.Reserved20(&iArg, &iArg, 4));
    EXPECT_FALSE(io_plugin.Reserved21(&iArg, &iArg, 5));
    EXPECT_EQ(nullptr, io_plugin.Reserved24());
    EXPECT_EQ(2u, io_plugin.Reserved25(&iArg, &iArg, &iArg));
    double fFirst = -1.0;
    double fSecond = -1.0;
    EXPECT_FALSE(io_plugin.Reserved26(fFirst, fSecond));
    EXPECT_EQ(0.0, fFirst);
    EXPECT_EQ(3.4028234663852886e38, fSecond);
    EXPECT_EQ(static_cast<double>(FLT_MAX), fSecond);
    EXPECT_EQ(0, iArg);
}

TEST(AudioPluginInterfaceTest, EveryClassAnswersTheDefaultsItDoesNotOverride) {
    PluginPtr sink(new ZvSinkPlugin());
    PluginPtr effect(new SpatialEffectPlugin());
    PluginPtr mixer(new SpatialMixer());
    PluginPtr attachment(new SpatialMixerAttachment());
    for (IAudioPlugin* pPlugin : {sink.get(), effect.get(), mixer.get(), attachment.get()}) {
        ExpectUntouchedSlotsAnswerTheirDefaults(*pPlugin);
    }
    // The sink keeps the default dialog request; it and the attachment the default monitor
    // data handling (nothing happens, whatever arrives).
    EXPECT_FALSE(sink->HandleDialogRequest(nullptr, ZV::Orvel::SettingsDialog, nullptr));
    const uint8_t aRecord[12] = {3, 0, 0, 0, 7, 0, 0, 0, 16, 0, 0, 0};
    sink->ReceiveMonitorData(aRecord, sizeof(aRecord), true);
    attachment->ReceiveMonitorData(nullptr, 0, false);
}

}  // namespace
