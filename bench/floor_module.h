/*
 * floor_module.h - the benchmarks' floor: a GUI object that makes exactly the
 * host calls the list selector makes for a selection, a new list and a number
 * on pin 3, with the same texts, and does nothing else. It walks no list and
 * formats no number: the benchmark hands it every answer beforehand through
 * the library's third export, floorSetAnswers.
 *
 * Measured time of the list selector divided by the floor's time is what the
 * selector's own code costs on top of the host calls it cannot avoid.
 */
#ifndef WQ_BENCH_FLOOR_MODULE_H
#define WQ_BENCH_FLOOR_MODULE_H

#include "wq_sdk2/wq_interface.h"

#ifdef __cplusplus
extern "C" {
#endif

/* What the list selector would work out for one list text. The texts belong
 * to the benchmark and stay valid while the floor objects use them. */
typedef struct FloorAnswers {
    const char *listText;           /* pin 1's choices as the selector hands them on */
    int32_t valueTextNumber;        /* pin 3's text read as a number */
    int32_t itemCount;              /* items the selector finds: names[0 .. itemCount-1] */
    const char *const *names;       /* each item's name */
    int32_t numberCount;            /* numberTexts[0 .. numberCount-1] */
    const char *const *numberTexts; /* the "%i" text of each number */
} FloorAnswers;

/* Sets the answers every floor object of the library uses from now on. */
typedef void(WQ_ABI *FloorSetAnswersProc)(const FloorAnswers *answers);

#define FLOOR_SET_ANSWERS_NAME "floorSetAnswers"

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* WQ_BENCH_FLOOR_MODULE_H */
