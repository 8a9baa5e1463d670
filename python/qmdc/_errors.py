"""The exception a failed driver call raises."""

from __future__ import annotations


class DriverError(Exception):
    """A QmDC_* function returned an error status.

    status is the ViStatus as the driver returned it (a negative int),
    status_hex the same as the driver's documentation writes it
    ("0xBFFA000D"), description the driver's text for it and function the
    C function that failed.
    """

    def __init__(self, status: int, description: str, function: str) -> None:
        self.status = status
        self.description = description
        self.function = function
        super().__init__(f"{function}: {self.status_hex} {description}")

    @property
    def status_hex(self) -> str:
        return f"0x{self.status & 0xFFFFFFFF:08X}"
