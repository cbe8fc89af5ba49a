// LoadLibraryW maps a bare "Name.dll" to the program directory's "libName.so".

#include <gtest/gtest.h>

#include <windows.h>

#include "StandinFixture.h"

namespace {

using testing_support::StandinTest;

class LoaderTest : public StandinTest {};

TEST_F(LoaderTest, ABareDllNameFindsTheLibraryNextToTheProgram) {
    HMODULE hModule = LoadLibraryW(L"StandinLoaderProbe.dll");
    ASSERT_NE(nullptr, hModule);
    typedef int (*ProbeFn)();
    auto pfnProbe = reinterpret_cast<ProbeFn>(
        reinterpret_cast<void*>(GetProcAddress(hModule, "StandinLoaderProbe")));
    ASSERT_NE(nullptr, pfnProbe);
    EXPECT_EQ(42, pfnProbe());
    EXPECT_EQ(nullptr, GetProcAddress(hModule, "NoSuchExport"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_PROC_NOT_FOUND), GetLastError());
    EXPECT_TRUE(FreeLibrary(hModule));
}

TEST_F(LoaderTest, AMissingLibraryFailsWithModuleNotFound) {
    EXPECT_EQ(nullptr, LoadLibraryW(L"NoSuchLibrary.dll"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), GetLastError());
}

}  // namespace
