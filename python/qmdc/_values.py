"""Checks of the values a caller hands to the driver: a Python-side mistake is a
TypeError or ValueError here, before anything reaches the C interface."""

from __future__ import annotations

import enum
import math
from typing import TypeVar

INT32_RANGE = range(-(2**31), 2**31)
UINT32_RANGE = range(2**32)

E = TypeVar("E", bound=enum.IntEnum)


def _is_integer(value: object) -> bool:
    return isinstance(value, int) and not isinstance(value, bool)


def as_int(value: object, what: str, bounds: range = INT32_RANGE) -> int:
    if not _is_integer(value):
        raise TypeError(f"{what} takes an int, not {type(value).__name__}")
    assert isinstance(value, int)
    value = int(
        value
    )  # an IntEnum member as a plain int: range() would search subclasses one by one
    if not bounds.start <= value < bounds.stop:
        raise ValueError(
            f"{what} takes an int from {bounds.start} to {bounds.stop - 1}, not {value}"
        )
    return value


def as_real(value: object, what: str) -> float:
    if not (isinstance(value, float) or _is_integer(value)):
        raise TypeError(f"{what} takes a float, not {type(value).__name__}")
    assert isinstance(value, (int, float))
    if not math.isfinite(value):
        # A supply is never sent "nan" or "inf": no setting means either.
        raise ValueError(f"{what} takes a finite float, not {value}")
    return float(value)


def as_bool(value: object, what: str) -> bool:
    if not isinstance(value, bool):
        raise TypeError(f"{what} takes a bool, not {type(value).__name__}")
    return value


def as_enum(cls: type[E], value: object, what: str) -> E:
    """A member of cls, given as the member or as its number."""
    number = as_int(value, what)
    try:
        return cls(number)
    except ValueError:
        names = ", ".join(f"{m.name} ({m.value})" for m in cls)
        raise ValueError(f"{what} takes a {cls.__name__}: {names}; not {number}") from None


def as_text(value: object, what: str) -> bytes:
    """Text for a C string: UTF-8, without NUL characters."""
    if not isinstance(value, str):
        raise TypeError(f"{what} takes a str, not {type(value).__name__}")
    if "\0" in value:
        raise ValueError(f"{what} cannot hold a NUL character")
    return value.encode()


def as_channel(value: object) -> bytes | None:
    """A channel name, or None (VI_NULL) for the one output."""
    return None if value is None else as_text(value, "channel")


def from_text(raw: bytes) -> str:
    return raw.decode(errors="replace")
