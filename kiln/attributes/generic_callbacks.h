// The callbacks that serve table rows. Each follows one shape: find the
// session, take its lock, check the value pointer, resolve the channel, open
// the cache guard, then answer from simulation or talk to the instrument and
// check its status. What differs between rows is data, read from the row.
#pragma once

#include <string>

#include "attribute_row.h"

namespace kiln {

template <class T>
ViStatus GenericGet(const AttributeRow& row, ViSession vi, ViConstString channel, T* value);
template <class T>
ViStatus GenericSet(const AttributeRow& row, ViSession vi, ViConstString channel, T value);
ViStatus GenericGetText(const AttributeRow& row, ViSession vi, ViConstString channel,
                        ViInt32 bufferSize, ViChar value[]);

// The attribute's name without the driver's attribute prefix ("VOLTAGE_LEVEL").
std::string ShortName(const char* attributeName);

// "QmDC_get_VOLTAGE_LEVEL": how a getter names itself in null-pointer reports.
std::string GetterName(const char* attributeName);

}  // namespace kiln
