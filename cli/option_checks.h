// Checks of option values with the tool's own messages: CLI11's built-in
// validators describe themselves with their internals (a 309-digit range, a
// "{csv->1,...}" map), in the help and in errors alike. These say what the
// option takes, and put nothing into the help (each option's help says it).
#pragma once

#include <CLI/CLI.hpp>

#include <map>
#include <string>

#include "number_text.h"
#include "text_case.h"

namespace qmdc::cli {

inline CLI::Validator WholeNumberAtLeast(long least) {
    return CLI::Validator(
        [least](std::string& text) -> std::string {
            if (ParseInteger(text, least, INT32_MAX)) return "";
            return "takes a whole number from " + std::to_string(least) + ", not '" + text + "'";
        },
        "");
}

inline CLI::Validator NumberAtLeast(double least, bool above = false) {
    return CLI::Validator(
        [least, above](std::string& text) -> std::string {
            const auto number = ParseReal(text);
            if (number && (above ? *number > least : *number >= least)) return "";
            return std::string("takes a number ") + (above ? "above " : "from ") + RealText(least) +
                   ", not '" + text + "'";
        },
        "");
}

inline CLI::Validator WholeNumberBetween(long least, long most) {
    return CLI::Validator(
        [least, most](std::string& text) -> std::string {
            if (ParseInteger(text, least, most)) return "";
            return "takes a whole number from " + std::to_string(least) + " to " +
                   std::to_string(most) + ", not '" + text + "'";
        },
        "");
}

inline CLI::Validator NumberBetween(double least, double most) {
    return CLI::Validator(
        [least, most](std::string& text) -> std::string {
            const auto number = ParseReal(text);
            if (number && *number >= least && *number <= most) return "";
            return "takes a number from " + RealText(least) + " to " + RealText(most) + ", not '" +
                   text + "'";
        },
        "");
}

// A host name a network command answers requests for (--allow-host): NAME or
// NAME:PORT, with nothing that could not stand in a Host header.
inline CLI::Validator HostName() {
    return CLI::Validator(
        [](std::string& name) -> std::string {
            const bool plain = !name.empty() && name.size() <= 255 &&
                               name.find_first_of(" \t/?#@\\\"'<>") == std::string::npos;
            return plain ? std::string() : "not a host name: '" + name + "'";
        },
        "");
}

// One of the map's names, in any letter case.
template <class T>
CLI::Validator OneOf(const std::map<std::string, T>& names) {
    std::string list;
    for (const auto& [name, value] : names) list += (list.empty() ? "" : ", ") + name;
    return CLI::Validator(
        [&names, list](std::string& text) -> std::string {
            for (const auto& [name, value] : names) {
                if (EqualsIgnoringCase(name, text)) return "";
            }
            return "takes one of " + list + ", not '" + text + "'";
        },
        "");
}

template <class T>
T Lookup(const std::map<std::string, T>& names, const std::string& text) {
    for (const auto& [name, value] : names) {
        if (EqualsIgnoringCase(name, text)) return value;
    }
    return names.begin()->second;
}

}  // namespace qmdc::cli
