// One resolved channel of the driver's repeated capability.
#pragma once

#include <string>
#include <vector>

namespace kiln {

struct ChannelRef {
    std::string name;           // the physical name, "CH1"
    std::string qualifiedName;  // "OutputChannel!!CH1"; empty when name is

    bool operator==(const ChannelRef& other) const {
        return name == other.name && qualifiedName == other.qualifiedName;
    }
};

using ChannelList = std::vector<ChannelRef>;

}  // namespace kiln
