"""Failures raise qmdc.DriverError with the status and the driver's
description, from a session and from a failed init; a failed property names
itself and the value; the instrument's own errors, timeouts and lost
connections raise kinds of DriverError of their own, against the emulator."""

from __future__ import annotations

import contextlib
import socket
from collections.abc import Iterator
from typing import Any, Callable

import pytest

import qmdc
from conftest import Emulator

SIMULATED = "TCPIP0::127.0.0.1::5025::SOCKET"


@pytest.mark.parametrize(
    "call, status, words, function",
    [
        (lambda s: s.configure_ovp(False, 10.0), "0xBFFA0013", "VI_FALSE", "QmDC_ConfigureOVP"),
        (
            lambda s: s.configure_current_limit(qmdc.CurrentLimitBehavior.REGULATE, 1.0),
            "0xBFFA0013",
            "QMDC_VAL_CURRENT_REGULATE",
            "QmDC_ConfigureCurrentLimit",
        ),
        (
            lambda s: s.configure_output_range(2, 1.0),
            "0xBFFA0010",
            "RangeType",
            "QmDC_ConfigureOutputRange",
        ),
        (
            lambda s: s.configure_output_range(0, 77.01),
            "0xBFFA0010",
            "77.010000",
            "QmDC_ConfigureOutputRange",
        ),
        (
            lambda s: setattr(s, "simulate", False),
            "0xBFFA0062",
            "simulation state",
            "QmDC_SetAttributeViBoolean",
        ),
        (
            lambda s: setattr(s, "interchange_check", True),
            "0xBFFA0013",
            "Interchange",
            "QmDC_SetAttributeViBoolean",
        ),
        (
            lambda s: s.system_io_session,
            "0xBFFA4214",
            "simulation mode",
            "QmDC_GetAttributeViSession",
        ),
        (lambda s: s.write(b"*IDN?\n"), "0xBFFA4214", "simulation mode", "QmDC_viWrite"),
        # Unsupported functions record nothing: the driver's message names them.
        (lambda s: s.initiate(), "0xBFFA0011", "function 'QmDC_Initiate'", "QmDC_Initiate"),
        (
            lambda s: s.get_next_interchange_warning(),
            "0xBFFA0011",
            "",
            "QmDC_GetNextInterchangeWarning",
        ),
    ],
)
def test_a_failed_call_raises_the_status_and_the_description(
    call: Callable[[qmdc.Session], Any], status: str, words: str, function: str
) -> None:
    with qmdc.Session(SIMULATED, simulate=True) as session:
        with pytest.raises(qmdc.DriverError) as raised:
            call(session)
    error = raised.value
    assert (error.status_hex, error.function) == (status, function)
    assert error.status == int(status, 16) - 2**32
    assert words in error.description
    assert f"{function}: {status} {error.description}" in str(error)


def test_a_description_is_not_shown_twice() -> None:
    with qmdc.Session(SIMULATED, simulate=True) as session:
        with pytest.raises(qmdc.DriverError, match="RangeType"):
            session.configure_output_range(2, 1.0)
        with pytest.raises(qmdc.DriverError) as raised:
            session.abort()  # records nothing
    assert "RangeType" not in raised.value.description


@contextlib.contextmanager
def closed_port() -> Iterator[int]:
    """A loopback port bound but never listening, held while in use: a
    connection is refused, and no other socket can take the port meanwhile."""
    with socket.socket() as bound:
        bound.bind(("127.0.0.1", 0))
        yield int(bound.getsockname()[1])


@pytest.mark.parametrize(
    "arguments, status, words",
    [
        (dict(simulate=True, options="Bogus=1"), "0xBFFA004B", "bogus"),
        (dict(simulate=True, options="Cache=maybe"), "0xBFFA004C", "maybe"),
        (dict(simulate=True, options="InterchangeCheck=1"), None, "nterchange"),
    ],
)
def test_a_failed_init_raises_the_description_of_the_thread(
    arguments: dict[str, Any], status: str | None, words: str
) -> None:
    with pytest.raises(qmdc.DriverError) as raised:
        qmdc.Session(SIMULATED, **arguments)
    assert raised.value.function == "QmDC_InitWithOptions"
    assert status is None or raised.value.status_hex == status
    assert words in raised.value.description


def test_a_connection_refused_is_described_by_the_visa_library() -> None:
    with closed_port() as port, pytest.raises(qmdc.DriverError) as raised:
        qmdc.Session(f"TCPIP0::127.0.0.1::{port}::SOCKET")
    assert raised.value.status_hex.startswith("0xBFFF")  # a VISA status, passed on
    assert raised.value.description not in ("", "(no description)")


