// ModuleProject - the files of a new module project, as `wqhost new` writes
// them: CMake that finds the installed wq_sdk2 package and adds the module
// with wq_add_module (its strict validate test included), the sources of
// the sides asked for, a session script whose expect lines make it a test,
// and a short README. Built as written, the project's `ctest` passes.
//
// The sides:
//   audio only  an audio effect: IN and OUT samples and a LEVEL the host
//               writes, OUT = IN x LEVEL, sample by sample
//   GUI only    a panel without pins (pins are the audio side's), which the
//               host opens and closes
//   both        a module whose audio side declares two text pins and whose
//               GUI side keeps the second one at the length of the first
#pragma once

#include <string>
#include <vector>

namespace wqhost {

struct ModuleProjectOptions {
    std::string name; // the module's and its classes' name: a C++ identifier
    bool audio = true;
    bool gui = true;
};

struct ProjectFile {
    std::string path; // relative to the project's folder
    std::string text;
};

// Whether `name` can name a module: a letter, then letters, digits and '_',
// at most 64 characters. Otherwise `why` says what is wrong.
bool isModuleName(const std::string &name, std::string &why);

// The project's files, in the order they are written. `options.name` must
// pass isModuleName and at least one side must be asked for.
std::vector<ProjectFile> moduleProjectFiles(const ModuleProjectOptions &options);

// The name of the module library the project builds, and of its session
// script: both from the module's name, in lower case.
std::string moduleTargetName(const std::string &name);

} // namespace wqhost
