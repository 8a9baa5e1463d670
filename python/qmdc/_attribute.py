"""A driver attribute as a typed property of a session or of one output."""

from __future__ import annotations

import contextlib
import ctypes
import difflib
import enum
from typing import Any, Generic, Iterator, TypeVar, overload

from . import _values
from ._errors import NO_VALUE, DriverError

T = TypeVar("T")

# The longest text attribute, terminator included.
MAX_STRING_ATTRIBUTE_LENGTH = 4096

# For each value type: the C type of a value, and the check of a Python value.
_SCALARS: dict[str, tuple[Any, Any]] = {
    "ViInt32": (ctypes.c_int32, _values.as_int),
    "ViReal64": (ctypes.c_double, _values.as_real),
    "ViBoolean": (ctypes.c_uint16, _values.as_bool),
    "ViSession": (ctypes.c_uint32, lambda v, what: _values.as_int(v, what, _values.UINT32_RANGE)),
}


class Attribute(Generic[T]):
    """One row of the driver's attribute table; reading and writing the
    property goes through QmDC_GetAttribute<type> / QmDC_SetAttribute<type>
    with the owner's session and channel (see AttributeOwner)."""

    def __init__(
        self,
        id: int,
        c_name: str,
        c_type: str,
        writable: bool = False,
        values: type[enum.IntEnum] | None = None,
        doc: str = "",
    ) -> None:
        self.id = id
        self.c_name = c_name
        self.c_type = c_type
        self.writable = writable
        self.values = values
        self.name = c_name.removeprefix("QMDC_ATTR_").lower()
        self.__doc__ = f"{c_name} ({id}): {doc}" if doc else c_name

    def __set_name__(self, owner: type, name: str) -> None:
        self.name = name

    @overload
    def __get__(self, owner: None, owner_type: type | None = None) -> Attribute[T]:
        ...

    @overload
    def __get__(self, owner: object, owner_type: type | None = None) -> T:
        ...

    def __get__(self, owner: object, owner_type: type | None = None) -> Any:
        if owner is None:
            return self
        assert isinstance(owner, AttributeOwner)
        return self.read(owner)

    def __set__(self, owner: object, value: T) -> None:
        if not self.writable:
            raise AttributeError(f"{self.name} ({self.c_name}) is read-only")
        assert isinstance(owner, AttributeOwner)
        self.write(owner, value)

    @contextlib.contextmanager
    def _naming_failures(self, value: Any = NO_VALUE) -> Iterator[None]:
        """A DriverError raised in the block names this attribute (and the
        value being set)."""
        try:
            yield
        except DriverError as error:
            error.attribute, error.value = self.name, value
            raise

    def _call(self, owner: AttributeOwner, function: str, *arguments: Any) -> None:
        owner._invoke(function, owner._channel, self.id, *arguments, subject=self.c_name)

    def read(self, owner: AttributeOwner) -> Any:
        with self._naming_failures():
            return self._read(owner)

    def _read(self, owner: AttributeOwner) -> Any:
        if self.c_type == "ViString":
            text = ctypes.create_string_buffer(MAX_STRING_ATTRIBUTE_LENGTH)
            self._call(owner, "QmDC_GetAttributeViString", len(text), text)
            return _values.from_text(text.value)
        c_value_type, _ = _SCALARS[self.c_type]
        value = c_value_type()
        self._call(owner, f"QmDC_GetAttribute{self.c_type}", ctypes.byref(value))
        if self.c_type == "ViBoolean":
            return bool(value.value)
        if self.values is not None:
            try:
                return self.values(value.value)
            except ValueError:
                return value.value  # a number the enum does not name; the instrument's business
        return value.value

    def write(self, owner: AttributeOwner, value: Any) -> None:
        if self.c_type == "ViString":
            c_value: Any = _values.as_text(value, self.name)
        elif self.values is not None:
            c_value = _values.as_enum(self.values, value, self.name)
        else:
            c_value = _SCALARS[self.c_type][1](value, self.name)
        with self._naming_failures(value):
            self._call(owner, f"QmDC_SetAttribute{self.c_type}", c_value)


def _unknown(owner: object, name: str, settable: bool) -> AttributeError:
    """The error for a name the owner's class does not have, with the names
    closest to it (of the properties that can be set, for a set)."""
    cls = type(owner)
    kind = cls.__name__
    public = [n for n in dir(cls) if not n.startswith("_")]
    if settable:
        public = [n for n in public if hasattr(getattr(cls, n), "__set__")]
    close = difflib.get_close_matches(name.lower(), public, n=3, cutoff=0.6)
    hint = f"; did you mean {' or '.join(repr(n) for n in close)}?" if close else ""
    return AttributeError(f"qmdc.{kind} has no attribute {name!r}{hint}")


class AttributeOwner:
    """What an attribute is read and written through: a session handle and a
    channel name (None: the one output).

    Only the properties of the class can be set: a misspelled name raises
    AttributeError (naming the closest names) instead of holding the value
    in a new Python attribute that the driver never sees."""

    _channel: bytes | None = None

    def _invoke(self, function: str, *arguments: Any, subject: str | None = None) -> int:
        raise NotImplementedError

    def __setattr__(self, name: str, value: Any) -> None:
        if not name.startswith("_") and not hasattr(getattr(type(self), name, None), "__set__"):
            if hasattr(type(self), name):
                kind = type(self).__name__
                raise AttributeError(f"{name} of qmdc.{kind} is a method: it cannot be set")
            raise _unknown(self, name, settable=True)
        object.__setattr__(self, name, value)

    def __getattr__(self, name: str) -> Any:
        # Called only for names that ordinary lookup did not find.
        if name.startswith("_"):
            raise AttributeError(name)
        raise _unknown(self, name, settable=False)
