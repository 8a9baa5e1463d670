"""Sessions: options, the context manager, the functions as methods (in
simulation)."""

from __future__ import annotations

import ctypes
import gc
import inspect
import re
from pathlib import Path
from typing import Any, Callable

import pytest

import qmdc
from qmdc._library import library
from qmdc._session import option_string

SIMULATED = "TCPIP0::127.0.0.1::5025::SOCKET"
INVALID_SESSION = "0xBFFA1190"


def session_is_gone(vi: int) -> bool:
    """Whether the driver no longer knows the handle vi."""
    value = ctypes.c_int32()
    try:
        library().call("QmDC_GetAttributeViInt32", vi, None, 1050203, ctypes.byref(value))
    except qmdc.DriverError as error:
        return error.status_hex == INVALID_SESSION
    return False


def test_the_context_manager_closes_the_session() -> None:
    with qmdc.Session(SIMULATED, simulate=True) as session:
        vi = session.handle
        assert not session.closed
        assert not session_is_gone(vi)
    assert session.closed
    assert session_is_gone(vi)
    with pytest.raises(ValueError, match="closed"):
        session.voltage_level
    session.close()  # again: nothing happens


def test_a_session_left_to_the_collector_is_closed() -> None:
    session = qmdc.Session(SIMULATED, simulate=True)
    vi = session.handle
    del session
    gc.collect()
    assert session_is_gone(vi)


@pytest.mark.parametrize(
    "simulate, model, options, expected",
    [
        (None, None, "", ""),
        (True, None, "", "Simulate=1"),
        (False, None, "Cache=0", "Simulate=0, Cache=0"),
        (True, "Bench 50-20 QM", "", "Simulate=1, DriverSetup=Model:Bench 50-20 QM"),
        (None, "Rack 30-70 QM", "DriverSetup=Trace:1", "DriverSetup=Trace:1, Model:Rack 30-70 QM"),
    ],
)
def test_the_option_string(
    simulate: bool | None, model: str | None, options: str, expected: str
) -> None:
    assert option_string(simulate, model, options) == expected


@pytest.mark.parametrize(
    "query_instr_status, options, expected",
    [
        (True, "", "QueryInstrStatus=1"),
        (False, "Cache=0", "QueryInstrStatus=0, Cache=0"),
        (None, "", ""),
        (True, "queryinstrstatus = 0", "queryinstrstatus = 0"),  # the option string decides
        (  # a DriverSetup pair of that name is not the option
            True,
            "DriverSetup=QueryInstrStatus=0",
            "QueryInstrStatus=1, DriverSetup=QueryInstrStatus=0",
        ),
    ],
)
def test_the_status_check_option(
    query_instr_status: bool | None, options: str, expected: str
) -> None:
    assert option_string(None, None, options, query_instr_status) == expected


@pytest.mark.parametrize(
    "arguments, checked",
    [
        (dict(), True),
        (dict(query_instr_status=False), False),
        (dict(options="QueryInstrStatus=0"), False),
    ],
)
def test_a_session_checks_the_instrument_status_by_default(
    arguments: dict[str, Any], checked: bool
) -> None:
    with qmdc.Session(SIMULATED, simulate=True, model="Bench 50-20 QM", **arguments) as session:
        assert session.query_instrument_status is checked
        assert repr(session) == f"<qmdc.Session {SIMULATED!r} 'Bench 50-20 QM' vi={session.handle}>"
    assert repr(session) == f"<qmdc.Session {SIMULATED!r} 'Bench 50-20 QM' closed>"


@pytest.mark.parametrize(
    "model, voltage, max_current",
    [("Rack 30-70 QM", 30.0, 50.0), ("Rack 30-70 QM", 10.0, 70.0), ("Bench 50-20 QM", 50.0, 12.0)],
)
def test_the_simulated_model_gives_the_ratings(
    model: str, voltage: float, max_current: float
) -> None:
    with qmdc.Session(
        SIMULATED, simulate=True, model=model, options="QueryInstrStatus=1"
    ) as session:
        assert session.instrument_model == model
        assert session.query_instrument_status is True
        assert session.query_max_current_limit(voltage) == pytest.approx(max_current)


@pytest.mark.parametrize(
    "call, expected",
    [
        (lambda s: s.self_test(), qmdc.SelfTestResult(0, "Selftest passed")),
        (lambda s: s.revision_query().driver, "1.0.0.0"),
        (lambda s: s.error_query(), qmdc.InstrumentErrorEntry(0, "No error.")),
        (lambda s: s.channel_name(1), "CH1"),
        (lambda s: s.measure(qmdc.MeasurementType.VOLTAGE), 0.0),
        (lambda s: s.measure_current(), 0.0),
        (lambda s: s.query_output_state(qmdc.OutputState.CONSTANT_VOLTAGE), True),
        (lambda s: s.query_output_state(qmdc.OutputState.OVER_CURRENT), False),
        (lambda s: s.query_max_voltage_level(70.0), pytest.approx(1500 / 70)),
        (lambda s: s.get_next_coercion_record(), ""),
        (lambda s: s.configure_output_range(1, 33.0), None),
    ],
)
def test_functions_answer_in_simulation(
    simulated: qmdc.Session, call: Callable[[qmdc.Session], Any], expected: Any
) -> None:
    assert call(simulated) == expected


def test_generated_actions_and_configure_functions(simulated: qmdc.Session) -> None:
    simulated.set_max_power_level()
    assert simulated.power_level == 600.0
    simulated.set_min_current_level()
    assert simulated.current_level == 0.0
    simulated.configure_current_limit(qmdc.CurrentLimitBehavior.TRIP, 2.5)
    simulated.configure_ovp(True, 15.0)
    assert simulated.over_current_protection_level == 2.5
    simulated.reset()  # forgets stored values
    assert simulated.current_level == 3.5
    assert "inherent options" in (qmdc.Session.reset_with_defaults.__doc__ or "")


def test_the_lock_is_held_for_a_block(simulated: qmdc.Session) -> None:
    with simulated.locked():
        simulated.voltage_level = 1.0
    simulated.voltage_level = 2.0  # released: the same thread goes on


HEADER = (Path(__file__).resolve().parents[2] / "include" / "QmDC.h").read_text()
HEADER_SECTIONS = re.findall(r"/\*-\s*([^\n]+?)\s*-{3,}", HEADER)


def test_every_public_name_has_its_own_docstring() -> None:
    """help(qmdc.Session) documents each method and property; none shows a
    section heading of the C header as its documentation."""
    assert {"Lifecycle", "Trigger functions", "Utility"} <= set(HEADER_SECTIONS)
    for cls in (qmdc.Session, qmdc.Channel):
        for name in dir(cls):
            if name.startswith("_"):
                continue
            doc = inspect.getdoc(getattr(cls, name)) or ""
            assert doc.strip(), f"{cls.__name__}.{name} has no docstring"
            assert not doc.startswith(tuple(HEADER_SECTIONS)), (name, doc)
