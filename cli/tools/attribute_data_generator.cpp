// Writes the tool's attribute data (attribute_data.h) as C++ source: each row
// of the driver's attribute table (as attribute_table_json exports it, the
// same export the Python binding is generated from) with its named values,
// and the unit and description that the row's macro has in its comment in
// QmDC.h:
//   #define QMDC_ATTR_VOLTAGE_LEVEL (1250001L) /* ViReal64, R/W, volts: what it is */
// Run at build time: attribute_data_generator <table.json> <QmDC.h> <output.cpp>.
// A row whose macro the header lacks stops the build.
#include <nlohmann/json.hpp>

#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

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

// The export's type names and the tool's.
const std::map<std::string, const char*> kValueTypes = {
    {"ViInt32", "ValueType::Int32"},     {"ViReal64", "ValueType::Real64"},
    {"ViBoolean", "ValueType::Boolean"}, {"ViSession", "ValueType::Session"},
    {"ViString", "ValueType::String"},
};

int Generate(const nlohmann::json& table, const std::string& headerPath, std::ostream& out) {
    const std::string prefix = table.at("prefix").get<std::string>();
    const auto comments = HeaderComments(headerPath, prefix);
    out << "// Generated from the driver's attribute table and QmDC.h by "
           "attribute_data_generator; do not edit.\n"
        << "#include \"attribute_data.h\"\n\nnamespace qmdc::cli {\n\n"
        << "const char* AttributePrefix() {\n    return " << Quoted(prefix) << ";\n}\n\n"
        << "const std::vector<AttributeInfo>& AttributeList() {\n"
        << "    static const std::vector<AttributeInfo> rows = {\n";
    for (const nlohmann::json& row : table.at("attributes")) {
        const std::string name = row.at("name").get<std::string>();
        const auto comment = comments.find(name);
        if (comment == comments.end()) {
            std::fprintf(stderr, "attribute_data_generator: %s has no macro in %s\n", name.c_str(),
                         headerPath.c_str());
            return 1;
        }
        const auto type = kValueTypes.find(row.at("type").get<std::string>());
        if (type == kValueTypes.end()) {
            std::fprintf(stderr, "attribute_data_generator: %s has a type the tool lacks\n",
                         name.c_str());
            return 1;
        }
        out << "        {" << Quoted(name) << ", " << row.at("id").get<unsigned long>() << "UL, "
            << type->second << ", " << (row.at("writable").get<bool>() ? "true" : "false") << ", "
            << (row.at("per_channel").get<bool>() ? "true" : "false") << ", "
            << Quoted(comment->second.unit) << ", " << Quoted(comment->second.description) << ", {";
        if (!row.at("values").is_null()) {
            const char* separator = "";
            for (const nlohmann::json& value : table.at("values").at(row.at("values"))) {
                out << separator << "{" << Quoted(value.at("name").get<std::string>()) << ", "
                    << value.at("value").get<long>() << "}";
                separator = ", ";
            }
        }
        out << "}},\n";
    }
    out << "    };\n    return rows;\n}\n\n}  // namespace qmdc::cli\n";
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: attribute_data_generator table.json QmDC.h output.cpp\n");
        return 2;
    }
    std::ostringstream out;
    try {
        std::ifstream tableFile(argv[1]);
        const int status = Generate(nlohmann::json::parse(tableFile), argv[2], out);
        if (status != 0) return status;
    } catch (const nlohmann::json::exception& error) {
        std::fprintf(stderr, "attribute_data_generator: %s: %s\n", argv[1], error.what());
        return 1;
    }
    std::ofstream file(argv[3]);
    file << out.str();
    return file ? 0 : 1;
}
