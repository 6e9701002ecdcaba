// SPDX-License-Identifier: MIT
// Copyright (c) the Quendor authors
// wq_module_entry.h - the library's two exported functions, defined for a
// module from its description and its two classes.
//
// A module library states once, at namespace scope of one of its sources,
// what it is and which classes make its objects:
//
//     constexpr char kName[] = "Doubler";
//     constexpr wq::ModuleDescription kDoubler = {kName, kName, kAbout};
//     WQ_MODULE_ENTRY_POINTS(kDoubler, Doubler, DoublerGui)
//
// (the description's flags default to wq::kModuleFlags and wq::kGuiFlags, the
// bits every module of this framework sets; name others only on purpose).
//
// and the macro defines getModuleProperties and makeModule, exported with the
// signatures wq_interface.h declares:
//   - getModuleProperties refuses a null record, writes WQ_SDK_VERSION into
//     sdkVersion on every other call, refused or not, and fills the other
//     fields for index 0 only;
//   - makeModule creates the audio object for WQ_TYPE_AUDIO and the GUI
//     object for WQ_TYPE_GUI of module 0 with new (std::nothrow), and returns
//     the address of the object's host record, never the object's own; null
//     for any other index or type, when no memory could be had, or when a
//     constructor throws (no exception reaches the host).
// A module without one of the sides names `void` for that class: makeModule
// then answers that type with null.
//
// The description must be an object of static storage duration (a namespace-
// scope constant), so its texts outlive every call: the host keeps the
// pointers for as long as the library is loaded.
#pragma once

#include "wq_sdk2/WQGUI_base.h"
#include "wq_sdk2/WQModule_base.h"
#include "wq_sdk2/wq_interface.h"

#include <cstdint>
#include <new>
#include <type_traits>

namespace wq {

// The description flags a module of this framework sets unless it names
// others: bit 9 of `flags` and bit 8 of `guiFlags`, and no other bit. What
// the bits mean belongs to the host; the list selector sets the same.
inline constexpr uint32_t kModuleFlags = 0x200;
inline constexpr uint32_t kGuiFlags = 0x100;

// What getModuleProperties tells the host about module 0. The texts must
// live as long as the library (string literals or namespace-scope arrays).
struct ModuleDescription {
    const char *name;
    const char *id;
    const char *about;
    uint32_t flags = kModuleFlags; // bit set; its meaning belongs to the host
    uint32_t guiFlags = kGuiFlags; // bit set; its meaning belongs to the host
};

// The bodies of the two exported functions. Description names the module's
// description; Audio derives from WQModule_base and Gui from WQGUI_base, each
// constructible from (WQHostCallback, intptr_t); either may be void.
template <const ModuleDescription &Description, class Audio, class Gui> class ModuleEntry {
public:
    static int32_t getModuleProperties(int32_t index, WQModuleDescription *record) noexcept {
        // A host that passes no record gets a refusal rather than a crash.
        if (record == nullptr)
            return 0;
        record->sdkVersion = WQ_SDK_VERSION;
        if (index != 0)
            return 0;
        record->name = Description.name;
        record->id = Description.id;
        record->about = Description.about;
        record->guiFlags = Description.guiFlags;
        record->flags = Description.flags;
        return 1;
    }

    static void *makeModule(int32_t index, int32_t type, WQHostCallback hostCallback,
                            intptr_t hostValue) noexcept {
        if (index != 0)
            return nullptr;
        switch (type) {
        case WQ_TYPE_AUDIO: return create<Audio, WQModule_base>(hostCallback, hostValue);
        case WQ_TYPE_GUI: return create<Gui, WQGUI_base>(hostCallback, hostValue);
        default: return nullptr;
        }
    }

private:
    // One object of T, or nothing when T is void; the address of the record
    // embedded in its Base part.
    template <class T, class Base>
    static void *create(WQHostCallback hostCallback, intptr_t hostValue) noexcept {
        if constexpr (std::is_void_v<T>) {
            return nullptr;
        } else {
            static_assert(
                std::is_base_of_v<Base, T>,
                "the audio class derives from WQModule_base, the GUI class from WQGUI_base");
            // A constructor that throws has released the storage already; the
            // host sees only the null result.
            try {
                T *object = new (std::nothrow) T(hostCallback, hostValue);
                if (object == nullptr)
                    return nullptr;
                return static_cast<Base *>(object)->hostRecord();
            } catch (...) {
                return nullptr;
            }
        }
    }
};

} // namespace wq

// Defines the library's two exported functions for the module described by
// `description` (a namespace-scope wq::ModuleDescription) with the audio
// class `AudioClass` and the GUI class `GuiClass` (either may be void). Use
// it once per library, at global namespace scope.
#define WQ_MODULE_ENTRY_POINTS(description, AudioClass, GuiClass)                                  \
  extern "C" WQ_EXPORT int32_t WQ_ABI getModuleProperties(int32_t index,                           \
                                                          WQModuleDescription *record) {           \
    return ::wq::ModuleEntry<description, AudioClass, GuiClass>::getModuleProperties(index,        \
                                                                                     record);      \
  }                                                                                                \
  extern "C" WQ_EXPORT void *WQ_ABI makeModule(int32_t index, int32_t type,                        \
                                               WQHostCallback hostCallback, intptr_t hostValue) {  \
    return ::wq::ModuleEntry<description, AudioClass, GuiClass>::makeModule(                       \
        index, type, hostCallback, hostValue);                                                     \
  }                                                                                                \
  static_assert(std::is_same_v<decltype(&getModuleProperties), WQGetModulePropertiesProc> &&       \
                    std::is_same_v<decltype(&makeModule), WQMakeModuleProc>,                       \
                "the exports have the signatures of wq_interface.h")
