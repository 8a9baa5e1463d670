"""Finding and loading libqmdc.so, and calling its functions."""

from __future__ import annotations

import ctypes
import ctypes.util
import os
import threading
from pathlib import Path
from typing import Any

from ._errors import DriverError
from ._functions import PROTOTYPES
from ._values import from_text

ENVIRONMENT_VARIABLE = "QMDC_LIBRARY"
LIBRARY_FILE = "libqmdc.so"
VI_NULL = 0

# The functions whose first argument is not a session: their failures are
# described by the calling thread's error information (VI_NULL).
_INIT_FUNCTIONS = {"QmDC_init", "QmDC_InitWithOptions"}


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

    def call(self, function: str, *arguments: Any) -> int:
        """Calls function; returns its status when it is not an error."""
        status: int = getattr(self._dll, function)(*arguments)
        if status < 0:
            vi = VI_NULL if function in _INIT_FUNCTIONS else arguments[0]
            raise DriverError(status, self.describe(vi, status, function), function)
        return status

    def describe(self, vi: int, status: int, function: str) -> str:
        """The description recorded for status, or failing that the driver's
        message for it (a function that records nothing, such as an
        unsupported one, is named in it), or the VISA library's."""
        code = ctypes.c_int32()
        size = self._dll.QmDC_GetError(vi, ctypes.byref(code), 0, None)
        if code.value == status and size > 1:
            recorded = ctypes.create_string_buffer(size)
            self._dll.QmDC_GetError(vi, ctypes.byref(code), size, recorded)
            # Consumed: a later failure that records nothing must not show it.
            self._dll.QmDC_ClearError(vi)
            return from_text(recorded.value)
        message = ctypes.create_string_buffer(256)
        if self._dll.QmDC_error_message(VI_NULL, status, message) >= 0:
            text = from_text(message.value)
            return text.replace("%s", function) if text.count("%s") == 1 else text
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
