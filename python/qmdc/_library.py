"""Finding and loading libqmdc.so, and calling its functions."""

from __future__ import annotations

import ctypes
import ctypes.util
import os
import threading
from pathlib import Path
from typing import Any

from ._errors import (
    QMDC_ERROR_INSTRUMENT_STATUS,
    DriverError,
    InstrumentError,
    InstrumentErrorEntry,
    error_class,
)
from ._functions import PROTOTYPES
from ._values import from_text

ENVIRONMENT_VARIABLE = "QMDC_LIBRARY"
LIBRARY_FILE = "libqmdc.so"
VI_NULL = 0

# The functions whose first argument is not a session: their failures are
# described by the calling thread's error information (VI_NULL).
_INIT_FUNCTIONS = {"QmDC_init", "QmDC_InitWithOptions"}

# A supply whose error queue never empties must not keep the binding reading.
MAX_QUEUED_ERRORS = 32
_MESSAGE_SIZE = 256


def library_path() -> str:
    """Where libqmdc.so is: the file named by $QMDC_LIBRARY, else the one beside
    this package (an installed package can carry it, or a link to it), else
    the one the system's library path has."""
    named = os.environ.get(ENVIRONMENT_VARIABLE)
    if named:
        if not Path(named).is_file():
            raise OSError(f"{ENVIRONMENT_VARIABLE} names {named!r}, which is not a file")
        return named
    beside = Path(__file__).with_name(LIBRARY_FILE)
    if beside.is_file():
        # cmake --install puts a link here to the library installed with the
        # package; the library's own folder, where its platform libraries
        # lie, is what its $ORIGIN must name.
        return str(beside.resolve() if beside.is_symlink() else beside)
    installed = ctypes.util.find_library("qmdc")
    if installed:
        return installed
    raise OSError(
        f"{LIBRARY_FILE} not found: set {ENVIRONMENT_VARIABLE} to its path, put it beside "
        f"the qmdc package ({beside.parent}) or install it on the system's library path"
    )


class Library:
    """libqmdc.so with the prototypes of its functions; call() turns an error
    status into a DriverError that carries the driver's description."""

    def __init__(self, path: str) -> None:
        self.path = path
        self._dll = ctypes.CDLL(path)
        for name, argtypes in PROTOTYPES.items():
            try:
                function = getattr(self._dll, name)
            except AttributeError:
                raise OSError(f"{path} has no {name}: it is not this version of QmDC") from None
            function.argtypes = argtypes
            function.restype = ctypes.c_int32
        # The VISA library's texts describe VISA statuses, which the driver
        # passes on without recording a description.
        self._status_desc = getattr(self._dll, "viStatusDesc", None)
        if self._status_desc is not None:
            self._status_desc.argtypes = (ctypes.c_uint32, ctypes.c_int32, ctypes.c_char_p)
            self._status_desc.restype = ctypes.c_int32

    def call(self, function: str, *arguments: Any, subject: str | None = None) -> int:
        """Calls function; returns its status when it is not an error. subject
        fills the placeholder of a message the driver does not complete (the
        attribute's name for an unsupported attribute); function by default.

        An instrument error raises InstrumentError with the entries of the
        instrument's error queue, timeouts and lost connections their own
        subclasses of DriverError."""
        status: int = getattr(self._dll, function)(*arguments)
        if status >= 0:
            return status
        vi = VI_NULL if function in _INIT_FUNCTIONS else arguments[0]
        description = self.describe(vi, status, subject or function)
        if status & 0xFFFFFFFF == QMDC_ERROR_INSTRUMENT_STATUS and vi != VI_NULL:
            raise InstrumentError(status, description, function, self.take_error_queue(vi))
        raise error_class(status)(status, description, function)

    def take_error_queue(self, vi: int) -> tuple[InstrumentErrorEntry, ...]:
        """The entries of the instrument's error queue, oldest first, taken out
        of it (QmDC_error_query until it answers code 0)."""
        entries = []
        for _ in range(MAX_QUEUED_ERRORS):
            code, message = ctypes.c_int32(), ctypes.create_string_buffer(_MESSAGE_SIZE)
            if self._dll.QmDC_error_query(vi, ctypes.byref(code), message) < 0 or code.value == 0:
                break
            entries.append(InstrumentErrorEntry(code.value, from_text(message.value)))
        return tuple(entries)

    def describe(self, vi: int, status: int, subject: str) -> str:
        """The description recorded for status, or failing that the driver's
        message for it with subject in its placeholder (a function or an
        attribute that records nothing, such as an unsupported one), or the
        VISA library's."""
        code = ctypes.c_int32()
        size = self._dll.QmDC_GetError(vi, ctypes.byref(code), 0, None)
        if code.value == status and size > 1:
            recorded = ctypes.create_string_buffer(size)
            self._dll.QmDC_GetError(vi, ctypes.byref(code), size, recorded)
            # Consumed: a later failure that records nothing must not show it.
            self._dll.QmDC_ClearError(vi)
            return from_text(recorded.value)
        message = ctypes.create_string_buffer(_MESSAGE_SIZE)
        if self._dll.QmDC_error_message(VI_NULL, status, message) >= 0:
            text = from_text(message.value)
            return text.replace("%s", subject) if text.count("%s") == 1 else text
        if self._status_desc is not None and self._status_desc(VI_NULL, status, message) >= 0:
            return from_text(message.value)
        return "(no description)"


_loaded: Library | None = None
_loading = threading.Lock()


def library() -> Library:
    """The library, loaded on first use."""
    global _loaded
    with _loading:
        if _loaded is None:
            _loaded = Library(library_path())
        return _loaded
