"""The attributes as typed properties and the defined values as IntEnums, in
simulation; the generated tables against the C header."""

from __future__ import annotations

import re
from pathlib import Path
from typing import Any

import pytest

import qmdc
from conftest import DEFAULT_MODEL

HEADER = (Path(__file__).resolve().parents[2] / "include" / "QmDC.h").read_text()


@pytest.mark.parametrize(
    "name, value, expected",
    [
        ("current_level", 1.25, 1.25),
        ("current_level", 2, 2.0),  # an int is a fine float
        ("operation_enable_register", 512, 512),
        ("auto_start_enabled", True, True),
        ("remote_sense_enabled", False, False),
        ("control_source", qmdc.ControlSource.LOCAL, qmdc.ControlSource.LOCAL),
        ("analog_voltage_scaling_level", 2, qmdc.AnalogScalingLevel.VOLT_10),
        ("analog_output_mode", qmdc.AnalogOutputMode.SERIES, qmdc.AnalogOutputMode.SERIES),
        ("query_instrument_status", True, True),
    ],
)
def test_a_set_property_reads_back_with_its_type(
    simulated: qmdc.Session, name: str, value: Any, expected: Any
) -> None:
    setattr(simulated, name, value)
    read = getattr(simulated, name)
    assert read == expected
    assert type(read) is type(expected)


@pytest.mark.parametrize(
    "name, expected",
    [
        ("specific_driver_prefix", "QmDC"),
        ("instrument_model", DEFAULT_MODEL),
        ("scpi_version", "1999.0"),
        ("channel_count", 1),
        ("specific_driver_class_spec_major_version", 3),
        ("simulate", True),
        ("output_enabled", True),
        ("voltage_level", 0.0),
        ("current_level", 3.5),
        ("control_source", qmdc.ControlSource.REMOTE),
        ("remote_sense_calculation_status", qmdc.RemoteSenseStatus.DORMANT),
        ("current_limit_behavior", qmdc.CurrentLimitBehavior.TRIP),
    ],
)
def test_a_simulated_session_answers_with_typed_values(
    simulated: qmdc.Session, name: str, expected: Any
) -> None:
    read = getattr(simulated, name)
    assert read == expected
    assert type(read) is type(expected)


@pytest.mark.parametrize(
    "name, value, error, words",
    [
        ("voltage_level", "12", TypeError, "takes a float, not str"),
        ("voltage_level", True, TypeError, "not bool"),
        ("output_enabled", 1, TypeError, "takes a bool, not int"),
        ("operation_enable_register", 1.5, TypeError, "takes an int"),
        ("operation_enable_register", 2**31, ValueError, "2147483648"),
        ("control_source", 7, ValueError, "takes a ControlSource"),
        ("control_source", "REMOTE", TypeError, "not str"),
        ("instrument_model", "Bench 50-20 QM", AttributeError, "read-only"),
        ("channel_count", 2, AttributeError, "QMDC_ATTR_CHANNEL_COUNT"),
        ("voltage_level", float("nan"), ValueError, "takes a finite float, not nan"),
        ("ovp_limit", float("-inf"), ValueError, "not -inf"),
    ],
)
def test_a_python_mistake_raises_before_the_driver_is_called(
    simulated: qmdc.Session, name: str, value: Any, error: type[Exception], words: str
) -> None:
    before = getattr(simulated, name)
    with pytest.raises(error, match=re.escape(words)):
        setattr(simulated, name, value)
    assert getattr(simulated, name) == before


@pytest.mark.parametrize(
    "owner, name, words",
    [
        # A misspelled property is refused, never kept as a Python attribute.
        ("session", "output_enable", "did you mean 'output_enabled'"),
        ("session", "VOLTAGE_LEVEL", "did you mean 'voltage_level'"),
        ("session", "voltge_level", "did you mean 'voltage_level'"),
        ("channel", "current_limt", "did you mean 'current_limit'"),
        ("channel", "instrument_model", "qmdc.Channel has no attribute 'instrument_model'"),
        ("session", "xyzzy", "qmdc.Session has no attribute 'xyzzy'"),
        ("session", "measure", "measure of qmdc.Session is a method: it cannot be set"),
        ("channel", "name", "has no setter"),
    ],
)
def test_an_unknown_name_raises_attribute_error_with_a_suggestion(
    simulated: qmdc.Session, owner: str, name: str, words: str
) -> None:
    target = simulated if owner == "session" else simulated.channel("CH1")
    with pytest.raises(AttributeError, match=re.escape(words)):
        setattr(target, name, False)
    assert name not in vars(target)
    assert simulated.output_enabled is True  # what the misspelled name meant is untouched
    if not hasattr(type(target), name):
        with pytest.raises(AttributeError, match=re.escape(words)):
            getattr(target, name)


def test_channel_attributes_name_the_output(simulated: qmdc.Session) -> None:
    output = simulated.channel("CH1")
    output.current_limit = 4.0
    assert output.current_limit == 4.0
    assert simulated.over_current_protection_level == 4.0  # the class name of the same level
    assert not hasattr(output, "instrument_model")  # a session attribute, not a channel's
    with pytest.raises(qmdc.DriverError) as raised:
        simulated.channel("CH9").voltage_level = 1.0
    assert raised.value.status_hex == "0xBFFA0067"
    assert "CH9" in raised.value.description


def header_values(prefix: str) -> dict[str, int]:
    found = re.findall(rf"#define (QMDC_{prefix}_\w+) \((\d+)L\)", HEADER)
    return {name: int(number) for name, number in found}


def prefix_of(cls: type) -> str:
    """The C prefix an enum's docstring names: "QMDC_VAL_CONTROL_SOURCE_"."""
    found = re.search(r"(QMDC_VAL_\w+)\*", cls.__doc__ or "")
    assert found, cls
    return found.group(1)


def test_every_defined_value_of_the_header_is_an_enum_member() -> None:
    enums = [
        qmdc.AnalogOutputMode,
        qmdc.AnalogScalingLevel,
        qmdc.ControlSource,
        qmdc.CurrentLimitBehavior,
        qmdc.MeasurementType,
        qmdc.OutputState,
        qmdc.RemoteSenseStatus,
    ]
    members = {prefix_of(cls) + member.name: member.value for cls in enums for member in cls}
    assert members == header_values("VAL")


def test_every_attribute_of_the_header_is_a_property() -> None:
    generated = (qmdc.SessionAttributes, qmdc.ChannelAttributes)
    descriptors = [
        d for cls in generated for d in vars(cls).values() if isinstance(d, qmdc.Attribute)
    ]
    assert {d.c_name: d.id for d in descriptors} == header_values("ATTR")
    assert "volts" in (qmdc.Session.voltage_level.__doc__ or "")
    # No method or property of a session or a channel hides a generated one.
    names = {d.name for d in descriptors}
    for cls in (qmdc.Session, qmdc.Channel, *qmdc.Session.__bases__):
        if cls not in generated:
            assert not names & set(vars(cls)), cls
