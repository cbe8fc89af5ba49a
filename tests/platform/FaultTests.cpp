// The stand-in's own controls: injected faults, the call log and the platform-call mark.

#include <gtest/gtest.h>

#include <windows.h>

#include "StandinFixture.h"

namespace {

using testing_support::StandinTest;

class FaultTest : public StandinTest {};

TEST_F(FaultTest, TheNthCallFailsAndTheOthersDoNot) {
    standin::FailCall("CreateEventW", 2, E_OUTOFMEMORY);
    HANDLE hFirst = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    HANDLE hSecond = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    HANDLE hThird = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    EXPECT_NE(nullptr, hFirst);
    EXPECT_EQ(nullptr, hSecond);
    EXPECT_EQ(static_cast<DWORD>(E_OUTOFMEMORY & 0xFFFF), GetLastError());
    EXPECT_NE(nullptr, hThird);
    CloseHandle(hFirst);
    CloseHandle(hThird);
}

TEST_F(FaultTest, AFaultCanLastForEveryLaterCall) {
    standin::FailCall("CoCreateGuid", 1, E_FAIL, UINT32_MAX);
    GUID guid;
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(E_FAIL, CoCreateGuid(&guid));
    }
    standin::ClearFaults();
    EXPECT_EQ(S_OK, CoCreateGuid(&guid));
}

TEST_F(FaultTest, AFailedTaskAllocationGivesNull) {
    standin::FailCall("CoTaskMemAlloc", 1, E_OUTOFMEMORY);
    EXPECT_EQ(nullptr, CoTaskMemAlloc(16));
    EXPECT_EQ(0u, standin::Live().taskMemBlocks);
}

TEST_F(FaultTest, TheCallLogKeepsTheOrderOfCalls) {
    standin::ClearCallLog();
    HANDLE hEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    SetEvent(hEvent);
    CloseHandle(hEvent);
    const std::vector<std::string> expected = {"CreateEventW", "SetEvent", "CloseHandle"};
    EXPECT_EQ(expected, standin::CallLog());
    EXPECT_EQ(1u, standin::CallCount("SetEvent"));
}

TEST_F(FaultTest, AFailedLockSetUpReportsFalse) {
    standin::FailCall("InitializeCriticalSectionEx", 1, E_OUTOFMEMORY);
    CRITICAL_SECTION section;
    EXPECT_FALSE(InitializeCriticalSectionEx(&section, 0, 0));
    EXPECT_EQ(0u, standin::Live().criticalSections);
}

TEST_F(FaultTest, OnlyCodeInsideAStandinCallIsMarked) {
    EXPECT_FALSE(standin::InsidePlatformCall());
}

}  // namespace
