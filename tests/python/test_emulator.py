"""The binding against the emulator: its physics, the typed properties on a
real connection, direct I/O and the instrument's error queue."""

from __future__ import annotations

from typing import Any

import pytest

import qmdc
from conftest import DEFAULT_MODEL, Emulator


@pytest.mark.parametrize(
    "load_ohms, volts, amperes, state",
    [
        (10.0, 12.0, 1.2, qmdc.OutputState.CONSTANT_VOLTAGE),  # the default load
        (5.0, 12.0, 2.4, qmdc.OutputState.CONSTANT_VOLTAGE),
        (2.0, 6.0, 3.0, qmdc.OutputState.CONSTANT_CURRENT),  # 12 V would need 6 A > 3 A
    ],
)
def test_a_measurement_follows_the_load(
    instrument: qmdc.Session,
    load_ohms: float,
    volts: float,
    amperes: float,
    state: qmdc.OutputState,
) -> None:
    instrument.write(f"EMUL:LOAD {load_ohms}\n")
    instrument.current_level = 3.0
    instrument.configure_voltage_level(12.0)
    instrument.configure_current_limit(qmdc.CurrentLimitBehavior.TRIP, 5.0)
    instrument.configure_ovp(True, 15.0)
    instrument.configure_output_enabled(True)
    assert instrument.measure(qmdc.MeasurementType.VOLTAGE) == pytest.approx(volts)
    assert instrument.measure(qmdc.MeasurementType.CURRENT) == pytest.approx(amperes)
    assert instrument.query_output_state(state) is True
    instrument.write("EMUL:LOAD 10\n")


@pytest.mark.parametrize(
    "name, value",
    [
        ("voltage_level", 5.5),
        ("current_level", 2.25),
        ("over_power_protection_level", 400.0),
        ("output_enabled", True),
        ("output_enabled", False),
        ("auto_start_enabled", True),
        ("operation_enable_register", 1536),
        ("control_source", qmdc.ControlSource.LOCAL),
        ("system_io_timeout", 3000),
    ],
)
def test_a_property_round_trips_through_the_instrument(
    instrument: qmdc.Session, name: str, value: Any
) -> None:
    instrument.cache = False  # read back from the instrument, not the store
    setattr(instrument, name, value)
    read = getattr(instrument, name)
    assert read == value
    assert type(read) is type(value)


def test_identity_and_text_attributes(instrument: qmdc.Session) -> None:
    assert instrument.instrument_manufacturer == "Orvane"
    assert instrument.instrument_model == DEFAULT_MODEL
    assert instrument.simulate is False
    assert instrument.system_io_session > 0
    assert instrument.scpi_version != ""


def test_direct_io_and_the_error_queue(instrument: qmdc.Session) -> None:
    assert instrument.write(b"*IDN?\n") == 6
    assert DEFAULT_MODEL.encode() in instrument.read()
    instrument.write("NOT:A:COMMAND\n")
    error = instrument.error_query()
    assert error.code < 0 and error.message != ""
    assert instrument.error_query().code == 0


def test_the_instrument_status_check_raises(emulator: Emulator) -> None:
    with qmdc.Session(emulator.resource, options="QueryInstrStatus=1") as session:
        with pytest.raises(qmdc.DriverError) as raised:
            session.voltage_level = 1000.0  # beyond the rating: the supply flags it
    assert raised.value.status_hex == "0xBFFA0001"
    assert "ErrorQuery" in raised.value.description


def test_a_hislip_instrument_works_as_the_socket_does() -> None:
    running = Emulator("--hislip", "--model", DEFAULT_MODEL)
    try:
        assert "::hislip0," in running.resource
        with qmdc.Session(running.resource, reset=True) as session:
            assert session.instrument_model == DEFAULT_MODEL
            session.voltage_level = 5.0
            assert session.voltage_level == 5.0
            assert session.write(b"*IDN?\n") == 6
            assert DEFAULT_MODEL.encode() in session.read()
            assert session.error_query().code == 0
    finally:
        running.stop()
