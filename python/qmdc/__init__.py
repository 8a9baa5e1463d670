"""Python binding of QmDC, the IVI-C driver for Orvane QM DC power supplies.

    import qmdc

    with qmdc.Session("TCPIP0::127.0.0.1::5025::SOCKET", simulate=True) as s:
        s.voltage_level = 12.0
        s.output_enabled = True
        volts = s.measure(qmdc.MeasurementType.VOLTAGE)

Failures raise qmdc.DriverError; qmdc.InstrumentError (the instrument refused
an operation, with its error queue's entries), qmdc.TimeoutError and
qmdc.ConnectionLostError are kinds of it. The binding loads libqmdc.so from
$QMDC_LIBRARY, from beside this package, or from the system's library path
(see library_path()).
"""

from ._attribute import Attribute
from ._attributes import (
    AnalogOutputMode,
    AnalogScalingLevel,
    ChannelAttributes,
    ControlSource,
    CurrentLimitBehavior,
    MeasurementType,
    OutputState,
    RemoteSenseStatus,
    SessionAttributes,
)
from ._errors import (
    ConnectionLostError,
    DriverError,
    InstrumentError,
    InstrumentErrorEntry,
    TimeoutError,
)
from ._library import ENVIRONMENT_VARIABLE, library_path
from ._session import Channel, Revision, SelfTestResult, Session

__version__ = "1.0.0"

__all__ = [
    "AnalogOutputMode",
    "AnalogScalingLevel",
    "Attribute",
    "Channel",
    "ChannelAttributes",
    "ConnectionLostError",
    "ControlSource",
    "CurrentLimitBehavior",
    "DriverError",
    "ENVIRONMENT_VARIABLE",
    "InstrumentError",
    "InstrumentErrorEntry",
    "MeasurementType",
    "OutputState",
    "RemoteSenseStatus",
    "Revision",
    "SelfTestResult",
    "Session",
    "SessionAttributes",
    "TimeoutError",
    "library_path",
]
