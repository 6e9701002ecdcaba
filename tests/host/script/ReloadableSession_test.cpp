// The prompt's session loaded afresh after a rebuild: the settings the user
// made come back on the new library, and a library that cannot replace the
// running one leaves it as it was.
#include "host/script/ReloadableSession.h"
#include "host/script/ScriptParser.h"
#include "tests/support/ReplaceFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

using namespace wqhost;

namespace {

struct Prompt {
    std::string library;
    std::ostringstream out;
    std::ostringstream err;
    std::unique_ptr<ReloadableSession> session;

    explicit Prompt(const std::string &name)
        : library(std::string(WQ_TEST_OUTPUT_DIR) + "/" + name + ".so") {
        wqtest::replaceFile(WQ_QUENDOR_LIBRARY, library);
        ReloadableSession::Setup setup;
        setup.libraryPath = library;
        setup.optionsFor = [](const std::shared_ptr<const ModuleLibrary> &) {
            Session::Options options;
            options.playAudio = true;
            return options;
        };
        setup.sourceName = "<prompt>";
        setup.runner.showCommands = false;
        session = std::make_unique<ReloadableSession>(ReloadableSession::loadLibrary(library),
                                                      setup, out, err);
    }
    void run(const std::string &lines) {
        for (const ScriptCommand &c : parseScript(lines))
            session->execute(c);
    }
    std::string pin(int32_t index) {
        for (const PinValue &p : session->session().readPins())
            if (p.index == index)
                return p.text;
        return "(no pin)";
    }
};

TEST(ReloadableSessionTest, ALibraryLoadedAfreshGetsTheSettingsBack) {
    Prompt prompt("reload_prompt");
    prompt.run("set 0 text \"red,green,blue\"\nset 1 int 2\necho off\nrate 44100\n");
    const std::string oldPath = prompt.session->session().library().path();
    wqtest::replaceFile(WQ_QUENDOR_LIBRARY, prompt.library);
    EXPECT_EQ(prompt.session->reload(), "reloaded reload_prompt.so, 4 settings replayed");
    // A copy was loaded, so the new code runs beside the old one's place.
    EXPECT_NE(prompt.session->session().library().path(), oldPath);
    EXPECT_EQ(prompt.pin(2), "blue");
    EXPECT_EQ(prompt.session->session().sampleRate(), 44100.0f);
    EXPECT_FALSE(prompt.session->session().gui().echo());
    // The replay showed nothing; what follows shows as before.
    const size_t shown = prompt.out.str().size();
    prompt.run("set 1 int 0\n");
    EXPECT_GT(prompt.out.str().size(), shown);
    EXPECT_EQ(prompt.pin(2), "red");
}

TEST(ReloadableSessionTest, WhatARecreateOrCloseLeftIsWhatComesBack) {
    Prompt prompt("reload_prompt_lifecycle");
    prompt.run("set 0 text \"a,b\"\nrecreate\nset 0 text \"x,y,z\"\nclose\n");
    EXPECT_EQ(prompt.session->settings(),
              (std::vector<std::string>{"set 0 text \"x,y,z\"", "close"}));
    EXPECT_EQ(prompt.session->reload(), "reloaded reload_prompt_lifecycle.so, 2 settings replayed");
    EXPECT_FALSE(prompt.session->session().isRunning());
    prompt.run("open\n");
    EXPECT_EQ(prompt.pin(0), "");
}

TEST(ReloadableSessionTest, ALibraryThatDoesNotLoadLeavesTheRunningOne) {
    Prompt prompt("reload_prompt_broken");
    prompt.run("set 0 text \"a,b\"\nset 1 int 1\n");
    const std::string oldPath = prompt.session->session().library().path();
    wqtest::replaceFile(std::string(WQ_TEST_SOURCE_DIR) + "/CMakeLists.txt", prompt.library);
    const std::string said = prompt.session->reload();
    EXPECT_EQ(said.rfind("reload failed: ", 0), 0u) << said;
    EXPECT_NE(said.find("(the module loaded before is kept)"), std::string::npos) << said;
    EXPECT_EQ(prompt.session->session().library().path(), oldPath);
    EXPECT_EQ(prompt.pin(2), "b");
    prompt.run("set 1 int 0\n");
    EXPECT_EQ(prompt.pin(2), "a");
}

} // namespace
