/* The sweep's engine: builds the arguments of each case, makes the call and
 * checks what came back. Every buffer and output lies between guard bytes
 * and starts filled with a known byte, so that a write past its end, or any
 * write by a call that refused its arguments, shows. */
#include "sweep.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#define GUARD_BYTES 16
#define GUARD_BYTE 0xA5
#define FILL_BYTE 0x23
/* Elements of a buffer whose size is an argument: small, so that every text
 * the driver has is longer. */
#define BUFFER_LENGTH 4
/* A negative size promises a buffer that holds any text (the IVI
 * convention): the buffer it goes with is that large. */
#define PROMISED_LENGTH 4096
#define MAX_PARAMS 16
#define MAX_SECONDS 5
#define NEVER_ISSUED ((ViSession)0xFFFFFFFEUL)

typedef struct {
    unsigned char* block; /* guard bytes, the storage, guard bytes; NULL when none */
    size_t bytes;
} Storage;

typedef struct {
    const SweepExport* e;
    const SweepTarget* t;
    ViSession closed; /* a handle that was issued and closed again */
    ViStatus baseline;
    int failures;
    int calls;
} Sweep;

/* The attribute a typed function is called with, by the type in its name: a
 * framed attribute of that type (writable where one exists). */
static const struct {
    const char* type;
    ViAttr attribute;
} kAttributes[] = {
    {"ViInt32", QMDC_ATTR_OPERATION_ENABLE_REGISTER},
    {"ViReal64", QMDC_ATTR_VOLTAGE_LEVEL},
    {"ViBoolean", QMDC_ATTR_CACHE},
    {"ViSession", QMDC_ATTR_SYSTEM_IO_SESSION},
    {"ViString", QMDC_ATTR_DEVICE_CAPABILITIES},
};

static ViAttr AttributeFor(const char* function) {
    size_t i;
    for (i = 0; i < sizeof kAttributes / sizeof kAttributes[0]; ++i) {
        if (strstr(function, kAttributes[i].type) != NULL) return kAttributes[i].attribute;
    }
    return QMDC_ATTR_INSTRUMENT_MODEL;
}

static int FindKind(const SweepExport* e, SweepKind kind) {
    size_t i;
    for (i = 0; i < e->count; ++i) {
        if (e->params[i].kind == kind) return (int)i;
    }
    return -1;
}

/* The buffer a size parameter gives the size of: the next buffer without a
 * declared length. */
static int SizedBuffer(const SweepExport* e, int size) {
    size_t i;
    for (i = (size_t)size + 1; i < e->count; ++i) {
        if (e->params[i].kind == SWEEP_BUFFER && e->params[i].length == 0) return (int)i;
    }
    return -1;
}

static int SizeOfBuffer(const SweepExport* e, int buffer) {
    size_t i;
    for (i = 0; i < e->count; ++i) {
        if (e->params[i].kind == SWEEP_SIZE && SizedBuffer(e, (int)i) == buffer) return (int)i;
    }
    return -1;
}

static void Fail(Sweep* s, const SweepCase* c, const char* problem) {
    const char* handles[] = {"", "Vi=VI_NULL ", "Vi=never issued ", "Vi=closed "};
    printf("%s: %s(%s", s->t->name, s->e->name, handles[c->handle]);
    if (c->param >= 0) {
        const char* name = s->e->params[c->param].name;
        switch (c->kind) {
            case CASE_NULL_SIZE_ZERO:
                printf("%s=NULL with size 0", name);
                break;
            case CASE_SIZE_ZERO:
            case CASE_SIZE_NEGATIVE:
            case CASE_SIZE_HUGE:
                printf("%s=%.0f", name, (double)c->size);
                break;
            default:
                printf("%s=NULL", name);
        }
    }
    printf("): %s\n", problem);
    ++s->failures;
}

static ViStatus OpenSession(const SweepTarget* t, ViSession* vi) {
    ViStatus status = QmDC_InitWithOptions((ViRsrc)t->resource, VI_FALSE, VI_FALSE, t->options, vi);
    if (status < 0 || !t->instrument || t->ioTimeoutMs <= 0) return status;
    status = QmDC_SetAttributeViInt32(*vi, "", QMDC_ATTR_SYSTEM_IO_TIMEOUT, t->ioTimeoutMs);
    if (status < 0) QmDC_close(*vi);
    return status;
}

