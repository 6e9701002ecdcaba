#include "host/validate/FrameNames.h"

#include "host/text/NumberText.h"

#include <map>
#include <memory>

#if defined(WQ_HAVE_LIBDW)
#  include <cxxabi.h>
#  include <elfutils/libdwfl.h>

#  include <cstdlib>
#endif

namespace wqhost {

namespace {

std::string baseName(const std::string &path) {
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

#if defined(WQ_HAVE_LIBDW)

std::string demangled(const char *name) {
    int status = 0;
    char *text = abi::__cxa_demangle(name, nullptr, nullptr, &status);
    std::string out = status == 0 && text ? std::string(text) : std::string(name);
    std::free(text);
    return out;
}

// One module file, reported to libdw as it lies on disk, with its debug
// information from the file or the system's debug folders.
class ModuleReader {
public:
    explicit ModuleReader(const std::string &path) {
        static const Dwfl_Callbacks callbacks = {dwfl_build_id_find_elf,
                                                 dwfl_standard_find_debuginfo,
                                                 dwfl_offline_section_address, nullptr};
        m_dwfl = dwfl_begin(&callbacks);
        if (!m_dwfl)
            return;
        dwfl_report_begin(m_dwfl);
        m_module = dwfl_report_offline(m_dwfl, path.c_str(), path.c_str(), -1);
        dwfl_report_end(m_dwfl, nullptr, nullptr);
        if (m_module)
            dwfl_module_info(m_module, nullptr, &m_start, nullptr, nullptr, nullptr, nullptr,
                             nullptr);
    }
    ~ModuleReader() {
        if (m_dwfl)
            dwfl_end(m_dwfl);
    }
    ModuleReader(const ModuleReader &) = delete;
    ModuleReader &operator=(const ModuleReader &) = delete;

    void name(FrameName &frame) const {
        if (!m_module)
            return;
        const Dwarf_Addr address = m_start + frame.offset;
        if (const char *symbol = dwfl_module_addrname(m_module, address))
            frame.function = demangled(symbol);
        if (Dwfl_Line *line = dwfl_module_getsrc(m_module, address)) {
            int number = 0;
            if (const char *file =
                    dwfl_lineinfo(line, nullptr, &number, nullptr, nullptr, nullptr)) {
                frame.file = file;
                frame.line = number;
            }
        }
    }

private:
    Dwfl *m_dwfl = nullptr;
    Dwfl_Module *m_module = nullptr;
    Dwarf_Addr m_start = 0;
};

#endif

} // namespace

std::string FrameName::text() const {
    std::string out = module;
    if (!function.empty())
        out += ": " + function;
    else
        out += " + 0x" + hexDigits(offset);
    if (!file.empty())
        out += " (" + baseName(file) + ":" + std::to_string(line) + ")";
    return out;
}

FrameName nameFrame(const std::string &path, uint64_t offset) {
    FrameName frame;
    frame.module = baseName(path);
    frame.offset = offset;
#if defined(WQ_HAVE_LIBDW)
    static std::map<std::string, std::unique_ptr<ModuleReader>> readers;
    std::unique_ptr<ModuleReader> &reader = readers[path];
    if (!reader)
        reader = std::make_unique<ModuleReader>(path);
    reader->name(frame);
#endif
    return frame;
}

bool frameNamesHaveLines() noexcept {
#if defined(WQ_HAVE_LIBDW)
    return true;
#else
    return false;
#endif
}

} // namespace wqhost
