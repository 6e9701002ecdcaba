#include "host/project/ModuleProject.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

using namespace wqhost;

namespace {

struct NameCase {
    const char *name;
    bool valid;
};

class ModuleNameTest : public ::testing::TestWithParam<NameCase> {};

// The name becomes C++ class names, file names and a CMake target.
TEST_P(ModuleNameTest, OnlyNamesThatMakeIdentifiersAreTaken) {
    std::string why;
    EXPECT_EQ(isModuleName(GetParam().name, why), GetParam().valid) << why;
    EXPECT_EQ(why.empty(), GetParam().valid);
}

INSTANTIATE_TEST_SUITE_P(
    Names, ModuleNameTest,
    ::testing::Values(
        NameCase{"Gain", true}, NameCase{"gain_2", true}, NameCase{"X", true}, NameCase{"", false},
        NameCase{"2gain", false}, NameCase{"_gain", false}, NameCase{"my-gain", false},
        NameCase{"my gain", false}, NameCase{"../gain", false}, NameCase{"caf\xc3\xa9", false},
        NameCase{"--audio", false},
        NameCase{"A234567890123456789012345678901234567890123456789012345678901234", true},
        NameCase{"A2345678901234567890123456789012345678901234567890123456789012345", false}));

struct KindCase {
    const char *label;
    bool audio, gui;
    std::vector<std::string> files;
    const char *entry; // the entry points line
};

class ModuleProjectTest : public ::testing::TestWithParam<KindCase> {};

TEST_P(ModuleProjectTest, WritesTheFilesOfItsSidesAndBuildsEverySource) {
    const KindCase &k = GetParam();
    const std::vector<ProjectFile> files = moduleProjectFiles({"Tone", k.audio, k.gui});
    std::vector<std::string> paths;
    for (const ProjectFile &f : files)
        paths.push_back(f.path);
    EXPECT_EQ(paths, k.files);

    const std::string &cmake = files.front().text;
    ASSERT_EQ(files.front().path, "CMakeLists.txt");
    EXPECT_NE(cmake.find("find_package(wq_sdk2 CONFIG REQUIRED)"), std::string::npos);
    EXPECT_NE(cmake.find("wq_add_module(tone STRICT SOURCES"), std::string::npos);
    EXPECT_NE(cmake.find("${CMAKE_CURRENT_SOURCE_DIR}/tone.wqs"), std::string::npos);
    for (const std::string &p : paths) {
        const bool source = p.size() > 4 && p.compare(p.size() - 4, 4, ".cpp") == 0;
        const bool listed = cmake.find("  " + p + "\n") != std::string::npos ||
                            cmake.find("  " + p + ")") != std::string::npos;
        EXPECT_EQ(listed, source) << p;
    }
    for (const ProjectFile &f : files) {
        EXPECT_EQ(f.text.find('@'), std::string::npos) << f.path << ": a placeholder is left";
        EXPECT_EQ(f.text.back(), '\n') << f.path;
    }
    const auto entry = std::find_if(files.begin(), files.end(), [](const ProjectFile &f) {
        return f.path == "entry_points.cpp";
    });
    ASSERT_NE(entry, files.end());
    EXPECT_NE(entry->text.find(k.entry), std::string::npos) << entry->text;
    const auto script = std::find_if(files.begin(), files.end(),
                                     [](const ProjectFile &f) { return f.path == "tone.wqs"; });
    ASSERT_NE(script, files.end());
    EXPECT_NE(script->text.find("\nexpect "), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, ModuleProjectTest,
    ::testing::Values(KindCase{"both",
                               true,
                               true,
                               {"CMakeLists.txt", "README.md", "entry_points.cpp", "TonePins.h",
                                "Tone.h", "Tone.cpp", "ToneGui.h", "ToneGui.cpp", "tone.wqs"},
                               "WQ_MODULE_ENTRY_POINTS(kModule, Tone, ToneGui);"},
                      KindCase{"audio",
                               true,
                               false,
                               {"CMakeLists.txt", "README.md", "entry_points.cpp", "Tone.h",
                                "Tone.cpp", "tone.wqs"},
                               "WQ_MODULE_ENTRY_POINTS(kModule, Tone, void);"},
                      KindCase{"gui",
                               false,
                               true,
                               {"CMakeLists.txt", "README.md", "entry_points.cpp", "ToneGui.h",
                                "tone.wqs"},
                               "WQ_MODULE_ENTRY_POINTS(kModule, void, ToneGui);"}),
    [](const ::testing::TestParamInfo<KindCase> &info) { return std::string(info.param.label); });

TEST(ModuleProjectTest, RefusesABadNameAndAModuleWithoutSides) {
    EXPECT_THROW(moduleProjectFiles({"my-gain", true, true}), std::invalid_argument);
    EXPECT_THROW(moduleProjectFiles({"Gain", false, false}), std::invalid_argument);
}

} // namespace
