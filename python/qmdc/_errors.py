"""The exceptions a failed driver call raises, and the entries of the
instrument's error queue."""

from __future__ import annotations

from typing import Any, NamedTuple

# The statuses a caller may want to catch apart (visa.h, QmDC.h).
VI_ERROR_TMO = 0xBFFF0015
VI_ERROR_CONN_LOST = 0xBFFF00A6
QMDC_ERROR_INSTRUMENT_STATUS = 0xBFFA0001
QMDC_ERROR_IO_TIMEOUT = 0xBFFA4215

# A property read or a method call names no value.
NO_VALUE: Any = object()


class InstrumentErrorEntry(NamedTuple):
    """One entry of the instrument's error queue (Session.error_query())."""

    code: int  # 0: the queue was empty
    message: str

    def __str__(self) -> str:
        return f"{self.code} {self.message}"


class DriverError(Exception):
    """A QmDC_* function returned an error status.

    status is the ViStatus as the driver returned it (a negative int),
    status_hex the same as the driver's documentation writes it
    ("0xBFFA000D"), description the driver's text for it and function the
    C function that failed. When a property failed, attribute names it and
    value is what was being set (NO_VALUE for a read).
    """

    def __init__(self, status: int, description: str, function: str) -> None:
        self.status = status
        self.description = description
        self.function = function
        self.attribute: str | None = None
        self.value: Any = NO_VALUE
        super().__init__()

    @property
    def status_hex(self) -> str:
        return f"0x{self.status & 0xFFFFFFFF:08X}"

    def _subject(self) -> str:
        if self.attribute is None:
            return ""
        if self.value is NO_VALUE:
            return f"reading {self.attribute}: "
        return f"setting {self.attribute} to {self.value!r}: "

    def __str__(self) -> str:
        return f"{self._subject()}{self.function}: {self.status_hex} {self.description}"


class InstrumentError(DriverError):
    """The instrument flagged an error after an operation (0xBFFA0001, with
    the instrument's status checked). entries holds what its error queue
    said, taken from the queue when the error was raised:

        instrument: -222 Data out of range
    """

    def __init__(
        self,
        status: int,
        description: str,
        function: str,
        entries: tuple[InstrumentErrorEntry, ...] = (),
    ) -> None:
        super().__init__(status, description, function)
        self.entries = entries

    def __str__(self) -> str:
        text = super().__str__()
        if self.entries:
            text += "; instrument: " + "; ".join(str(entry) for entry in self.entries)
        return text


class TimeoutError(DriverError):  # noqa: A001 - qmdc.TimeoutError, as the driver calls it
    """The instrument did not answer within the I/O timeout."""


class ConnectionLostError(DriverError):
    """The connection to the instrument was closed or broke."""


# Shown as qmdc.<name>, where a caller finds them.
for _class in (DriverError, InstrumentError, TimeoutError, ConnectionLostError):
    _class.__module__ = "qmdc"
InstrumentErrorEntry.__module__ = "qmdc"

# The exception class of each status that has one of its own.
_CLASSES: dict[int, type[DriverError]] = {
    VI_ERROR_TMO: TimeoutError,
    QMDC_ERROR_IO_TIMEOUT: TimeoutError,
    VI_ERROR_CONN_LOST: ConnectionLostError,
}


def error_class(status: int) -> type[DriverError]:
    """The class of the exception a failed call with status raises."""
    return _CLASSES.get(status & 0xFFFFFFFF, DriverError)
