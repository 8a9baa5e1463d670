"""Failures raise qmdc.DriverError with the status and the driver's
description, from a session and from a failed init."""

from __future__ import annotations

import contextlib
import socket
from collections.abc import Iterator
from typing import Any, Callable

import pytest

import qmdc

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
    assert str(error).startswith(f"{function}: {status} ")


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
