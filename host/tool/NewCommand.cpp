// wqhost new: writes the files of a new module project (see ModuleProject.h)
// into a folder of its own, never over a file that is there.
#include "host/project/ModuleProject.h"
#include "host/tool/Commands.h"

#include <CLI/CLI.hpp>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <system_error>

namespace wqtool {

namespace {

namespace fs = std::filesystem;

struct NewArgs {
    std::string name;
    std::string folder;
    bool audio = false;
    bool gui = false;
};

int runNew(const NewArgs &args) {
    std::string why;
    if (!wqhost::isModuleName(args.name, why))
        throw ToolError("'" + args.name + "': " + why);
    wqhost::ModuleProjectOptions options;
    options.name = args.name;
    // Neither side named: both.
    options.audio = args.audio || !args.gui;
    options.gui = args.gui || !args.audio;
    const fs::path folder = fs::u8path(args.folder.empty() ? args.name : args.folder);
    const std::vector<wqhost::ProjectFile> files = wqhost::moduleProjectFiles(options);

    // Nothing is written when any file would be replaced.
    std::error_code error;
    for (const wqhost::ProjectFile &file : files)
        if (fs::exists(folder / file.path, error))
            throw ToolError("'" + (folder / file.path).u8string() +
                            "' is there already: give a folder without a module project");
    fs::create_directories(folder, error);
    if (error)
        throw ToolError("cannot make the folder '" + folder.u8string() + "': " + error.message());
    for (const wqhost::ProjectFile &file : files) {
        const fs::path path = folder / file.path;
        std::ofstream out(path, std::ios::binary);
        out << file.text;
        out.close();
        if (!out)
            throw ToolError("cannot write '" + path.u8string() + "'");
        std::cout << "wrote " << path.u8string() << "\n";
    }
    const std::string side = options.audio && options.gui ? "both sides"
                             : options.audio              ? "an audio side"
                                                          : "a GUI side";
    std::cout << "\nThe module \"" << args.name << "\" (" << side << "). Build and test it with\n"
              << "  cmake -S " << folder.u8string() << " -B " << (folder / "build").u8string()
              << " -DCMAKE_PREFIX_PATH=<wq_sdk2 prefix>\n"
              << "  cmake --build " << (folder / "build").u8string() << "\n"
              << "  ctest --test-dir " << (folder / "build").u8string() << "\n";
    return 0;
}

} // namespace

Command addNewCommand(CLI::App &tool, const std::string &) {
    auto args = std::make_shared<NewArgs>();
    CLI::App *cmd = tool.add_subcommand(
        "new", "Write a new module project: CMake on the installed wq_sdk2, the sources of "
               "its sides, a session script that tests it, a README");
    cmd->add_option("NAME", args->name, "The module's name (letters, digits, '_')")->required();
    cmd->add_option("DIR", args->folder, "The project's folder (default: NAME)");
    cmd->add_flag("--audio", args->audio, "An audio side (with neither flag: both sides)");
    cmd->add_flag("--gui", args->gui, "A GUI side (with neither flag: both sides)");
    return {cmd, [args] { return runNew(*args); }};
}

} // namespace wqtool
