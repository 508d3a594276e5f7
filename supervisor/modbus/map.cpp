// Map files in CSV and JSON, and the located addresses of soft-PLC variables.
#include "supervisor/modbus/map.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <fcntl.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

namespace qv::modbus {

namespace {

using nlohmann::json;

constexpr std::size_t kMaxMapFileBytes = 4 * 1024 * 1024;
constexpr int kMaxWords = 123;  // registers one write request carries

std::string lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

template <typename Number>
bool wholeNumber(std::string_view text, Number& value) {
    const char* end = text.data() + text.size();
    auto [at, problem] = std::from_chars(text.data(), end, value);
    return !text.empty() && problem == std::errc() && at == end;
}

std::optional<bool> truth(std::string_view text) {
    const std::string t = lower(text);
    if (t == "true" || t == "1" || t == "yes") return true;
    if (t == "false" || t == "0" || t == "no" || t.empty()) return false;
    return std::nullopt;
}

// One field of a CSV line and the column where it starts (1-based).
struct Field {
    std::string text;
    int column;
    bool quoted = false;
};

// Splits one line into fields: commas separate, a field in double quotes may hold commas
// and doubled quotes. False when a quote is left open or text follows a closing quote.
bool splitCsvLine(std::string_view line, std::vector<Field>& fields, int& badColumn) {
    fields.clear();
    std::size_t at = 0;
    for (;;) {
        Field field{"", static_cast<int>(at) + 1};
        if (at < line.size() && line[at] == '"') {
            field.quoted = true;
            ++at;
            for (;;) {
                if (at >= line.size()) {
                    badColumn = field.column;
                    return false;
                }
                if (line[at] == '"') {
                    if (at + 1 < line.size() && line[at + 1] == '"') {
                        field.text += '"';
                        at += 2;
                        continue;
                    }
                    ++at;
                    break;
                }
                field.text += line[at++];
            }
            if (at < line.size() && line[at] != ',') {
                badColumn = static_cast<int>(at) + 1;
                return false;
            }
        } else {
            const std::size_t comma = line.find(',', at);
            const std::size_t end = comma == std::string_view::npos ? line.size() : comma;
            field.text = std::string(line.substr(at, end - at));
            at = end;
        }
        fields.push_back(std::move(field));
        if (at >= line.size()) return true;
        ++at;  // the comma
    }
}

// Spaces around an unquoted field are not part of it.
std::string value(const Field& field) {
    if (field.quoted) return field.text;
    std::string_view text = field.text;
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return std::string(text);
}

// No control characters, and well-formed UTF-8 (the JSON form carries the text as is).
bool printable(std::string_view text) {
    for (std::size_t k = 0; k < text.size();) {
        const auto c = static_cast<unsigned char>(text[k]);
        if (c < 0x20 || c == 0x7F) return false;
        const int more = c < 0x80 ? 0 : (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : -1;
        if (more < 0 || (more > 0 && c < 0xC2) || k + static_cast<std::size_t>(more) >= text.size() + (more == 0))
            return false;
        for (int n = 1; n <= more; ++n)
            if ((static_cast<unsigned char>(text[k + static_cast<std::size_t>(n)]) & 0xC0) != 0x80) return false;
        k += static_cast<std::size_t>(more) + 1;
    }
    return true;
}

std::string trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) text.remove_suffix(1);
    return std::string(text);
}

// Checks what one entry can be checked for without the image.
bool checkEntry(const MapEntry& e, std::string& why) {
    if (e.name.empty()) {
        why = "the entry names no variable";
        return false;
    }
    if (!printable(e.name) || !printable(e.type)) {
        why = "a name or type holds a control character";
        return false;
    }
    if (isBitTable(e.table) && e.words > 1) {
        why = std::string("a ") + tableName(e.table) + " holds one bit, not " + std::to_string(e.words) + " words";
        return false;
    }
    if (e.words < 0 || e.words > kMaxWords) {
        why = "words is from 1 to " + std::to_string(kMaxWords) + ", not " + std::to_string(e.words);
        return false;
    }
    const int span = e.words == 0 ? 1 : e.words;
    if (static_cast<int>(e.address) + span > 65536) {
        why = "the entry runs past address 65535";
        return false;
    }
    if (e.writable && !isWritableTable(e.table)) {
        why = std::string("a client cannot write a ") + tableName(e.table) + " (only coils and holding registers)";
        return false;
    }
    return true;
}

std::optional<MapFile> parseCsv(std::string_view text, const std::string& file, std::string& error) {
    MapFile map;
    std::vector<Field> fields;
    int lineNumber = 0;
    bool headerSeen = false;
    auto failAt = [&](int column, const std::string& why) {
        error = file + ":" + std::to_string(lineNumber) + ":" + std::to_string(column) + ": " + why;
        return std::nullopt;
    };
    while (!text.empty()) {
        const std::size_t newline = text.find('\n');
        std::string_view line = text.substr(0, newline);
        text = newline == std::string_view::npos ? std::string_view() : text.substr(newline + 1);
        ++lineNumber;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (lineNumber == 1 && line.starts_with("\xEF\xBB\xBF")) line.remove_prefix(3);  // a spreadsheet's BOM
        if (trimmed(line).empty()) continue;
        if (!headerSeen) {
            if (line != kCsvHeader)
                return failAt(1, "the first line is the header " + std::string(kCsvHeader));
            headerSeen = true;
            continue;
        }
        int badColumn = 0;
        if (!splitCsvLine(line, fields, badColumn)) return failAt(badColumn, "a quoted field is not closed properly");
        if (fields.size() != 7)
            return failAt(1, "a line has 7 fields (" + std::string(kCsvHeader) + "), not " + std::to_string(fields.size()));
        MapEntry e;
        e.line = lineNumber;
        e.name = value(fields[0]);
        const std::string table = value(fields[1]);
        if (std::optional<Table> t = tableByName(table)) e.table = *t;
        else return failAt(fields[1].column, "unknown table \"" + table + "\" (coil, discrete_input, input_register, holding_register)");
        const std::string address = value(fields[2]);
        int32_t number = -1;
        if (!wholeNumber(address, number) || number < 0 || number > 65535)
            return failAt(fields[2].column, "the address is a whole number from 0 to 65535, not \"" + address + "\"");
        e.address = static_cast<uint16_t>(number);
        e.type = value(fields[3]);
        const std::string words = value(fields[4]);
        if (!words.empty() && (!wholeNumber(words, e.words) || e.words < 1))
            return failAt(fields[4].column, "words is a whole number of at least 1, not \"" + words + "\"");
        const std::string order = value(fields[5]);
        if (!order.empty()) {
            e.wordOrder = wordOrderByName(order);
            if (!e.wordOrder) return failAt(fields[5].column, "word_order is big or little, not \"" + order + "\"");
        }
        const std::string writable = value(fields[6]);
        std::optional<bool> w = truth(writable);
        if (!w) return failAt(fields[6].column, "writable is true or false, not \"" + writable + "\"");
        e.writable = *w;
        std::string why;
        if (!checkEntry(e, why)) return failAt(1, why);
        map.entries.push_back(std::move(e));
    }
    if (!headerSeen) {
        error = file + ":1:1: the first line is the header " + std::string(kCsvHeader);
        return std::nullopt;
    }
    return map;
}

// Line and column of a byte offset, for a JSON syntax error.
std::string placeOf(std::string_view text, std::size_t byte) {
    int line = 1, column = 1;
    for (std::size_t k = 0; k + 1 < byte && k < text.size(); ++k) {
        if (text[k] == '\n') {
            ++line;
            column = 1;
        } else {
            ++column;
        }
    }
    return std::to_string(line) + ":" + std::to_string(column);
}

std::optional<MapFile> parseJson(std::string_view text, const std::string& file, std::string& error) {
    json document;
    try {
        document = json::parse(text.begin(), text.end());
    } catch (const json::parse_error& problem) {
        error = file + ":" + placeOf(text, problem.byte) + ": not JSON (" + problem.what() + ")";
        return std::nullopt;
    } catch (const json::exception& problem) {  // a number beyond any range
        error = file + ": not a map (" + problem.what() + ")";
        return std::nullopt;
    }
    auto failAt = [&](const std::string& where, const std::string& why) {
        error = file + ": " + where + why;
        return std::nullopt;
    };
    if (!document.is_object()) return failAt("", "a JSON map is an object with \"entries\"");
    if (document.contains("format") && document["format"] != "qv-modbus-map")
        return failAt("", "\"format\" is \"qv-modbus-map\"");
    if (document.contains("version") && document["version"] != 1) return failAt("", "\"version\" is 1");
    MapFile map;
    if (document.contains("default")) {
        if (!document["default"].is_boolean()) return failAt("", "\"default\" is true or false");
        map.keepDefault = document["default"].get<bool>();
    }
    if (!document.contains("entries") || !document["entries"].is_array())
        return failAt("", "a JSON map is an object with an array \"entries\"");
    int index = 0;
    for (const json& item : document["entries"]) {
        ++index;
        const std::string where = "entry " + std::to_string(index) + ": ";
        if (!item.is_object()) return failAt(where, "an entry is an object");
        MapEntry e;
        e.line = index;
        auto member = [&](const char* key, std::string& out) {
            if (!item.contains(key)) return true;
            if (!item[key].is_string()) return false;
            out = item[key].get<std::string>();
            return true;
        };
        std::string table, order;
        if (!member("name", e.name) || !member("table", table) || !member("type", e.type) || !member("word_order", order))
            return failAt(where, "name, table, type and word_order are strings");
        if (std::optional<Table> t = tableByName(table)) e.table = *t;
        else return failAt(where, "unknown table \"" + table + "\" (coil, discrete_input, input_register, holding_register)");
        if (!item.contains("address") || !item["address"].is_number_integer() || item["address"].get<int64_t>() < 0 ||
            item["address"].get<int64_t>() > 65535)
            return failAt(where, "\"address\" is a whole number from 0 to 65535");
        e.address = static_cast<uint16_t>(item["address"].get<int64_t>());
        if (item.contains("words")) {
            if (!item["words"].is_number_integer() || item["words"].get<int64_t>() < 1 ||
                item["words"].get<int64_t>() > kMaxWords)
                return failAt(where, "\"words\" is a whole number from 1 to " + std::to_string(kMaxWords));
            e.words = static_cast<int>(item["words"].get<int64_t>());
        }
        if (!order.empty()) {
            e.wordOrder = wordOrderByName(order);
            if (!e.wordOrder) return failAt(where, "\"word_order\" is \"big\" or \"little\"");
        }
        if (item.contains("writable")) {
            if (!item["writable"].is_boolean()) return failAt(where, "\"writable\" is true or false");
            e.writable = item["writable"].get<bool>();
        }
        std::string why;
        if (!checkEntry(e, why)) return failAt(where, why);
        map.entries.push_back(std::move(e));
    }
    return map;
}

std::string csvField(const std::string& text) {
    const bool spaced = !text.empty() && (text.front() == ' ' || text.front() == '\t' || text.back() == ' ' ||
                                          text.back() == '\t');
    if (!spaced && text.find_first_of(",\"") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

}  // namespace

const char* tableName(Table table) {
    switch (table) {
        case Table::Coil: return "coil";
        case Table::DiscreteInput: return "discrete_input";
        case Table::InputRegister: return "input_register";
        default: return "holding_register";
    }
}

std::optional<Table> tableByName(std::string_view name) {
    for (int t = 0; t < kTableCount; ++t)
        if (name == tableName(static_cast<Table>(t))) return static_cast<Table>(t);
    return std::nullopt;
}

const char* wordOrderName(WordOrder order) { return order == WordOrder::Big ? "big" : "little"; }

std::optional<WordOrder> wordOrderByName(std::string_view name) {
    if (name == "big") return WordOrder::Big;
    if (name == "little") return WordOrder::Little;
    return std::nullopt;
}

std::optional<MapFile> parseMapText(std::string_view text, const std::string& file, std::string& error) {
    std::string_view start = text;
    if (start.starts_with("\xEF\xBB\xBF")) start.remove_prefix(3);
    while (!start.empty() && std::isspace(static_cast<unsigned char>(start.front()))) start.remove_prefix(1);
    if (start.starts_with("{")) return parseJson(text, file, error);
    return parseCsv(text, file, error);
}

std::optional<MapFile> readMapFile(const std::string& path, std::string& error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        error = "cannot read the map file " + path;
        return std::nullopt;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size > static_cast<off_t>(kMaxMapFileBytes)) {
        ::close(fd);
        error = "the map file " + path + " is not a regular file of at most 4 MB";
        return std::nullopt;
    }
    std::string text(static_cast<std::size_t>(info.st_size), '\0');
    std::size_t have = 0;
    while (have < text.size()) {
        const ssize_t got = ::read(fd, text.data() + have, text.size() - have);
        if (got <= 0) break;
        have += static_cast<std::size_t>(got);
    }
    ::close(fd);
    text.resize(have);
    return parseMapText(text, path, error);
}

std::string writeMapCsv(const std::vector<MapEntry>& entries) {
    std::string out = std::string(kCsvHeader) + "\n";
    for (const MapEntry& e : entries) {
        out += csvField(e.name) + "," + tableName(e.table) + "," + std::to_string(e.address) + "," + csvField(e.type) +
               "," + (e.words > 0 ? std::to_string(e.words) : "") + "," + (e.wordOrder ? wordOrderName(*e.wordOrder) : "") + "," +
               (e.writable ? "true" : "false") + "\n";
    }
    return out;
}

std::string writeMapJson(const std::vector<MapEntry>& entries) {
    std::string out = "{\n  \"format\": \"qv-modbus-map\", \"version\": 1, \"default\": false,\n  \"entries\": [";
    for (std::size_t k = 0; k < entries.size(); ++k) {
        const MapEntry& e = entries[k];
        nlohmann::ordered_json item = {{"name", e.name}, {"table", tableName(e.table)}, {"address", e.address},
                                       {"type", e.type}};
        if (e.words > 0) item["words"] = e.words;
        item["writable"] = e.writable;
        if (e.wordOrder) item["word_order"] = wordOrderName(*e.wordOrder);
        out += (k == 0 ? "\n    " : ",\n    ") + item.dump();
    }
    return out + (entries.empty() ? "]\n}\n" : "\n  ]\n}\n");
}

std::optional<LocatedPlace> locatedPlace(std::string_view address) {
    if (address.size() < 4 || address[0] != '%') return std::nullopt;
    const char area = static_cast<char>(std::toupper(static_cast<unsigned char>(address[1])));
    const char size = static_cast<char>(std::toupper(static_cast<unsigned char>(address[2])));
    std::string_view number = address.substr(3);
    uint32_t first = 0, bit = 0;
    if (size == 'X') {
        const std::size_t dot = number.find('.');
        if (dot == std::string_view::npos || !wholeNumber(number.substr(0, dot), first) ||
            !wholeNumber(number.substr(dot + 1), bit) || bit > 7)
            return std::nullopt;
    } else if (!wholeNumber(number, first)) {
        return std::nullopt;
    }
    auto place = [](Table table, uint64_t at, int words, bool memory) -> std::optional<LocatedPlace> {
        if (at + static_cast<uint64_t>(words) > 65536) return std::nullopt;
        return LocatedPlace{table, static_cast<uint16_t>(at), words, memory};
    };
    if (area == 'I' && size == 'X') return place(Table::DiscreteInput, uint64_t{first} * 8 + bit, 1, false);
    if (area == 'Q' && size == 'X') return place(Table::Coil, uint64_t{first} * 8 + bit, 1, false);
    if (area == 'I' && size == 'W') return place(Table::InputRegister, first, 1, false);
    if (area == 'Q' && size == 'W') return place(Table::HoldingRegister, first, 1, false);
    if (area == 'M' && size == 'W') return place(Table::HoldingRegister, uint64_t{1024} + first, 1, true);
    if (area == 'M' && size == 'D') return place(Table::HoldingRegister, uint64_t{2048} + uint64_t{2} * first, 2, true);
    return std::nullopt;
}

}  // namespace qv::modbus