@pytest.mark.parametrize(
    "arguments, error",
    [
        (dict(simulate=1), TypeError),
        (dict(model="Rack, 30-70 QM"), ValueError),
        (dict(options="Simulate=1\0"), ValueError),
        (dict(id_query="yes"), TypeError),
    ],
)
def test_bad_init_arguments_raise_before_the_driver_is_called(
    arguments: dict[str, Any], error: type
) -> None:
    with pytest.raises(error):
        qmdc.Session(SIMULATED, **arguments)


@pytest.mark.parametrize(
    "call, message",
    [
        (
            lambda s: setattr(s, "simulate", False),
            "setting simulate to False: QmDC_SetAttributeViBoolean: 0xBFFA0062 ",
        ),
        (
            lambda s: s.channel("CH9").voltage_level,
            "reading voltage_level: QmDC_GetAttributeViReal64: 0xBFFA0067 ",
        ),
        # The driver leaves the attribute's name to the caller: no "%s" shows.
        (
            lambda s: s.trigger_source,
            "reading trigger_source: QmDC_GetAttributeViInt32: 0xBFFA0012 Does not support this "
            "class-compliant feature: attribute 'QMDC_ATTR_TRIGGER_SOURCE'.",
        ),
        (
            lambda s: setattr(s, "triggered_voltage_level", 2.5),
            "setting triggered_voltage_level to 2.5: QmDC_SetAttributeViReal64: 0xBFFA0012 "
            "Does not support this class-compliant feature: attribute "
            "'QMDC_ATTR_TRIGGERED_VOLTAGE_LEVEL'.",
        ),
    ],
)
def test_a_failed_property_names_the_attribute_and_the_value(
    simulated: qmdc.Session, call: Callable[[qmdc.Session], Any], message: str
) -> None:
    with pytest.raises(qmdc.DriverError) as raised:
        call(simulated)
    assert str(raised.value).startswith(message)
    assert "%s" not in str(raised.value)


@pytest.mark.parametrize(
    "options, name, value, entries",
    [
        (dict(), "voltage_level", 99.0, [(-222, "Data out of range")]),  # a 30 V supply
        (dict(), "over_current_protection_level", -1.0, [(-222, "Data out of range")]),
        (dict(options="Cache=0"), "current_level", 1000, [(-222, "Data out of range")]),
        # The caller's option string decides over the keyword.
        (dict(options="QueryInstrStatus=0"), "voltage_level", 99.0, None),
        (dict(query_instr_status=False), "voltage_level", 99.0, None),
    ],
)
def test_a_value_the_instrument_refuses_raises_its_error(
    emulator: Emulator,
    options: dict[str, Any],
    name: str,
    value: Any,
    entries: list[tuple[int, str]] | None,
) -> None:
    with qmdc.Session(emulator.resource, reset=True, **options) as session:
        if entries is None:  # not checked: the set passes, the error waits in the queue
            setattr(session, name, value)
            assert session.error_query() == (-222, "Data out of range")
            return
        with pytest.raises(qmdc.InstrumentError) as raised:
            setattr(session, name, value)
        assert session.error_query().code == 0  # the entries were taken out of the queue
    error = raised.value
    assert (error.status_hex, error.attribute, error.value) == ("0xBFFA0001", name, value)
    assert error.entries == tuple(entries)
    instrument = "; ".join(f"{code} {message}" for code, message in entries)
    assert str(error).endswith(f"; instrument: {instrument}")
    assert f"setting {name} to {value!r}: " in str(error)


def test_a_timeout_and_a_lost_connection_have_exceptions_of_their_own() -> None:
    silent, dropping = Emulator("--no-reply", "VOLT?"), Emulator("--drop-after", "4")
    try:
        with qmdc.Session(silent.resource) as session:
            session.cache, session.system_io_timeout = False, 200
            with pytest.raises(qmdc.TimeoutError) as timed_out:
                session.voltage_level
            session.current_level = 1.0  # the session goes on
        with pytest.raises(qmdc.ConnectionLostError) as lost:
            with qmdc.Session(dropping.resource, options="Cache=0") as session:
                for _ in range(10):
                    session.voltage_level
    finally:
        silent.stop()
        dropping.stop()
    assert timed_out.value.status_hex == "0xBFFF0015"
    assert lost.value.status_hex == "0xBFFF00A6"
    for error in (timed_out.value, lost.value):
        assert isinstance(error, qmdc.DriverError)
        assert not isinstance(error, qmdc.InstrumentError)
