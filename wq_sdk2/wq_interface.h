/* SPDX-License-Identifier: MIT */
/* Copyright (c) the Quendor authors */
/*
 * wq_interface.h - the plain-C face of a wq module library.
 *
 * Everything a host and a module exchange is declared here: the two exported
 * functions, the records the host reads by layout, the calling form of every
 * entry and callback, and the opcodes and constants of both sides.
 * The header is valid C11 and C++; a host written in C includes it alone.
 *
 * Layout. The host loads the module as a 32-bit little-endian library with
 * 32-bit pointers and the cdecl calling convention; on that target every
 * record has exactly the size and offsets asserted below each struct.
 * A native 64-bit build widens every pointer-sized field, argument and result
 * (the intptr_t and pointer members) to 64 bits and keeps every other field
 * at 32 bits, in the same order with natural alignment; its sizes and offsets
 * are asserted as well.
 *
 * Ownership tags used below:
 *   [host-owned]   the host allocates it and keeps it alive
 *   [module-owned] the library owns it; the host must not free or change it
 *   [call-scoped]  valid only during the call that passes it
 */
#ifndef WQ_INTERFACE_H
#define WQ_INTERFACE_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32) || defined(__CYGWIN__)
#  define WQ_ABI __cdecl
#  define WQ_EXPORT __declspec(dllexport)
#elif defined(__i386__)
#  define WQ_ABI __attribute__((cdecl))
#  define WQ_EXPORT __attribute__((visibility("default")))
#else
#  define WQ_ABI
#  define WQ_EXPORT __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
#  define WQ_STATIC_ASSERT(cond, msg) static_assert(cond, msg)
extern "C" {
#else
#  define WQ_STATIC_ASSERT(cond, msg) _Static_assert(cond, msg)
#endif

#if UINTPTR_MAX == 0xFFFFFFFFu
#  define WQ_LAYOUT_32 1
#elif UINTPTR_MAX == 0xFFFFFFFFFFFFFFFFu
#  define WQ_LAYOUT_64 1
#else
#  error "wq_interface.h: only 32-bit and 64-bit pointers are supported"
#endif

/* The result of every dispatcher entry and host callback: a 32-bit integer or
 * an address, as wide as a pointer. */
typedef intptr_t wq_result_t;

/* ------------------------------------------------------------------------ */
/* Constants                                                                */
/* ------------------------------------------------------------------------ */

enum {
    WQ_SDK_VERSION = 2230, /* written into sdkVersion by getModuleProperties */
    WQ_RECORD_VERSION = 1  /* version word of both host records */
};

#define WQ_AUDIO_MAGIC 0x5751504Cu /* "WQPL", most significant byte first */
#define WQ_GUI_MAGIC 0x5751504Du   /* "WQPM", most significant byte first */

/* Object types of makeModule. */
enum {
    WQ_TYPE_AUDIO = 1, /* audio-side object; the result is a WQAudioHostRecord* */
    WQ_TYPE_GUI = 2    /* GUI-side object; the result is a WQGuiHostRecord* */
};

/* Pin flags (WQPinProperties.flags). */
enum {
    IO_REPEATING = 0x8,          /* repeat this declaration for the remaining host pins */
    IO_PRIVATE = 0x100,          /* allows IO_PATCH_STORE */
    IO_UI_COMMUNICATION = 0x400, /* GUI communication only: no audio-side pin */
    IO_UI_DUAL = 0x8000,         /* a GUI-communication pin that still gets an audio-side pin */
    IO_PATCH_STORE = 0x10000     /* needs IO_PRIVATE, IO_UI_COMMUNICATION or DR_OUT */
};

/* Pin directions (WQPinProperties.direction). */
enum { DR_IN = 0, DR_OUT = 1 };

/* Pin data types (WQPinProperties.datatype). Other values belong to the host. */
enum {
    DT_ENUM = 0,    /* enumeration: a 16-bit integer when the pin has no variable */
    DT_TEXT = 1,    /* 8-bit text */
    DT_BYTE = 4,    /* one byte */
    DT_FSAMPLE = 5, /* address of a host buffer of 32-bit float samples */
    DT_FLOAT = 6,   /* 32-bit float */
    DT_INT = 8      /* 32-bit integer */
};

/* Event types (WQEvent.event_type) that the audio side acts on. */
enum {
    EV_PIN_STATUS = 0,   /* int_value: new status, ptr_value: audio-side pin index */
    EV_TYPE_2 = 2,       /* int_value and low 16 bits of int_value2 passed to the module */
    EV_DELAYED_CALL = 21 /* ptr_value: function word posted by addDelayedCall */
};

/* Audio-side dispatcher opcodes (host to object). Unnamed numbers carry the
 * opcode number in their name; their meaning belongs to the host. */
enum {
    AD_OPEN = 0,                  /* open(); result 0 */
    AD_CLOSE = 1,                 /* close(), then the object frees itself; result 1 */
    AD_SET_SAMPLE_RATE = 2,       /* opt = sample rate; result 0 */
    AD_SET_BLOCK_SIZE = 3,        /* value = block size; result 0 */
    AD_OPCODE_4 = 4,              /* no action; result 0 */
    AD_OPCODE_5 = 5,              /* no action; result 0 */
    AD_GET_PIN_PROPERTIES = 6,    /* index = declaration, ptr = WQPinProperties*; result 1/0 */
    AD_OPCODE_7 = 7,              /* never sent to an audio object (fatal check) */
    AD_OPCODE_8 = 8,              /* onHostOpcode8, and onHostOpcode8Index when index > 0 */
    AD_OPCODE_9 = 9,              /* no action; result 0 */
    AD_OPCODE_10 = 10,            /* never sent to an audio object (fatal check) */
    AD_OPCODE_11 = 11,            /* no action; result 0 */
    AD_OPCODE_12 = 12,            /* onHostOpcode12(value, index, ptr); result 0 */
    AD_GET_PROCESS_REFERENCE = 13 /* result: address of the shared WQProcessReference */
};

/* Audio-side host-callback opcodes (object to host). */
enum {
    AH_OPCODE_0 = 0,         /* index = pin, value/ptr = caller's values; result to caller */
    AH_OPCODE_1 = 1,         /* index = pin; non-zero result means true */
    AH_SAMPLE_CLOCK = 3,     /* result: current sample clock (unsigned 32-bit) */
    AH_PIN_STATUS = 4,       /* index = pin, value = status, ptr = sample clock as a number */
    AH_PIN_BUFFER = 7,       /* index = pin; result: address of the pin's float buffer */
    AH_PIN_BUFFER_CLOCK = 8, /* index = pin; result: clock of the buffer's first sample */
    AH_OPCODE_10 = 10,       /* sent by the list module's process function; result ignored */
    AH_PIN_COUNT = 14,       /* result: signed number of audio-side pins for this object */
    AH_ADD_EVENT = 19,       /* ptr = WQEvent* [call-scoped]; result to caller */
    AH_PROCESS_CHANGED = 22  /* the record's process word changed; result ignored */
};

/* GUI-side dispatcher opcodes (host to object). */
enum {
    GD_OPEN = 0,        /* open(index == 1); result 0 */
    GD_CLOSE = 1,       /* close(), then the object frees itself; result 1 */
    GD_OPCODE_2 = 2,    /* onHostOpcode2(index, ptr) */
    GD_OPCODE_3 = 3,    /* onHostOpcode3(ptr, opt, {index, value}) */
    GD_OPCODE_4 = 4,    /* onHostOpcode4, as 3 */
    GD_OPCODE_5 = 5,    /* onHostOpcode5, as 3 */
    GD_OPCODE_6 = 6,    /* onHostOpcode6(value, index, ptr) */
    GD_PIN_CHANGED = 7, /* onPinChanged(pin index); result 0 */
    GD_OPCODE_8 = 8,    /* onHostOpcode8(ptr) */
    GD_OPCODE_9 = 9,    /* onHostOpcode9(ptr) */
    GD_OPCODE_10 = 10,  /* onHostOpcode10(); result 1 if it returned true */
    GD_OPCODE_11 = 11,  /* onHostOpcode11(index) */
    GD_OPCODE_12 = 12   /* onHostOpcode12(index) */
};

/* GUI-side host-callback opcodes (object to host). */
enum {
    GH_PIN_SET_TEXT = 6,       /* index = pin, ptr = NUL-terminated 8-bit text [call-scoped] */
    GH_PIN_GET_TEXT = 7,       /* index = pin; result: address of the pin's text [host-owned] */
    GH_OPCODE_8 = 8,           /* caller's index, value, ptr; result to caller */
    GH_PIN_GET_VALUE = 14,     /* index = pin, ptr = 4-byte slot the host fills */
    GH_PIN_SET_VALUE = 15,     /* index = pin, value = integer or 0, opt = float or 0 */
    GH_PIN_SET_LIST_TEXT = 16, /* index = pin, ptr = 8-bit list text [call-scoped] */
    GH_PIN_GET_TEXT_W = 17,    /* ptr null: result = length in 16-bit units incl. the zero;
                                  ptr = buffer of value units: the host fills it */
    GH_OPCODE_18 = 18,         /* ptr = caller's; result to caller */
    GH_OPCODE_19 = 19,         /* ptr = caller's; result to caller */
    GH_OPCODE_20 = 20,         /* ptr = caller's; result compared with 0 */
    GH_OPCODE_22 = 22          /* no arguments; sent on GUI open and destruction */
};

/* ------------------------------------------------------------------------ */
/* Calling forms                                                            */
/* ------------------------------------------------------------------------ */

struct WQAudioHostRecord;
struct WQGuiHostRecord;
struct WQEvent;

/* The host's callback, one per object, given to makeModule. The object always
 * passes the address of its own host record first (a WQAudioHostRecord* on
 * the audio side, a WQGuiHostRecord* on the GUI side). Arguments an opcode
 * does not use are 0. */
typedef wq_result_t(WQ_ABI *WQHostCallback)(void *record, int32_t opcode, int32_t index,
                                            int32_t value, void *ptr, float opt);

/* Audio dispatcher entry: the host passes the record's own address first. */
typedef wq_result_t(WQ_ABI *WQAudioDispatcherProc)(struct WQAudioHostRecord *record, int32_t opcode,
                                                   int32_t index, int32_t value, void *ptr,
                                                   float opt);

/* Process function: the host passes the record's object word first. Process
 * functions of this interface read no further argument. */
typedef void(WQ_ABI *WQProcessProc)(void *object);

/* Event entry: the host passes the record's object word first, then an event
 * whose time_stamp equals the host's current sample clock. */
typedef void(WQ_ABI *WQEventProc)(void *object, struct WQEvent *event);

/* GUI dispatcher entry: the host passes the record's own address first. */
typedef wq_result_t(WQ_ABI *WQGuiDispatcherProc)(struct WQGuiHostRecord *record, int32_t opcode,
                                                 int32_t index, int32_t value, void *ptr,
                                                 float opt);

/* ------------------------------------------------------------------------ */
/* Records                                                                  */
/* ------------------------------------------------------------------------ */

/* Module description, filled by getModuleProperties. [host-owned record] */
typedef struct WQModuleDescription {
    const char *name;   /* module name [module-owned, lives as long as the library] */
    const char *id;     /* identifier [module-owned] */
    const char *about;  /* description [module-owned] */
    uint32_t flags;     /* bit set, meaning belongs to the host */
    uint32_t guiFlags;  /* bit set, meaning belongs to the host */
    int32_t sdkVersion; /* interface version, written on every call */
} WQModuleDescription;

/* The audio host record, embedded in every audio-side object. The host holds
 * its address and calls through dispatcher, process and eventHandler. */
typedef struct WQAudioHostRecord {
    uint32_t magic;                   /* WQ_AUDIO_MAGIC */
    int32_t version;                  /* WQ_RECORD_VERSION */
    intptr_t hostValue;               /* makeModule's hostValue, never read by the module */
    void *object;                     /* the object holding this record; first argument of
                                        process and eventHandler; the host never changes it */
    int32_t reserved0;                /* 0 */
    WQAudioDispatcherProc dispatcher; /* dispatcher entry */
    WQProcessProc process;    /* current process function; may change (AH_PROCESS_CHANGED) */
    WQEventProc eventHandler; /* event entry */
    int32_t reserved1[4];     /* 0 */
} WQAudioHostRecord;

/* The GUI host record, embedded in every GUI-side object. */
typedef struct WQGuiHostRecord {
    uint32_t magic;                 /* WQ_GUI_MAGIC */
    int32_t version;                /* WQ_RECORD_VERSION */
    WQGuiDispatcherProc dispatcher; /* dispatcher entry */
    intptr_t hostValue;             /* makeModule's hostValue, never read by the module */
    void *object;                   /* the object holding this record; the host never changes it */
    int32_t reserved[5];            /* 0 */
} WQGuiHostRecord;

/* A pin declaration. For AD_GET_PIN_PROPERTIES the host owns the record and
 * the module writes only the fields its declaration needs. */
typedef struct WQPinProperties {
    void *variable;        /* the module's variable for this pin, or null */
    int32_t direction;     /* DR_IN or DR_OUT */
    int32_t datatype;      /* DT_* */
    const char *name;      /* pin name [module-owned] */
    int32_t reserved5;     /* left as it was */
    const char *list_text; /* DT_ENUM choices, e.g. "a=1,b=2" [module-owned]; else left alone */
    uint32_t flags;        /* IO_* bit set */
    int32_t reserved8;     /* left as it was */
} WQPinProperties;

/* A timed event. Events the module posts (AH_ADD_EVENT) are [call-scoped];
 * the host copies what it keeps. */
typedef struct WQEvent {
    uint32_t time_stamp;  /* sample clock at which the event takes effect */
    int32_t event_type;   /* EV_* or a host type */
    int32_t int_value;    /* first value */
    int32_t int_value2;   /* second value */
    intptr_t ptr_value;   /* third value: a pointer or an integer */
    struct WQEvent *next; /* 0 in every posted event; never read by the module */
} WQEvent;

/* A reference to a process function: the function word is a plain function
 * the host can call with the object; the adjustment is always 0. */
typedef struct WQProcessReference {
    WQProcessProc function;
    intptr_t adjustment;
} WQProcessReference;

/* The record returned by AD_GET_PROCESS_REFERENCE: one static record shared
 * by every audio object of the library, overwritten by each request.
 * [module-owned; read it before the next AD_GET_PROCESS_REFERENCE] */
typedef struct WQProcessReferenceRecord {
    int32_t count;                       /* 1 */
    int32_t referenceSize;               /* 8 */
    const WQProcessReference *reference; /* the asking object's current process reference */
    int32_t tag;                         /* 1002 */
} WQProcessReferenceRecord;

/* The pair passed to the GUI operations of opcodes 3 to 5. [call-scoped] */
typedef struct WQPair {
    int32_t first;  /* the request's index */
    int32_t second; /* the request's value */
} WQPair;

/* ------------------------------------------------------------------------ */
/* Layout                                                                   */
/* ------------------------------------------------------------------------ */

#define WQ_LAYOUT(type, field, off32, off64)                                                       \
  WQ_STATIC_ASSERT(offsetof(type, field) == (WQ_LAYOUT_OFFSET(off32, off64)),                      \
                   #type "." #field " offset")
#define WQ_SIZE(type, size32, size64)                                                              \
  WQ_STATIC_ASSERT(sizeof(type) == (WQ_LAYOUT_OFFSET(size32, size64)), #type " size")
#ifdef WQ_LAYOUT_32
#  define WQ_LAYOUT_OFFSET(off32, off64) (off32)
#else
#  define WQ_LAYOUT_OFFSET(off32, off64) (off64)
#endif

/*                          32-bit 64-bit */
WQ_SIZE(WQModuleDescription, 24, 40);
WQ_LAYOUT(WQModuleDescription, name, 0, 0);
WQ_LAYOUT(WQModuleDescription, id, 4, 8);
WQ_LAYOUT(WQModuleDescription, about, 8, 16);
WQ_LAYOUT(WQModuleDescription, flags, 12, 24);
WQ_LAYOUT(WQModuleDescription, guiFlags, 16, 28);
WQ_LAYOUT(WQModuleDescription, sdkVersion, 20, 32);

WQ_SIZE(WQAudioHostRecord, 48, 72);
WQ_LAYOUT(WQAudioHostRecord, magic, 0, 0);
WQ_LAYOUT(WQAudioHostRecord, version, 4, 4);
WQ_LAYOUT(WQAudioHostRecord, hostValue, 8, 8);
WQ_LAYOUT(WQAudioHostRecord, object, 12, 16);
WQ_LAYOUT(WQAudioHostRecord, reserved0, 16, 24);
WQ_LAYOUT(WQAudioHostRecord, dispatcher, 20, 32);
WQ_LAYOUT(WQAudioHostRecord, process, 24, 40);
WQ_LAYOUT(WQAudioHostRecord, eventHandler, 28, 48);
WQ_LAYOUT(WQAudioHostRecord, reserved1, 32, 56);

WQ_SIZE(WQGuiHostRecord, 40, 56);
WQ_LAYOUT(WQGuiHostRecord, magic, 0, 0);
WQ_LAYOUT(WQGuiHostRecord, version, 4, 4);
WQ_LAYOUT(WQGuiHostRecord, dispatcher, 8, 8);
WQ_LAYOUT(WQGuiHostRecord, hostValue, 12, 16);
WQ_LAYOUT(WQGuiHostRecord, object, 16, 24);
WQ_LAYOUT(WQGuiHostRecord, reserved, 20, 32);

WQ_SIZE(WQPinProperties, 32, 48);
WQ_LAYOUT(WQPinProperties, variable, 0, 0);
WQ_LAYOUT(WQPinProperties, direction, 4, 8);
WQ_LAYOUT(WQPinProperties, datatype, 8, 12);
WQ_LAYOUT(WQPinProperties, name, 12, 16);
WQ_LAYOUT(WQPinProperties, reserved5, 16, 24);
WQ_LAYOUT(WQPinProperties, list_text, 20, 32);
WQ_LAYOUT(WQPinProperties, flags, 24, 40);
WQ_LAYOUT(WQPinProperties, reserved8, 28, 44);

WQ_SIZE(WQEvent, 24, 32);
WQ_LAYOUT(WQEvent, time_stamp, 0, 0);
WQ_LAYOUT(WQEvent, event_type, 4, 4);
WQ_LAYOUT(WQEvent, int_value, 8, 8);
WQ_LAYOUT(WQEvent, int_value2, 12, 12);
WQ_LAYOUT(WQEvent, ptr_value, 16, 16);
WQ_LAYOUT(WQEvent, next, 20, 24);

WQ_SIZE(WQProcessReference, 8, 16);
WQ_LAYOUT(WQProcessReference, function, 0, 0);
WQ_LAYOUT(WQProcessReference, adjustment, 4, 8);

WQ_SIZE(WQProcessReferenceRecord, 16, 24);
WQ_LAYOUT(WQProcessReferenceRecord, count, 0, 0);
WQ_LAYOUT(WQProcessReferenceRecord, referenceSize, 4, 4);
WQ_LAYOUT(WQProcessReferenceRecord, reference, 8, 8);
WQ_LAYOUT(WQProcessReferenceRecord, tag, 12, 16);

WQ_SIZE(WQPair, 8, 8);
WQ_LAYOUT(WQPair, first, 0, 0);
WQ_LAYOUT(WQPair, second, 4, 4);

/* ------------------------------------------------------------------------ */
/* The two exported functions                                               */
/* ------------------------------------------------------------------------ */

/* Describes module `index` of the library. Writes WQ_SDK_VERSION into
 * sdkVersion on every call; returns 1 and fills the other fields for index 0,
 * returns 0 and leaves them alone for any other index. */
typedef int32_t(WQ_ABI *WQGetModulePropertiesProc)(int32_t index, WQModuleDescription *record);

/* Creates an object of module `index`: WQ_TYPE_AUDIO or WQ_TYPE_GUI. Returns
 * the address of the object's embedded host record, or null for another index
 * or type (or when no memory could be had). The object lives until the host
 * sends AD_CLOSE / GD_CLOSE through that record. */
typedef void *(WQ_ABI *WQMakeModuleProc)(int32_t index, int32_t type, WQHostCallback hostCallback,
                                         intptr_t hostValue);

#define WQ_GET_MODULE_PROPERTIES_NAME "getModuleProperties"
#define WQ_MAKE_MODULE_NAME "makeModule"

/* The two functions as a module library defines and exports them, so that a
 * definition with another signature does not compile. A C++ module defines
 * them with WQ_MODULE_ENTRY_POINTS (wq_sdk2/wq_module_entry.h). A host finds
 * them by name at run time and may leave these declarations out by defining
 * WQ_NO_MODULE_EXPORT_DECLARATIONS before including this header. */
#ifndef WQ_NO_MODULE_EXPORT_DECLARATIONS
WQ_EXPORT int32_t WQ_ABI getModuleProperties(int32_t index, WQModuleDescription *record);
WQ_EXPORT void *WQ_ABI makeModule(int32_t index, int32_t type, WQHostCallback hostCallback,
                                  intptr_t hostValue);
#endif

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* WQ_INTERFACE_H */
