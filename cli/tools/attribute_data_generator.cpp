// Writes the tool's attribute data (attribute_data.h) as C++ source: each row
// of the driver's attribute table with its named values, and the unit and
// description that the row's macro has in its comment in QmDC.h:
//   #define QMDC_ATTR_VOLTAGE_LEVEL (1250001L) /* ViReal64, R/W, volts: what it is */
// Run at build time: attribute_data_generator <QmDC.h> <output.cpp>.
// A row whose macro the header lacks stops the build.
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "driver/attribute_table.h"
#include "kiln/attributes/enum_command_map.h"
#include "kiln/session/driver_definition.h"

namespace {

struct Comment {
    std::string unit;
    std::string description;
};

std::string Trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// "ViReal64, R/W, amperes (over-current level); more: text" -> unit
// "amperes", description "over-current level; more; text".
Comment ParseComment(const std::string& text) {
    const size_t colon = text.find(':');
    std::string head = text.substr(0, colon);
    std::vector<std::string> notes;
    // Type and access come first; what follows them names the unit.
    for (int skip = 0; skip < 2; ++skip) {
        const size_t comma = head.find(',');
        head = comma == std::string::npos ? "" : head.substr(comma + 1);
    }
    Comment comment;
    const size_t unitEnd = head.find_first_of("(;");
    comment.unit = Trimmed(head.substr(0, unitEnd));
    if (unitEnd != std::string::npos) {
        std::string rest = head.substr(unitEnd);
        for (char& c : rest) {
            if (c == '(' || c == ')') c = ';';
        }
        std::istringstream parts(rest);
        for (std::string part; std::getline(parts, part, ';');) {
            if (!Trimmed(part).empty()) notes.push_back(Trimmed(part));
        }
    }
    if (colon != std::string::npos) notes.push_back(Trimmed(text.substr(colon + 1)));
    for (const std::string& note : notes) {
        comment.description += (comment.description.empty() ? "" : "; ") + note;
    }
    return comment;
}

// Macro name -> its comment, for every "#define <prefix>X (id) /* ... */" line.
std::map<std::string, Comment> HeaderComments(const std::string& path, const std::string& prefix) {
    std::map<std::string, Comment> comments;
    std::ifstream header(path);
    for (std::string line; std::getline(header, line);) {
        if (line.rfind("#define " + prefix, 0) != 0) continue;
        const size_t nameEnd = line.find_first_of(" \t", 8);
        const std::string name = line.substr(8, nameEnd - 8);
        const size_t open = line.find("/*");
        const size_t close = line.find("*/", open);
        comments[name] = open == std::string::npos || close == std::string::npos
                             ? Comment{}
                             : ParseComment(Trimmed(line.substr(open + 2, close - open - 2)));
    }
    return comments;
}

std::string Quoted(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

const char* ValueTypeName(kiln::ValueType type) {
    switch (type) {
        case kiln::ValueType::Int32:
            return "ValueType::Int32";
        case kiln::ValueType::Real64:
            return "ValueType::Real64";
        case kiln::ValueType::Boolean:
            return "ValueType::Boolean";
        case kiln::ValueType::Session:
            return "ValueType::Session";
        default:
            return "ValueType::String";
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: attribute_data_generator QmDC.h output.cpp\n");
        return 2;
    }
    const std::string prefix = kiln::RegisteredDriver().attributePrefix;
    const auto comments = HeaderComments(argv[1], prefix);
    std::ostringstream out;
    out << "// Generated from the driver's attribute table and QmDC.h by "
           "attribute_data_generator; do not edit.\n"
        << "#include \"attribute_data.h\"\n\nnamespace qmdc::cli {\n\n"
        << "const char* AttributePrefix() {\n    return " << Quoted(prefix) << ";\n}\n\n"
        << "const std::vector<AttributeInfo>& AttributeList() {\n"
        << "    static const std::vector<AttributeInfo> rows = {\n";
    for (const kiln::AttributeRow& row : qmdc::AttributeTable()) {
        const auto comment = comments.find(row.name);
        if (comment == comments.end()) {
            std::fprintf(stderr, "attribute_data_generator: %s has no macro in %s\n", row.name,
                         argv[1]);
            return 1;
        }
        out << "        {" << Quoted(row.name) << ", " << row.id << "UL, "
            << ValueTypeName(row.type) << ", "
            << (row.access == kiln::Access::ReadWrite ? "true" : "false") << ", "
            << (row.channel == kiln::ChannelRule::PerChannel ? "true" : "false") << ", "
            << Quoted(comment->second.unit) << ", " << Quoted(comment->second.description) << ", {";
        if (row.behaviour.map != nullptr) {
            const char* separator = "";
            for (const kiln::DefinedValue& value : kiln::DefinedValues(row.behaviour.map())) {
                out << separator << "{" << Quoted(value.name) << ", " << value.value << "}";
                separator = ", ";
            }
        }
        out << "}},\n";
    }
    out << "    };\n    return rows;\n}\n\n}  // namespace qmdc::cli\n";
    std::ofstream file(argv[2]);
    file << out.str();
    return file ? 0 : 1;
}
