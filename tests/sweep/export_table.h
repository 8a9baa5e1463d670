/* The driver's exports as data, for the argument sweep: the kind of each
 * parameter and a caller that takes the arguments from an array. The table
 * itself (kSweepExports) is generated from QmDC.h at build time by
 * gen_export_table.py. C89. */
#ifndef QMDC_SWEEP_EXPORT_TABLE_H
#define QMDC_SWEEP_EXPORT_TABLE_H

#include <stddef.h>

#include "QmDC.h"

#if defined(__cplusplus)
extern "C" {
#endif

typedef enum {
    SWEEP_HANDLE,    /* ViSession Vi: the session the call works on */
    SWEEP_TEXT,      /* an input text: ViConstString, ViRsrc, ViString */
    SWEEP_INT32,     /* ViInt32 or ViStatus */
    SWEEP_INT64,     /* ViInt64 */
    SWEEP_SIZE,      /* ViInt32 or ViInt64 named ...BufferSize: the size of the next buffer */
    SWEEP_REAL,      /* ViReal64 */
    SWEEP_BOOLEAN,   /* ViBoolean */
    SWEEP_ATTRIBUTE, /* ViAttr */
    SWEEP_SESSION,   /* a ViSession value other than the handle */
    SWEEP_OUTPUT,    /* T*: one value the call writes (or reads and writes) */
    SWEEP_BUFFER     /* T name[] or T name[N] */
} SweepKind;

typedef struct {
    SweepKind kind;
    const char* name;
    const char* type; /* as declared: "ViStatus", "ViChar", ... */
    size_t size;      /* bytes of the value, or of one element behind the pointer */
    size_t length;    /* SWEEP_BUFFER: declared length; 0 when a SWEEP_SIZE gives it */
} SweepParam;

/* One argument; the caller reads the member of its parameter's kind. */
typedef struct {
    ViSession handle;
    const char* text;
    ViInt32 int32;
    ViInt64 int64;
    ViReal64 real;
    ViBoolean boolean;
    ViAttr attribute;
    ViSession session;
    void* pointer;
} SweepArg;

typedef ViStatus (*SweepCaller)(const SweepArg* args);

typedef struct {
    const char* name;
    SweepCaller call;
    size_t count;
    const SweepParam* params;
} SweepExport;

extern const SweepExport kSweepExports[];
extern const size_t kSweepExportCount;

#if defined(__cplusplus)
}
#endif

#endif
