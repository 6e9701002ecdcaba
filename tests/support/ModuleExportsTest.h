// ModuleExportsTest.h - a test suite that drives a built module library
// through its two exports, as a host does, with the library loaded once for
// the whole suite by the platform's loader.
//
//   class MyExports : public wqtest::ModuleExportsTest<MyExports> {
//   public:
//       static constexpr const char *kLibraryPath = "...";
//   };
#pragma once

#include "host/platform/HostError.h"
#include "host/platform/Library.h"
#include "wq_sdk2/wq_interface.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace wqtest {

template <class Suite> class ModuleExportsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        try {
            s_library = std::make_unique<wqhost::Library>(Suite::kLibraryPath);
        } catch (const wqhost::HostError &e) {
            s_loadError = e.what();
        }
    }
    static void TearDownTestSuite() { s_library.reset(); }

    // Every test fails at once, with the loader's reason, when the library
    // did not load or lacks an export.
    void SetUp() override {
        ASSERT_NE(s_library, nullptr) << s_loadError;
        getModuleProperties = reinterpret_cast<WQGetModulePropertiesProc>(
            s_library->findSymbol(WQ_GET_MODULE_PROPERTIES_NAME));
        makeModule = reinterpret_cast<WQMakeModuleProc>(s_library->findSymbol(WQ_MAKE_MODULE_NAME));
        ASSERT_NE(getModuleProperties, nullptr);
        ASSERT_NE(makeModule, nullptr);
    }

    WQGetModulePropertiesProc getModuleProperties = nullptr;
    WQMakeModuleProc makeModule = nullptr;

private:
    static inline std::unique_ptr<wqhost::Library> s_library;
    static inline std::string s_loadError;
};

} // namespace wqtest