static void* Allocate(Storage* storage, size_t bytes) {
    storage->bytes = bytes;
    storage->block = (unsigned char*)malloc(bytes + 2 * GUARD_BYTES);
    if (storage->block == NULL) return NULL;
    memset(storage->block, GUARD_BYTE, GUARD_BYTES);
    memset(storage->block + GUARD_BYTES, FILL_BYTE, bytes);
    memset(storage->block + GUARD_BYTES + bytes, GUARD_BYTE, GUARD_BYTES);
    return storage->block + GUARD_BYTES;
}

static int GuardsIntact(const Storage* storage) {
    size_t i;
    for (i = 0; i < GUARD_BYTES; ++i) {
        if (storage->block[i] != GUARD_BYTE) return 0;
        if (storage->block[GUARD_BYTES + storage->bytes + i] != GUARD_BYTE) return 0;
    }
    return 1;
}

static int Untouched(const Storage* storage) {
    size_t i;
    for (i = 0; i < storage->bytes; ++i) {
        if (storage->block[GUARD_BYTES + i] != FILL_BYTE) return 0;
    }
    return 1;
}

static ViInt64 GoodSize(const SweepCase* c, const SweepExport* e, int param) {
    if (c->kind == CASE_NULL_SIZE_ZERO && SizeOfBuffer(e, c->param) == param) return 0;
    if ((c->kind == CASE_SIZE_ZERO || c->kind == CASE_SIZE_NEGATIVE || c->kind == CASE_SIZE_HUGE) &&
        c->param == param) {
        return c->size;
    }
    return BUFFER_LENGTH;
}

static int IsNulled(const SweepCase* c, int param) {
    return c->param == param && (c->kind == CASE_NULL || c->kind == CASE_HANDLE_AND_NULL ||
                                 c->kind == CASE_NULL_SIZE_ZERO);
}

static ViSession HandleOf(const Sweep* s, const SweepCase* c, ViSession session) {
    switch (c->handle) {
        case HANDLE_GOOD:
            return session;
        case HANDLE_NEVER_ISSUED:
            return NEVER_ISSUED;
        case HANDLE_CLOSED:
            return s->closed;
        default:
            return VI_NULL;
    }
}

/* Elements of buffer param in case c. */
static size_t BufferLength(const Sweep* s, const SweepCase* c, int param) {
    const SweepParam* p = &s->e->params[param];
    if (p->length > 0) return p->length;
    if (c->kind == CASE_SIZE_NEGATIVE && SizedBuffer(s->e, c->param) == param) {
        return PROMISED_LENGTH;
    }
    return BUFFER_LENGTH;
}

/* The arguments of one case; returns 0 when memory ran out. */
static int Prepare(Sweep* s, const SweepCase* c, ViSession session, SweepArg* args,
                   Storage* storage) {
    size_t i;
    memset(args, 0, s->e->count * sizeof *args);
    memset(storage, 0, s->e->count * sizeof *storage);
    for (i = 0; i < s->e->count; ++i) {
        const SweepParam* p = &s->e->params[i];
        SweepArg* a = &args[i];
        switch (p->kind) {
            case SWEEP_HANDLE:
                a->handle = HandleOf(s, c, session);
                break;
            case SWEEP_TEXT:
                if (IsNulled(c, (int)i)) break;
                a->text = strcmp(p->name, "ResourceName") == 0   ? s->t->resource
                          : strcmp(p->name, "OptionString") == 0 ? s->t->options
                                                                 : "";
                break;
            case SWEEP_INT32:
                /* Status codes: success, which every driver knows; numbers: 1,
                 * a valid channel index, range type, measurement or behavior. */
                a->int32 = strcmp(p->type, "ViStatus") == 0 ? VI_SUCCESS : 1;
                break;
            case SWEEP_INT64:
                a->int64 = 1;
                break;
            case SWEEP_SIZE:
                a->int64 = GoodSize(c, s->e, (int)i);
                a->int32 = (ViInt32)a->int64;
                break;
            case SWEEP_REAL:
                a->real = 1.0;
                break;
            case SWEEP_BOOLEAN:
                a->boolean = VI_TRUE;
                break;
            case SWEEP_ATTRIBUTE:
                a->attribute = AttributeFor(s->e->name);
                break;
            case SWEEP_SESSION:
                a->session = VI_NULL;
                break;
            case SWEEP_OUTPUT:
            case SWEEP_BUFFER:
                if (IsNulled(c, (int)i)) break;
                a->pointer =
                    Allocate(&storage[i],
                             p->size * (p->kind == SWEEP_OUTPUT ? 1 : BufferLength(s, c, (int)i)));
                if (a->pointer == NULL) return 0;
                break;
        }
    }
    return 1;
}

