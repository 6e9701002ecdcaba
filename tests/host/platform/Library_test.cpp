// Loading module libraries: every way a file can fail to be a module ends in
// a HostError that names the file (and the export), never in a crash.
#include "host/platform/HostError.h"
#include "host/platform/Library.h"
#include "host/core/ModuleLibrary.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

using namespace wqhost;

namespace {

std::string errorOf(const std::string &path) {
    try {
        ModuleLibrary library(path);
    } catch (const HostError &e) {
        return e.what();
    }
    return std::string();
}

TEST(ModuleLibraryTest, MissingFileNamesTheFile) {
    std::string error = errorOf("/nonexistent/dir/libnothing.so");
    EXPECT_NE(error.find("cannot load library '/nonexistent/dir/libnothing.so'"), std::string::npos)
        << error;
}

TEST(ModuleLibraryTest, FileThatIsNotALibraryNamesTheFile) {
    // The test's own source is a file, but no library.
    std::string path = std::string(WQ_TEST_SOURCE_DIR) + "/host/platform/Library_test.cpp";
    std::string error = errorOf(path);
    EXPECT_NE(error.find("cannot load library '" + path + "'"), std::string::npos) << error;
}

TEST(ModuleLibraryTest, LibraryWithoutTheFactoryNamesTheMissingExport) {
    std::string error = errorOf(WQ_HALF_MODULE_PATH);
    EXPECT_NE(error.find("does not export 'makeModule'"), std::string::npos) << error;
    EXPECT_NE(error.find(WQ_HALF_MODULE_PATH), std::string::npos) << error;
}

TEST(ModuleLibraryTest, LibraryFindsPresentAndAbsentSymbols) {
    Library library(WQ_HALF_MODULE_PATH);
    EXPECT_NE(library.findSymbol("getModuleProperties"), nullptr);
    EXPECT_EQ(library.findSymbol("makeModule"), nullptr);
    Library moved(std::move(library));
    EXPECT_TRUE(moved.isLoaded());
    EXPECT_FALSE(library.isLoaded()); // NOLINT(bugprone-use-after-move): moved-from state
    EXPECT_THROW(library.symbol("getModuleProperties"), HostError);
}

TEST(ModuleLibraryTest, DescribeCopiesTheTextsAndLogsTheCall) {
    ModuleLibrary library(WQ_ECHO_MODULE_PATH);
    CallLog log;
    ModuleDescription d = library.describe(0, &log);
    EXPECT_TRUE(d.ok);
    EXPECT_EQ(d.name, "Echo");
    EXPECT_EQ(d.id, "echo-test");
    EXPECT_EQ(d.sdkVersion, WQ_SDK_VERSION);
    ModuleDescription refused = library.describe(1, &log);
    EXPECT_FALSE(refused.ok);
    EXPECT_EQ(refused.name, "");
    EXPECT_EQ(refused.sdkVersion, WQ_SDK_VERSION);
    ASSERT_EQ(log.calls().size(), 2u);
    EXPECT_EQ(log.calls()[1].kind, CallKind::GetModuleProperties);
    EXPECT_EQ(log.calls()[1].index, 1);
    EXPECT_EQ(log.calls()[1].result, 0);
}

} // namespace
