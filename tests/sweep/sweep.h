/* The argument sweep: every export of the driver called with good arguments
 * and then with each bad one in turn (a null, never-issued or closed handle,
 * each pointer null, each buffer size zero, negative or too large), checking
 * the status against what the function documents, the guard bytes around
 * every buffer, and that a refused call wrote nothing. C89. */
#ifndef QMDC_SWEEP_H
#define QMDC_SWEEP_H

#include "export_table.h"

#if defined(__cplusplus)
extern "C" {
#endif

/* Where the calls run. */
typedef struct {
    const char* name;     /* for the report */
    const char* resource; /* what the init functions open */
    const char* options;  /* option string of the init functions */
    int instrument;       /* 1 when the sessions talk to an instrument */
    ViInt32 ioTimeoutMs;  /* set on each session on an instrument, when > 0 */
} SweepTarget;

/* The handle a case passes. */
typedef enum { HANDLE_GOOD, HANDLE_NULL, HANDLE_NEVER_ISSUED, HANDLE_CLOSED } SweepHandle;

typedef enum {
    CASE_BASELINE,        /* good arguments */
    CASE_HANDLE,          /* a bad handle */
    CASE_NULL,            /* one pointer null */
    CASE_HANDLE_AND_NULL, /* a bad handle and one pointer null */
    CASE_NULL_SIZE_ZERO,  /* a buffer null and its size 0 */
    CASE_SIZE_ZERO,       /* a buffer's size 0 */
    CASE_SIZE_NEGATIVE,   /* a buffer's size -1 or the most negative */
    CASE_SIZE_HUGE        /* a 64-bit size beyond 32 bits */
} SweepCaseKind;

typedef struct {
    SweepCaseKind kind;
    SweepHandle handle;
    int param;    /* the parameter made bad; -1 for none */
    ViInt64 size; /* the size given, in the size cases */
} SweepCase;

/* Statuses that stand for more than one value. */
#define SWEEP_AS_BASELINE ((ViStatus)0x7FFFFF01L) /* what the good call returned */
#define SWEEP_SUCCESS ((ViStatus)0x7FFFFF02L)     /* any status >= 0 */
#define SWEEP_SUCCESS_OR_BASELINE                                   \
    ((ViStatus)0x7FFFFF03L) /* >= 0, or what the good call returned \
                             */

/* What a case must give. */
typedef struct {
    ViStatus status;
    /* For a refusal that stores a description: the parameter it names;
     * "" when nothing is stored. */
    const char* named;
    /* The call may write its outputs although it failed or got a size <= 0. */
    int writes;
} SweepExpectation;

/* The documented outcome of one case (sweep_rules.c). */
SweepExpectation SweepExpected(const SweepExport* e, const SweepCase* c, const SweepTarget* t);

/* Runs every case of e on t; prints a line per failed check and returns
 * their number. *calls counts the calls made. */
int SweepOneExport(const SweepExport* e, const SweepTarget* t, int* calls);

#if defined(__cplusplus)
}
#endif

#endif
