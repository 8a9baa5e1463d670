/* What each case must give: a rule for every kind of bad argument, and the
 * functions whose documentation says otherwise. A new export gets the rules
 * and needs a line below only where it documents something else. */
#include "sweep.h"

#include <string.h>

#include "visa.h"

#define K_BASELINE (1 << CASE_BASELINE)
#define K_HANDLE (1 << CASE_HANDLE)
#define K_NULL (1 << CASE_NULL)
#define K_HANDLE_AND_NULL (1 << CASE_HANDLE_AND_NULL)
#define K_NULL_SIZE_ZERO (1 << CASE_NULL_SIZE_ZERO)
#define K_SIZE_ZERO (1 << CASE_SIZE_ZERO)
#define K_SIZE_NEGATIVE (1 << CASE_SIZE_NEGATIVE)
#define K_BAD_HANDLE (K_HANDLE | K_HANDLE_AND_NULL)
#define K_ANY 0xFF

#define H_GOOD (1 << HANDLE_GOOD)
#define H_NULL (1 << HANDLE_NULL)
#define H_ANY 0xF

#define ANYWHERE 0
#define SIMULATED 1
#define INSTRUMENT 2

/* Short names for the table. */
#define NULL_POINTER QMDC_ERROR_NULL_POINTER
#define NOT_SUPPORTED QMDC_ERROR_FUNCTION_NOT_SUPPORTED
#define READ_ONLY QMDC_ERROR_ATTR_NOT_WRITABLE

typedef struct {
    const char* function;      /* a name, or a prefix ending in '*' */
    int kinds;                 /* K_ bits of the cases it covers */
    int handles;               /* H_ bits of the handles it covers */
    const char* param;         /* the parameter made bad; NULL for any */
    int where;                 /* ANYWHERE, SIMULATED or INSTRUMENT */
    SweepExpectation expected; /* named NULL: the parameter's own name */
} SweepRule;

