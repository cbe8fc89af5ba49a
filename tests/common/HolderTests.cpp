// The holders of platform objects, checked against the stand-in's live counts: every reference,
// handle, task-memory block and variant is given back exactly once.

#include <gtest/gtest.h>

#include <windows.h>

#include <utility>

#include "ComPtr.h"
#include "HandleHolder.h"
#include "PropVariantHolder.h"
#include "StandinFixture.h"
#include "TaskMemHolder.h"
#include "standin/Control.h"

namespace {

class HolderTest : public testing_support::StandinTest {};

size_t References() {
    return standin::Live().references;
}

TEST_F(HolderTest, ComPtrChangesTheCountOnlyWhereItSaysSo) {
    ComPtr<IUnknown> object;
    EXPECT_FALSE(object);
    // A free-threaded marshaler of its own is a stand-in COM object with one reference.
    ASSERT_EQ(S_OK, CoCreateFreeThreadedMarshaler(nullptr, object.ReleaseAndGetAddressOf()));
    ASSERT_TRUE(object);
    EXPECT_EQ(1u, standin::Live().comObjects);
    EXPECT_EQ(1u, References());

    ComPtr<IMarshal> marshal;
    ASSERT_EQ(S_OK, object.As(marshal));
    EXPECT_EQ(2u, References()) << "QueryInterface adds one";
    ComPtr<IAgileObject> agile;
    EXPECT_EQ(E_NOINTERFACE, object.As(agile));
    EXPECT_FALSE(agile);
    EXPECT_EQ(2u, References());

    ComPtr<IMarshal> moved(std::move(marshal));
    EXPECT_FALSE(marshal);
    EXPECT_EQ(2u, References()) << "moving hands the reference over";

    ComPtr<IUnknown> copy;
    copy.CopyFrom(object.Get());
    EXPECT_EQ(3u, References());
    copy.CopyFrom(copy.Get());  // re-holding what it holds keeps exactly one reference
    EXPECT_EQ(3u, References());

    IUnknown* pRaw = copy.Detach();
    EXPECT_FALSE(copy);
    EXPECT_EQ(3u, References()) << "Detach releases nothing";
    copy.Attach(pRaw);
    EXPECT_EQ(3u, References()) << "Attach adds nothing";

    copy.Reset();
    EXPECT_EQ(2u, References());
    moved = ComPtr<IMarshal>();  // assigning an empty holder releases what was held
    EXPECT_EQ(1u, References());

    // Refilling a holder through its out-parameter helper releases the old object first.
    ASSERT_EQ(S_OK, CoCreateFreeThreadedMarshaler(nullptr, object.ReleaseAndGetAddressOf()));
    EXPECT_EQ(1u, standin::Live().comObjects);
    EXPECT_EQ(1u, References());
}

TEST_F(HolderTest, HandleHolderClosesItsHandleOnce) {
    {
        HandleHolder event;
        EXPECT_FALSE(event);
        event.Reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
        ASSERT_TRUE(event);
        EXPECT_EQ(1u, standin::Live().eventHandles);

        // Replacing closes the old handle.
        event.Reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
        EXPECT_EQ(1u, standin::Live().eventHandles);

        HandleHolder moved(std::move(event));
        EXPECT_FALSE(event);
        EXPECT_EQ(1u, standin::Live().eventHandles);

        HANDLE hDetached = moved.Detach();
        EXPECT_EQ(1u, standin::Live().eventHandles) << "Detach closes nothing";
        EXPECT_TRUE(CloseHandle(hDetached));

        HandleHolder invalid;
        invalid.Reset(INVALID_HANDLE_VALUE);
        EXPECT_FALSE(invalid);
        moved.Reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
        standin::ClearCallLog();
    }
    EXPECT_EQ(0u, standin::Live().eventHandles);
    EXPECT_EQ(1u, standin::CallCount("CloseHandle")) << "never for INVALID_HANDLE_VALUE";
}

TEST_F(HolderTest, TaskMemHolderFreesItsBlock) {
    {
        TaskMemHolder<GUID> memory;
        ASSERT_TRUE(memory.Allocate(sizeof(GUID)));
        EXPECT_EQ(1u, standin::Live().taskMemBlocks);
        ASSERT_TRUE(memory.Allocate(sizeof(GUID)));
        EXPECT_EQ(1u, standin::Live().taskMemBlocks) << "the first block was freed";

        standin::FailCall("CoTaskMemAlloc", 1, E_OUTOFMEMORY);
        EXPECT_FALSE(memory.Allocate(sizeof(GUID)));
        EXPECT_FALSE(memory);
        EXPECT_EQ(0u, standin::Live().taskMemBlocks);

        ASSERT_TRUE(memory.Allocate(4));
        TaskMemHolder<GUID> moved(std::move(memory));
        EXPECT_FALSE(memory);
        EXPECT_EQ(1u, standin::Live().taskMemBlocks);
    }
    EXPECT_EQ(0u, standin::Live().taskMemBlocks);
}

TEST_F(HolderTest, PropVariantHolderFreesTheBlobItOwns) {
    {
        PropVariantHolder variant;
        EXPECT_TRUE(variant.IsEmpty());
        variant.AttachBlob(CoTaskMemAlloc(48), 48);
        EXPECT_EQ(VT_BLOB, variant.Get()->vt);
        EXPECT_EQ(48u, variant.Get()->blob.cbSize);
        EXPECT_EQ(1u, standin::Live().taskMemBlocks);
        variant.AttachBlob(CoTaskMemAlloc(16), 16);
        EXPECT_EQ(1u, standin::Live().taskMemBlocks) << "the first blob was freed";
        variant.Clear();
        EXPECT_TRUE(variant.IsEmpty());
        EXPECT_EQ(0u, standin::Live().taskMemBlocks);
        variant.AttachBlob(CoTaskMemAlloc(8), 8);
    }
    EXPECT_EQ(0u, standin::Live().taskMemBlocks);
}

}  // namespace
