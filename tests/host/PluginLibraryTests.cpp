// Loading plug-in libraries by their Windows names, and reading what they export.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "ElfExports.h"
#include "PluginLibrary.h"
#include "StandinFixture.h"
#include "ZvResult.h"

namespace {

class PluginLibraryTest : public testing_support::StandinTest {};

TEST_F(PluginLibraryTest, ALibraryThatCannotBeLoadedOrHasNoListIsRefused) {
    host::PluginLibrary library;
    EXPECT_FALSE(library.Load(L"NoSuchLibrary.dll"));
    EXPECT_FALSE(library.IsLoaded());
    EXPECT_FALSE(library.Error().empty());
    EXPECT_EQ(nullptr, library.Head());

    // A library that loads but exports no registration list.
    EXPECT_FALSE(library.Load(L"StandinLoaderProbe.dll"));
    EXPECT_FALSE(library.IsLoaded());
    EXPECT_NE(std::string::npos, library.Error().find("g_pZVPluginList"));
    EXPECT_EQ(nullptr, library.Find(kZvCompanyId, kZvSinkPluginId));
}

TEST_F(PluginLibraryTest, ALibraryStaysLoadedUntilUnloaded) {
    host::PluginLibrary library;
    ASSERT_TRUE(library.Load(L"ZvSpatialSink.dll")) << library.Error();
    EXPECT_TRUE(library.IsLoaded());
    EXPECT_NE(nullptr, library.Find(kZvCompanyId, kZvSinkPluginId));
    library.Unload();
    EXPECT_FALSE(library.IsLoaded());
    EXPECT_EQ(nullptr, library.Head());
}

TEST(ElfExportsTest, DefinedExportsAreListedAndImportsAreNot) {
    std::vector<std::string> exports;
    std::string error;
    ASSERT_TRUE(testing_support::ReadElfExports(ZV_STANDIN_LIBRARY_PATH, exports, error)) << error;
    const auto Has = [&](const char* in_pszName) {
        return std::find(exports.begin(), exports.end(), in_pszName) != exports.end();
    };
    EXPECT_TRUE(Has("CreateEventW"));
    EXPECT_TRUE(Has("LoadLibraryW"));
    EXPECT_FALSE(Has("dlopen")) << "an import is not an export";
    EXPECT_FALSE(Has("")) << "the null symbol is skipped";

    EXPECT_FALSE(testing_support::ReadElfExports("/no/such/file.so", exports, error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(testing_support::ReadElfExports(__FILE__, exports, error)) << "not ELF";
}

}  // namespace
