"""A driver session: the attributes as properties, the functions as methods."""

from __future__ import annotations

import contextlib
import ctypes
import re
import weakref
from typing import Any, Iterator, NamedTuple

from ._attributes import (
    ChannelAttributes,
    CurrentLimitBehavior,
    MeasurementType,
    OutputState,
    SessionAttributes,
)
from ._errors import InstrumentErrorEntry
from ._functions import Actions
from ._library import VI_NULL, Library, library
from ._values import as_bool, as_channel, as_enum, as_int, as_real, as_text, from_text

# The size of the text outputs the driver documents as ViChar[256].
_MESSAGE_SIZE = 256


class SelfTestResult(NamedTuple):
    """What Session.self_test() answers."""

    code: int  # 0 is a pass
    message: str


class Revision(NamedTuple):
    """What Session.revision_query() answers."""

    driver: str
    instrument: str


# An option string names QueryInstrStatus (in any letter case) before its DriverSetup.
_NAMES_QUERY_INSTR_STATUS = re.compile(r"queryinstrstatus\s*=", re.IGNORECASE)


def option_string(
    simulate: bool | None, model: str | None, options: str, query_instr_status: bool | None = None
) -> str:
    """The option string of QmDC_InitWithOptions: Simulate and QueryInstrStatus
    first (the latter unless the caller's options name it), the caller's
    options, and the simulated model as a DriverSetup entry, which runs to the
    end of the string."""
    parts = [] if simulate is None else [f"Simulate={int(as_bool(simulate, 'simulate'))}"]
    as_text(options, "options")
    own_options = re.split(r"driversetup\s*=", options, maxsplit=1, flags=re.IGNORECASE)[0]
    if query_instr_status is not None and not _NAMES_QUERY_INSTR_STATUS.search(own_options):
        checked = as_bool(query_instr_status, "query_instr_status")
        parts.append(f"QueryInstrStatus={int(checked)}")
    if options.strip():
        parts.append(options.strip())
    if model is not None:
        as_text(model, "model")
        if "," in model or "\n" in model:
            raise ValueError(f"a model name has no comma or line break: {model!r}")
        has_setup = "driversetup" in options.lower()
        parts.append(f"Model:{model}" if has_setup else f"DriverSetup=Model:{model}")
    return ", ".join(parts)


def _close(dll: Library, vi: int) -> None:
    """Closes a session that was not closed by its owner (finalizer)."""
    with contextlib.suppress(Exception):
        dll.call("QmDC_close", vi)