static int StatusMatches(ViStatus expected, ViStatus got, ViStatus baseline) {
    switch (expected) {
        case SWEEP_SUCCESS:
            return got >= 0;
        case SWEEP_AS_BASELINE:
            return got == baseline;
        case SWEEP_SUCCESS_OR_BASELINE:
            return got >= 0 || got == baseline;
        default:
            return got == expected;
    }
}

/* The stored description names the parameter, quoted. */
static int Describes(ViSession vi, const char* name) {
    ViChar text[1024];
    char quoted[128];
    ViStatus code = 0;
    if (QmDC_GetError(vi, &code, (ViInt32)sizeof text, text) < 0) return 0;
    sprintf(quoted, "'%.100s'", name);
    return strstr(text, quoted) != NULL;
}

static void Check(Sweep* s, const SweepCase* c, ViStatus status, ViSession used,
                  const Storage* storage) {
    const SweepExpectation x = SweepExpected(s->e, c, s->t);
    const int refused = x.status < 0 && c->kind != CASE_BASELINE && !x.writes;
    const int sized =
        c->kind == CASE_SIZE_ZERO || c->kind == CASE_SIZE_NEGATIVE || c->kind == CASE_SIZE_HUGE;
    const int sizedBuffer = sized ? SizedBuffer(s->e, c->param) : -1;
    char problem[256];
    size_t i;
    if (!StatusMatches(x.status, status, s->baseline)) {
        sprintf(problem, "status 0x%08lX, expected 0x%08lX (the good call gave 0x%08lX)",
                (unsigned long)(ViUInt32)status, (unsigned long)(ViUInt32)x.status,
                (unsigned long)(ViUInt32)s->baseline);
        Fail(s, c, problem);
    }
    for (i = 0; i < s->e->count; ++i) {
        if (storage[i].block == NULL) continue;
        if (!GuardsIntact(&storage[i])) {
            sprintf(problem, "wrote outside %.100s", s->e->params[i].name);
            Fail(s, c, problem);
        }
        if ((refused || ((int)i == sizedBuffer && !x.writes)) && !Untouched(&storage[i])) {
            sprintf(problem, "wrote into %.100s", s->e->params[i].name);
            Fail(s, c, problem);
        }
    }
    if (x.named != NULL && x.named[0] != '\0' && status == x.status &&
        (status == QMDC_ERROR_NULL_POINTER || status == QMDC_ERROR_INVALID_VALUE) &&
        !Describes(used, x.named)) {
        sprintf(problem, "the description does not name '%.100s'", x.named);
        Fail(s, c, problem);
    }
}

/* A session the call itself opened is closed again. */
static void CloseOpened(const SweepExport* e, const SweepArg* args, ViStatus status) {
    size_t i;
    for (i = 0; i < e->count; ++i) {
        const SweepParam* p = &e->params[i];
        if (p->kind == SWEEP_OUTPUT && strcmp(p->type, "ViSession") == 0 &&
            strcmp(p->name, "Vi") == 0 && args[i].pointer != NULL && status >= 0) {
            QmDC_close(*(ViSession*)args[i].pointer);
        }
    }
}

