#!/usr/bin/env python3
"""Writes the table of the driver's exports that the argument sweep walks.

    gen_export_table.py <QmDC.h> <output.c>

Every prototype of the public header becomes one row: its name, a caller that
takes the arguments from an array of SweepArg, and the kind of each parameter
(export_table.h). The sweep is generated rather than written so that a
function added to the header is swept without anyone touching the test; a
parameter whose type this script does not know stops the build, so that the
sweep never silently skips one.
"""
import re
import sys

# A prototype: the calling-convention macro, the name, the parameter list.
PROTOTYPE = re.compile(r"QMDC_CALL\s+(QmDC_\w+)\s*\(([^)]*)\)\s*;")
PARAMETER = re.compile(r"^(\w+)\s*(\*?)\s*(\w+)\s*(?:\[(\d*)\])?$")
CONDITION = re.compile(r"^\s*#\s*(if|ifdef|ifndef|else|elif|endif)\b(.*)$")

# By-value types: the SweepArg member that carries them and their kind.
VALUES = {
    "ViConstString": ("text", "SWEEP_TEXT"),
    "ViRsrc": ("text", "SWEEP_TEXT"),
    "ViString": ("text", "SWEEP_TEXT"),
    "ViInt32": ("int32", "SWEEP_INT32"),
    "ViStatus": ("int32", "SWEEP_INT32"),
    "ViInt64": ("int64", "SWEEP_INT64"),
    "ViReal64": ("real", "SWEEP_REAL"),
    "ViBoolean": ("boolean", "SWEEP_BOOLEAN"),
    "ViAttr": ("attribute", "SWEEP_ATTRIBUTE"),
    "ViSession": ("session", "SWEEP_SESSION"),
}
# Types that may stand behind a pointer or form a buffer.
POINTEES = {"ViSession", "ViStatus", "ViInt16", "ViInt32", "ViInt64", "ViReal64", "ViBoolean",
            "ViChar", "ViByte"}
# Text types are pointers already; the caller passes them cast.
TEXT_CASTS = {"ViRsrc": "(ViRsrc)", "ViString": "(ViString)"}


class Parameter:
    def __init__(self, function, text):
        match = PARAMETER.match(" ".join(text.split()))
        if not match:
            sys.exit(f"{function}: cannot read the parameter '{text.strip()}'")
        self.type, pointer, self.name, length = match.groups()
        self.length = length or "0"
        if pointer or length is not None:
            if self.type not in POINTEES:
                sys.exit(f"{function}: no sweep for a pointer to {self.type} ({self.name})")
            self.kind = "SWEEP_BUFFER" if length is not None else "SWEEP_OUTPUT"
            self.member = "pointer"
            self.cast = f"({self.type}*)"
            return
        if self.type not in VALUES:
            sys.exit(f"{function}: no sweep for a parameter of type {self.type} ({self.name})")
        self.member, self.kind = VALUES[self.type]
        self.cast = TEXT_CASTS.get(self.type, "")
        # The session a call works on, and the size of the buffer after it.
        if self.type == "ViSession" and self.name == "Vi":
            self.kind, self.member = "SWEEP_HANDLE", "handle"
        elif self.type in ("ViInt32", "ViInt64") and self.name.endswith("BufferSize"):
            self.kind = "SWEEP_SIZE"


def read_prototypes(header):
    """(name, parameters, conditions) of every prototype, in header order.
    conditions: the #if lines around it, the include guard left out."""
    text = open(header, encoding="utf-8").read()
    stack, found, pending = [], [], ""
    for line in text.splitlines():
        condition = CONDITION.match(line)
        if condition:
            directive = condition.group(1)
            if directive in ("if", "ifdef", "ifndef"):
                stack.append(line.strip())
            elif directive == "endif":
                stack.pop()
            else:  # an #else branch cannot be repeated around a prototype
                stack[-1] = None
            continue
        pending += " " + line
        for match in PROTOTYPE.finditer(pending):
            name, parameters = match.groups()
            if None in stack:
                sys.exit(f"{name}: a prototype in an #else or #elif branch is not handled")
            params = [Parameter(name, p) for p in parameters.split(",") if p.strip() != "void"]
            if not params:
                sys.exit(f"{name}: an export without parameters has nothing to sweep")
            # The outermost condition of the header is its include guard.
            found.append((name, params, stack[1:]))
        if ";" in line:
            pending = ""
    declared = len(re.findall(r"QMDC_CALL\s+QmDC_\w+", text))
    if declared != len(found) or not found:
        sys.exit(f"{header}: {declared} prototypes declared, {len(found)} read")
    return found


def caller(name, params):
    args = ", ".join(f"{p.cast}a[{i}].{p.member}" for i, p in enumerate(params))
    return (f"static ViStatus call_{name}(const SweepArg* a) {{\n"
            f"    return {name}({args});\n}}\n")


def rows(name, params):
    lines = [f"static const SweepParam params_{name}[] = {{"]
    for p in params:
        lines.append(f'    {{{p.kind}, "{p.name}", "{p.type}", sizeof({p.type}), {p.length}}},')
    lines.append("};")
    return "\n".join(lines) + "\n"


def guarded(conditions, body):
    if not conditions:
        return body
    return "\n".join(conditions) + "\n" + body + "#endif\n" * len(conditions)


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    header, output = sys.argv[1:]
    prototypes = read_prototypes(header)
    out = ["/* Generated from QmDC.h by gen_export_table.py: do not edit. */\n",
           '#include "export_table.h"\n']
    for name, params, conditions in prototypes:
        out.append(guarded(conditions, rows(name, params) + caller(name, params)))
    out.append("const SweepExport kSweepExports[] = {\n")
    for name, params, conditions in prototypes:
        entry = f'    {{"{name}", call_{name}, {len(params)}, params_{name}}},\n'
        out.append(guarded(conditions, entry))
    out.append("};\n")
    out.append("const size_t kSweepExportCount = sizeof kSweepExports / sizeof kSweepExports[0];\n")
    with open(output, "w", encoding="utf-8") as f:
        f.write("".join(out))


if __name__ == "__main__":
    main()