/* clang-format off */
static const SweepRule kRules[] = {
    /* Error information of VI_NULL is the calling thread's (a failed init).
     * The shared component's conventions: the code is optional, a size <= 0
     * asks for the size needed, a null description stores nothing. */
    {"QmDC_GetError", K_NULL | K_HANDLE_AND_NULL, H_GOOD | H_NULL, "ErrorDescription", ANYWHERE,
     {NULL_POINTER, "", 0}},
    {"QmDC_GetError", K_ANY, H_GOOD | H_NULL, "ErrorCode", ANYWHERE, {SWEEP_AS_BASELINE, "", 0}},
    {"QmDC_GetError", K_HANDLE, H_NULL, NULL, ANYWHERE, {SWEEP_SUCCESS, "", 0}},
    {"QmDC_GetError", K_SIZE_NEGATIVE, H_ANY, NULL, ANYWHERE, {SWEEP_SUCCESS, "", 0}},
    {"QmDC_ClearError", K_HANDLE, H_NULL, NULL, ANYWHERE, {SWEEP_SUCCESS, "", 0}},

    /* error_message looks no session up: a code of the driver's is answered
     * whatever the handle; a null buffer is reported on the handle given. */
    {"QmDC_error_message", K_HANDLE_AND_NULL, H_NULL, NULL, ANYWHERE, {NULL_POINTER, NULL, 0}},
    {"QmDC_error_message", K_HANDLE, H_ANY, NULL, ANYWHERE, {SWEEP_SUCCESS, "", 0}},

    /* The caller-has-lock flag is optional. */
    {"QmDC_LockSession", K_NULL, H_ANY, NULL, ANYWHERE, {SWEEP_AS_BASELINE, "", 0}},
    {"QmDC_UnlockSession", K_NULL, H_ANY, NULL, ANYWHERE, {SWEEP_AS_BASELINE, "", 0}},

    /* Init: no session exists to describe a null handle pointer; a null
     * resource name is the empty name, which VISA refuses, and a failed init
     * leaves VI_NULL in the handle. */
    {"QmDC_init", K_NULL, H_ANY, "Vi", ANYWHERE, {NULL_POINTER, "", 0}},
    {"QmDC_InitWithOptions", K_NULL, H_ANY, "Vi", ANYWHERE, {NULL_POINTER, "", 0}},
    {"QmDC_init", K_NULL, H_ANY, "ResourceName", ANYWHERE, {VI_ERROR_INV_RSRC_NAME, "", 1}},
    {"QmDC_InitWithOptions", K_NULL, H_ANY, "ResourceName", ANYWHERE,
     {VI_ERROR_INV_RSRC_NAME, "", 1}},

    /* Typed Gets check the value pointer before the session: on VI_NULL the
     * report is stored for the thread. The text Get names the size. */
    {"QmDC_GetAttributeViString", K_NULL | K_HANDLE_AND_NULL, H_GOOD | H_NULL, "AttributeValue",
     ANYWHERE, {NULL_POINTER, "AttributeValueBufferSize", 0}},
    {"QmDC_GetAttributeVi*", K_HANDLE_AND_NULL, H_NULL, "AttributeValue", ANYWHERE,
     {NULL_POINTER, NULL, 0}},
    {"QmDC_GetAttributeViSession", K_BASELINE, H_ANY, NULL, SIMULATED,
     {QMDC_ERROR_IO_GENERAL, "", 0}},
    /* No text or session attribute can be written; on VI_NULL the refusal is
     * stored for the thread. */
    {"QmDC_SetAttributeViS*", K_BASELINE, H_ANY, NULL, ANYWHERE, {READ_ONLY, "", 0}},
    {"QmDC_SetAttributeViS*", K_BAD_HANDLE, H_NULL, NULL, ANYWHERE, {READ_ONLY, "", 0}},

    /* Not supported: interchange checking and triggering. */
    {"QmDC_GetNextInterchangeWarning", K_ANY & ~K_BAD_HANDLE, H_ANY, NULL, ANYWHERE,
     {NOT_SUPPORTED, "", 0}},
    {"QmDC_ClearInterchangeWarnings", K_BASELINE, H_ANY, NULL, ANYWHERE, {NOT_SUPPORTED, "", 0}},
    {"QmDC_ResetInterchangeCheck", K_BASELINE, H_ANY, NULL, ANYWHERE, {NOT_SUPPORTED, "", 0}},
    {"QmDC_ConfigureTrigger*", K_BASELINE, H_ANY, NULL, ANYWHERE, {NOT_SUPPORTED, "", 0}},
    {"QmDC_Abort", K_BASELINE, H_ANY, NULL, ANYWHERE, {NOT_SUPPORTED, "", 0}},
    {"QmDC_Initiate", K_BASELINE, H_ANY, NULL, ANYWHERE, {NOT_SUPPORTED, "", 0}},
    {"QmDC_SendSoftwareTrigger", K_BASELINE, H_ANY, NULL, ANYWHERE, {NOT_SUPPORTED, "", 0}},

    /* A negative size promises a buffer of 4096 bytes: the value is read as
     * into one, with the getter's status. */
    {"QmDC_GetAttributeViString", K_SIZE_NEGATIVE, H_GOOD, NULL, ANYWHERE,
     {SWEEP_SUCCESS_OR_BASELINE, "", 1}},

    /* A null buffer is an error whatever its size. */
    {"QmDC_GetNextError", K_NULL_SIZE_ZERO, H_ANY, NULL, ANYWHERE, {NULL_POINTER, NULL, 0}},
    {"QmDC_GetChannelName", K_NULL_SIZE_ZERO, H_ANY, NULL, ANYWHERE, {NULL_POINTER, NULL, 0}},
    {"QmDC_vi*", K_NULL_SIZE_ZERO, H_ANY, NULL, ANYWHERE, {NULL_POINTER, NULL, 0}},
    /* A size <= 0 takes the entry off the queue and writes nothing. */
    {"QmDC_GetNextError", K_SIZE_NEGATIVE, H_ANY, NULL, ANYWHERE, {SWEEP_SUCCESS, "", 0}},
    /* The queue is always empty: a negative size writes its terminator. */
    {"QmDC_GetNextCoercionRecord", K_SIZE_NEGATIVE, H_ANY, NULL, ANYWHERE, {VI_SUCCESS, "", 1}},

    /* Direct I/O: refused in simulation; the count is optional; an instrument
     * with nothing to say lets a read time out, but reading no bytes is done
     * at once. */
    {"QmDC_vi*", K_BASELINE, H_ANY, NULL, SIMULATED, {QMDC_ERROR_IO_GENERAL, "", 0}},
    {"QmDC_vi*", K_NULL, H_ANY, "ReturnCount", ANYWHERE, {SWEEP_AS_BASELINE, "", 0}},
    {"QmDC_viRead", K_BASELINE, H_ANY, NULL, INSTRUMENT, {VI_ERROR_TMO, "", 0}},
    {"QmDC_viRead", K_SIZE_ZERO, H_ANY, NULL, INSTRUMENT, {VI_SUCCESS_MAX_CNT, "", 0}},
};
/* clang-format on */