class Session(SessionAttributes, Actions):
    """A session of the driver on a supply (or simulated), opened by
    QmDC_InitWithOptions and closed by close() or at the end of a with block:

        with qmdc.Session("TCPIP0::127.0.0.1::5025::SOCKET", simulate=True) as s:
            s.voltage_level = 12.0

    resource: a VISA resource name or a logical name of the configuration
    store. id_query and reset are those of QmDC_InitWithOptions (QmDC.h
    says what each does). simulate (None: as the configuration store says)
    and model (the model simulated) are added to options, an option string
    such as "Cache=0".

    query_instr_status (default True) has the driver read the instrument's
    status after each operation, so that a value the instrument refuses
    raises qmdc.InstrumentError with the instrument's own error
    ("instrument: -222 Data out of range") instead of passing unnoticed; the
    driver then also clears the instrument's status and error queue at init.
    False saves that query, None leaves it to the configuration store. An
    option string that names QueryInstrStatus decides instead.

    The channel attributes name the one output; channel("CH1") names it
    explicitly. Failures raise qmdc.DriverError (qmdc.TimeoutError and
    qmdc.ConnectionLostError for a silent or lost instrument); a misspelled
    property raises AttributeError.
    """

    def __init__(
        self,
        resource: str,
        *,
        id_query: bool = True,
        reset: bool = False,
        simulate: bool | None = None,
        model: str | None = None,
        options: str = "",
        query_instr_status: bool | None = True,
    ) -> None:
        self._lib = library()
        self._vi = VI_NULL
        self._resource = resource
        vi = ctypes.c_uint32()
        self._lib.call(
            "QmDC_InitWithOptions",
            as_text(resource, "resource"),
            as_bool(id_query, "id_query"),
            as_bool(reset, "reset"),
            option_string(simulate, model, options, query_instr_status).encode(),
            ctypes.byref(vi),
        )
        self._vi = vi.value
        self._finalizer = weakref.finalize(self, _close, self._lib, self._vi)
        self._model = self.instrument_model

    # -- the session's life ----------------------------------------------
    def __enter__(self) -> Session:
        return self

    def __exit__(self, *exc_info: object) -> None:
        self.close()

    @property
    def closed(self) -> bool:
        """Whether close() has run."""
        return self._vi == VI_NULL

    @property
    def handle(self) -> int:
        """The ViSession, for calling libqmdc.so directly."""
        if self._vi == VI_NULL:
            raise ValueError("the session is closed")
        return self._vi

    def close(self) -> None:
        """Closes the session (QmDC_close); closing again does nothing."""
        if self._vi == VI_NULL:
            return
        vi, self._vi = self._vi, VI_NULL
        self._finalizer.detach()
        self._lib.call("QmDC_close", vi)

    def _invoke(self, function: str, *arguments: Any, subject: str | None = None) -> int:
        return self._lib.call(function, self.handle, *arguments, subject=subject)

    def __repr__(self) -> str:
        state = "closed" if self.closed else f"vi={self._vi}"
        return f"<qmdc.Session {self._resource!r} {self._model!r} {state}>"

    @contextlib.contextmanager
    def locked(self) -> Iterator[None]:
        """Holds the session's lock for this thread while the block runs."""
        self._invoke("QmDC_LockSession", None)
        try:
            yield
        finally:
            self._invoke("QmDC_UnlockSession", None)

    # -- channels ----------------------------------------------------------
    def channel(self, name: str) -> Channel:
        """The attributes of one output, named "CH1" (or by a virtual name)."""
        return Channel(self, name)

    def channel_name(self, index: int) -> str:
        """The physical name of output index (1-based)."""
        needed = ctypes.create_string_buffer(1)  # size 0: the answer is the size needed
        size = self._invoke("QmDC_GetChannelName", as_int(index, "index"), 0, needed)
        name = ctypes.create_string_buffer(max(size, 1))
        self._invoke("QmDC_GetChannelName", index, len(name), name)
        return from_text(name.value)

    # -- utility -----------------------------------------------------------
    def self_test(self) -> SelfTestResult:
        """Runs the instrument's self-test ("*TST?"); code 0 is a pass."""
        code, message = ctypes.c_int16(), ctypes.create_string_buffer(_MESSAGE_SIZE)
        self._invoke("QmDC_self_test", ctypes.byref(code), message)
        return SelfTestResult(code.value, from_text(message.value))

    def revision_query(self) -> Revision:
        """The driver's revision and the instrument's firmware revision."""
        driver, instrument = (ctypes.create_string_buffer(_MESSAGE_SIZE) for _ in range(2))
        self._invoke("QmDC_revision_query", driver, instrument)
        return Revision(from_text(driver.value), from_text(instrument.value))

    def error_query(self) -> InstrumentErrorEntry:
        """Takes the oldest entry of the instrument's error queue (code 0: it
        was empty)."""
        code, message = ctypes.c_int32(), ctypes.create_string_buffer(_MESSAGE_SIZE)
        self._invoke("QmDC_error_query", ctypes.byref(code), message)
        return InstrumentErrorEntry(code.value, from_text(message.value))

    def _text(self, function: str) -> str:
        text = ctypes.create_string_buffer(_MESSAGE_SIZE)
        self._invoke(function, len(text), text)
        return from_text(text.value)

    def get_next_error(self) -> str:
        """The oldest error queue entry as the instrument sends it."""
        return self._text("QmDC_GetNextError")

    def get_next_coercion_record(self) -> str:
        """The oldest coercion record; always "": the driver never coerces a value."""
        return self._text("QmDC_GetNextCoercionRecord")

    def get_next_interchange_warning(self) -> str:
        """Raises DriverError: interchange checking is not supported."""
        return self._text("QmDC_GetNextInterchangeWarning")

    # -- output configuration (IviDCPwrBase) -----------------------------
    def configure_output_enabled(self, enabled: bool, channel: str | None = None) -> None:
        """Switches the output on or off."""
        self._invoke(
            "QmDC_ConfigureOutputEnabled", as_channel(channel), as_bool(enabled, "enabled")
        )

    def configure_output_range(
        self, range_type: int, range: float, channel: str | None = None
    ) -> None:
        """range_type 0: range is in amperes, 1: in volts."""
        self._invoke(
            "QmDC_ConfigureOutputRange",
            as_channel(channel),
            as_int(range_type, "range_type"),
            as_real(range, "range"),
        )

    def configure_current_limit(
        self, behavior: CurrentLimitBehavior, limit: float, channel: str | None = None
    ) -> None:
        """behavior must be TRIP; limit (amperes) is the over-current level."""
        self._invoke(
            "QmDC_ConfigureCurrentLimit",
            as_channel(channel),
            as_enum(CurrentLimitBehavior, behavior, "behavior"),
            as_real(limit, "limit"),
        )

    def configure_ovp(self, enabled: bool, limit: float, channel: str | None = None) -> None:
        """enabled must be True; limit is the over-voltage level, volts."""
        self._invoke(
            "QmDC_ConfigureOVP",
            as_channel(channel),
            as_bool(enabled, "enabled"),
            as_real(limit, "limit"),
        )

    def configure_voltage_level(self, level: float, channel: str | None = None) -> None:
        """The output voltage setpoint, volts."""
        self._invoke("QmDC_ConfigureVoltageLevel", as_channel(channel), as_real(level, "level"))

    def reset_output_protection(self, channel: str | None = None) -> None:
        """Switches the output back on after a protection tripped."""
        self._invoke("QmDC_ResetOutputProtection", as_channel(channel))

    def _query(self, function: str, channel: str | None, argument: Any, result: Any) -> Any:
        """Calls function(vi, channel, argument, &result); returns the result."""
        self._invoke(function, as_channel(channel), argument, ctypes.byref(result))
        return result.value

    def query_max_current_limit(self, voltage_level: float, channel: str | None = None) -> float:
        """The largest current limit (amperes) at voltage_level within the rating."""
        level = as_real(voltage_level, "voltage_level")
        return float(self._query("QmDC_QueryMaxCurrentLimit", channel, level, ctypes.c_double()))

    def query_max_voltage_level(self, current_limit: float, channel: str | None = None) -> float:
        """The largest voltage level (volts) at current_limit within the rating."""
        limit = as_real(current_limit, "current_limit")
        return float(self._query("QmDC_QueryMaxVoltageLevel", channel, limit, ctypes.c_double()))

    def query_output_state(self, state: OutputState, channel: str | None = None) -> bool:
        """Whether the output is in state, from the condition registers."""
        checked = as_enum(OutputState, state, "state")
        return bool(self._query("QmDC_QueryOutputState", channel, checked, ctypes.c_uint16()))

    def measure(self, measurement_type: MeasurementType, channel: str | None = None) -> float:
        """The output voltage (volts) or current (amperes) as measured now."""
        checked = as_enum(MeasurementType, measurement_type, "measurement_type")
        return float(self._query("QmDC_Measure", channel, checked, ctypes.c_double()))

    # -- triggering: the supply has none ---------------------------------------
    def configure_trigger_source(self, source: int, channel: str | None = None) -> None:
        """Raises DriverError: the supply has no trigger."""
        self._invoke("QmDC_ConfigureTriggerSource", as_channel(channel), as_int(source, "source"))

    def configure_triggered_voltage_level(self, level: float, channel: str | None = None) -> None:
        """Raises DriverError: the supply has no trigger."""
        self._invoke(
            "QmDC_ConfigureTriggeredVoltageLevel", as_channel(channel), as_real(level, "level")
        )

    def configure_triggered_current_limit(self, limit: float, channel: str | None = None) -> None:
        """Raises DriverError: the supply has no trigger."""
        self._invoke(
            "QmDC_ConfigureTriggeredCurrentLimit", as_channel(channel), as_real(limit, "limit")
        )

    # -- instrument-specific -------------------------------------------------
    def _measured(self, function: str) -> float:
        result = ctypes.c_double()
        self._invoke(function, ctypes.byref(result))
        return result.value

    def measure_voltage(self) -> float:
        """The output voltage as measured now, volts."""
        return self._measured("QmDC_MeasureVoltage")

    def measure_current(self) -> float:
        """The output current as measured now, amperes."""
        return self._measured("QmDC_MeasureCurrent")

    def calculate_remote_sense_resistance(self, value: float) -> None:
        """Starts the calculation at value ohms; see remote_sense_calculation_status."""
        self._invoke("QmDC_CalculateRemoteSenseResistance", as_real(value, "value"))

    def _calibrate(self, function: str, values: tuple[float, ...]) -> None:
        self._invoke(function, *(as_real(v, f"value{i}") for i, v in enumerate(values, 1)))

    def configure_current_calibration(
        self, value1: float, value2: float, value3: float, value4: float
    ) -> None:
        """Sends the four calibration coefficients of the current."""
        self._calibrate("QmDC_ConfigureCurrentCalibration", (value1, value2, value3, value4))

    def configure_voltage_calibration(
        self, value1: float, value2: float, value3: float, value4: float
    ) -> None:
        """Sends the four calibration coefficients of the voltage."""
        self._calibrate("QmDC_ConfigureVoltageCalibration", (value1, value2, value3, value4))

    # -- direct I/O (not while simulating) --------------------------------
    def write(self, data: bytes | str) -> int:
        """Writes raw bytes (a str as UTF-8); returns how many were written."""
        raw = data.encode() if isinstance(data, str) else data
        if not isinstance(raw, bytes):
            raise TypeError(f"write takes bytes or str, not {type(data).__name__}")
        written = ctypes.c_int64()
        self._invoke("QmDC_viWrite", len(raw), raw, ctypes.byref(written))
        return written.value

    def read(self, max_bytes: int = 4096) -> bytes:
        """Reads one answer of at most max_bytes (the rest of a longer one is dropped)."""
        as_int(max_bytes, "max_bytes", range(1, 2**31))
        data = ctypes.create_string_buffer(max_bytes)
        count = ctypes.c_int64()
        self._invoke("QmDC_viRead", max_bytes, data, ctypes.byref(count))
        return data.raw[: count.value]


class Channel(ChannelAttributes):
    """The channel attributes of one output of a session."""

    def __init__(self, session: Session, name: str) -> None:
        self._channel = as_text(name, "channel")
        self._session = session
        self._name = name

    @property
    def session(self) -> Session:
        """The session the output belongs to."""
        return self._session

    @property
    def name(self) -> str:
        """The channel name given to Session.channel()."""
        return self._name

    def _invoke(self, function: str, *arguments: Any, subject: str | None = None) -> int:
        return self._session._invoke(function, *arguments, subject=subject)

    def __repr__(self) -> str:
        return f"<qmdc.Channel {self.name!r} of {self.session!r}>"