static void RunCase(Sweep* s, SweepCaseKind kind, SweepHandle handle, int param, ViInt64 size) {
    SweepCase c;
    SweepArg args[MAX_PARAMS];
    Storage storage[MAX_PARAMS];
    ViSession session = VI_NULL;
    ViSession used = VI_NULL;
    ViStatus status;
    time_t started;
    const int handleParam = FindKind(s->e, SWEEP_HANDLE);
    size_t i;
    c.kind = kind;
    c.handle = handle;
    c.param = param;
    c.size = size;
    if (handle == HANDLE_GOOD && handleParam >= 0 && OpenSession(s->t, &session) < 0) {
        Fail(s, &c, "cannot open a session on the target");
        return;
    }
    if (Prepare(s, &c, session, args, storage)) {
        if (handleParam >= 0) used = args[handleParam].handle;
        QmDC_ClearError(used);
        started = time(NULL);
        status = s->e->call(args);
        ++s->calls;
        if (time(NULL) - started > MAX_SECONDS) Fail(s, &c, "took longer than 5 s");
        if (kind == CASE_BASELINE) s->baseline = status;
        Check(s, &c, status, used, storage);
        CloseOpened(s->e, args, status);
    } else {
        Fail(s, &c, "out of memory");
    }
    for (i = 0; i < s->e->count; ++i) free(storage[i].block);
    if (session != VI_NULL) QmDC_close(session);
}

/* Each bad handle, with pointer param null (or none when param < 0). */
static void RunBadHandles(Sweep* s, SweepCaseKind kind, int param) {
    RunCase(s, kind, HANDLE_NULL, param, 0);
    RunCase(s, kind, HANDLE_NEVER_ISSUED, param, 0);
    RunCase(s, kind, HANDLE_CLOSED, param, 0);
}

static void RunSizes(Sweep* s, int param) {
    /* Built by shifts: C89 has no 64-bit literals. */
    const ViInt64 int64Max = (ViInt64)(~(ViUInt64)0 >> 1);
    const ViInt64 beyond32Bits = ((ViInt64)1 << 32) + BUFFER_LENGTH;
    const int wide = s->e->params[param].size == sizeof(ViInt64);
    RunCase(s, CASE_SIZE_ZERO, HANDLE_GOOD, param, 0);
    RunCase(s, CASE_SIZE_NEGATIVE, HANDLE_GOOD, param, -1);
    RunCase(s, CASE_SIZE_NEGATIVE, HANDLE_GOOD, param,
            wide ? -int64Max - 1 : (ViInt64)(-2147483647L - 1));
    if (wide) {
        RunCase(s, CASE_SIZE_HUGE, HANDLE_GOOD, param, beyond32Bits);
        RunCase(s, CASE_SIZE_HUGE, HANDLE_GOOD, param, int64Max);
    }
}

int SweepOneExport(const SweepExport* e, const SweepTarget* t, int* calls) {
    Sweep s;
    const int handled = FindKind(e, SWEEP_HANDLE) >= 0;
    size_t i;
    s.e = e;
    s.t = t;
    s.closed = VI_NULL;
    s.baseline = VI_SUCCESS;
    s.failures = 0;
    s.calls = 0;
    if (e->count > MAX_PARAMS) {
        printf("%s: %lu parameters, the sweep takes %d\n", e->name, (unsigned long)e->count,
               MAX_PARAMS);
        return 1;
    }
    if (handled && (OpenSession(t, &s.closed) < 0 || QmDC_close(s.closed) < 0)) {
        printf("%s: %s: cannot open and close a session\n", t->name, e->name);
        return 1;
    }
    RunCase(&s, CASE_BASELINE, HANDLE_GOOD, -1, 0);
    if (handled) RunBadHandles(&s, CASE_HANDLE, -1);
    for (i = 0; i < e->count; ++i) {
        const SweepParam* p = &e->params[i];
        if (p->kind == SWEEP_TEXT || p->kind == SWEEP_OUTPUT || p->kind == SWEEP_BUFFER) {
            RunCase(&s, CASE_NULL, HANDLE_GOOD, (int)i, 0);
            if (handled) RunBadHandles(&s, CASE_HANDLE_AND_NULL, (int)i);
        }
        if (p->kind == SWEEP_BUFFER && SizeOfBuffer(e, (int)i) >= 0) {
            RunCase(&s, CASE_NULL_SIZE_ZERO, HANDLE_GOOD, (int)i, 0);
        }
        if (p->kind == SWEEP_SIZE && SizedBuffer(e, (int)i) >= 0) RunSizes(&s, (int)i);
    }
    *calls += s.calls;
    return s.failures;
}