static int NameMatches(const char* pattern, const char* name) {
    const size_t length = strlen(pattern);
    if (length > 0 && pattern[length - 1] == '*') return strncmp(pattern, name, length - 1) == 0;
    return strcmp(pattern, name) == 0;
}

static int RuleMatches(const SweepRule* r, const SweepExport* e, const SweepCase* c,
                       const SweepTarget* t) {
    if (!NameMatches(r->function, e->name) || (r->kinds & (1 << c->kind)) == 0) return 0;
    if ((r->handles & (1 << c->handle)) == 0) return 0;
    if (r->param != NULL && (c->param < 0 || strcmp(r->param, e->params[c->param].name) != 0)) {
        return 0;
    }
    return r->where == ANYWHERE || r->where == (t->instrument ? INSTRUMENT : SIMULATED);
}

/* What every function does unless its line above says otherwise. */
static SweepExpectation Default(const SweepExport* e, const SweepCase* c) {
    SweepExpectation x;
    x.named = "";
    x.writes = 0;
    switch (c->kind) {
        case CASE_BASELINE:
            x.status = SWEEP_SUCCESS;
            break;
        case CASE_HANDLE:
        case CASE_HANDLE_AND_NULL:
            x.status = QMDC_ERROR_INVALID_SESSION_HANDLE;
            break;
        case CASE_NULL:
            /* A null text is the empty one (a channel name: the one output). */
            x.status = e->params[c->param].kind == SWEEP_TEXT ? SWEEP_AS_BASELINE
                                                              : QMDC_ERROR_NULL_POINTER;
            x.named = e->params[c->param].name;
            break;
        case CASE_NULL_SIZE_ZERO:
        case CASE_SIZE_ZERO:
            x.status = SWEEP_SUCCESS_OR_BASELINE;
            break;
        case CASE_SIZE_NEGATIVE:
        case CASE_SIZE_HUGE:
            x.status = QMDC_ERROR_INVALID_VALUE;
            x.named = e->params[c->param].name;
            break;
    }
    return x;
}

SweepExpectation SweepExpected(const SweepExport* e, const SweepCase* c, const SweepTarget* t) {
    size_t i;
    for (i = 0; i < sizeof kRules / sizeof kRules[0]; ++i) {
        if (RuleMatches(&kRules[i], e, c, t)) {
            SweepExpectation x = kRules[i].expected;
            if (x.named == NULL) x.named = c->param >= 0 ? e->params[c->param].name : "";
            return x;
        }
    }
    return Default(e, c);
}
