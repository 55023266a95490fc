#include "printer.h"

#include <string>

#include "value_text.h"

namespace tabletool {
namespace {

const char* StatusName(uint8_t status) {
    switch (status) {
        case 0:
            return "unchanged";
        case REC_SUPERSEDED:
            return "superseded";
        case REC_DELETED:
            return "deleted";
        case REC_INSERTED:
            return "inserted";
        case REC_MODIFIED:
            return "modified";
        case REC_INSERTED | REC_MODIFIED:
            return "inserted+modified";
        case REC_INSERTED | REC_SUPERSEDED:
            return "inserted+superseded";
        case REC_DISCARDED:
            return "discarded";
        default:
            return "status?";
    }
}

const char* ActionName(uint32_t action) {
    switch (action) {
        case LOG_DELETE:
            return "delete";
        case LOG_INSERT:
            return "insert";
        case LOG_MODIFY:
            return "modify";
        case LOG_DETAIL_CHANGED:
            return "detail changed";
        case LOG_REORDER:
            return "reorder";
        default:
            return "action?";
    }
}

std::string Attributes(uint16_t bits) {
    std::string out;
    auto add = [&](const char* name) { out += out.empty() ? name : std::string(",") + name; };
    if (bits & ATTR_HIDDEN) add("hidden");
    if (bits & ATTR_READONLY) add("readonly");
    if (bits & ATTR_REQUIRED) add("required");
    if (bits & ATTR_LINK) add("link");
    return out;
}

std::string ParamText(const Param& p) {
    return ValueText(p.typeWord, p.value);
}

void TextParams(const std::vector<Param>& params, const std::string& indent, std::ostream& out) {
    for (const Param& p : params)
        out << indent << p.name << " (" << TypeName(p.typeWord) << ") = " << ParamText(p) << "\n";
}

void TextColumns(const Level& level, const std::string& indent, std::ostream& out) {
    int number = 1;
    for (const Column& c : level.columns) {
        out << indent << number++ << ". " << c.name << "  " << TypeName(c.typeWord);
        const std::string attrs = Attributes(c.attributes);
        if (!attrs.empty()) out << "  [" << attrs << "]";
        out << "\n";
        TextParams(c.params, indent + "     ", out);
        if (!c.nested.empty()) {
            TextColumns(c.nested.front(), indent + "     ", out);
            if (!c.nested.front().params.empty()) {
                out << indent << "     detail parameters:\n";
                TextParams(c.nested.front().params, indent + "       ", out);
            }
        }
    }
}

void TextRows(const Level& level, const std::vector<Row>& rows, const std::string& indent,
              std::ostream& out) {
    int number = 1;
    for (const Row& row : rows) {
        out << indent << "row " << number++ << " (" << StatusName(row.status) << ")\n";
        for (size_t k = 0; k < row.items.size() && k < level.columns.size(); ++k) {
            const Column& c = level.columns[k];
            const Item& item = row.items[k];
            out << indent << "  " << c.name << " = ";
            if (item.status == 1) {
                out << "(blank)\n";
            } else if (item.status == 2) {
                out << "(unchanged)\n";
            } else if (!c.nested.empty()) {
                out << item.details.size() << " detail row(s)\n";
                TextRows(c.nested.front(), item.details, indent + "    ", out);
            } else if (item.length & 0x80000000u) {
                out << "(not fetched, " << (item.length & 0x7FFFFFFFu) << " bytes)\n";
            } else {
                out << ValueText(c.typeWord, item.bytes) << "\n";
            }
        }
    }
}

void JsonParams(const std::vector<Param>& params, std::ostream& out) {
    out << "[";
    for (size_t i = 0; i < params.size(); ++i) {
        const Param& p = params[i];
        out << (i ? "," : "") << "{\"name\":\"" << JsonEscape(p.name) << "\",\"type\":\""
            << TypeName(p.typeWord) << "\",\"typeWord\":" << p.typeWord << ",\"value\":\""
            << JsonEscape(ParamText(p)) << "\"}";
    }
    out << "]";
}

void JsonColumns(const Level& level, std::ostream& out) {
    out << "[";
    for (size_t i = 0; i < level.columns.size(); ++i) {
        const Column& c = level.columns[i];
        out << (i ? "," : "") << "{\"name\":\"" << JsonEscape(c.name) << "\",\"type\":\""
            << TypeName(c.typeWord) << "\",\"typeWord\":" << c.typeWord
            << ",\"attributes\":" << c.attributes << ",\"parameters\":";
        JsonParams(c.params, out);
        if (!c.nested.empty()) {
            out << ",\"columns\":";
            JsonColumns(c.nested.front(), out);
            out << ",\"datasetParameters\":";
            JsonParams(c.nested.front().params, out);
        }
        out << "}";
    }
    out << "]";
}

void JsonRows(const Level& level, const std::vector<Row>& rows, std::ostream& out) {
    out << "[";
    for (size_t r = 0; r < rows.size(); ++r) {
        const Row& row = rows[r];
        out << (r ? "," : "") << "{\"status\":" << static_cast<int>(row.status) << ",\"values\":{";
        for (size_t k = 0; k < row.items.size() && k < level.columns.size(); ++k) {
            const Column& c = level.columns[k];
            const Item& item = row.items[k];
            out << (k ? "," : "") << "\"" << JsonEscape(c.name) << "\":";
            if (item.status == 1) {
                out << "null";
            } else if (item.status == 2) {
                out << "{\"unchanged\":true}";
            } else if (!c.nested.empty()) {
                JsonRows(c.nested.front(), item.details, out);
            } else if (item.length & 0x80000000u) {
                out << "{\"notFetched\":" << (item.length & 0x7FFFFFFFu) << "}";
            } else if (IsNumeric(c.typeWord)) {
                out << ValueText(c.typeWord, item.bytes);
            } else {
                out << "\"" << JsonEscape(ValueText(c.typeWord, item.bytes)) << "\"";
            }
        }
        out << "}}";
    }
    out << "]";
}

}  // namespace

void PrintText(const PacketModel& model, std::ostream& out) {
    out << "form: " << (model.xmlMode ? "XML" : "binary") << "\n";
    out << "columns:\n";
    TextColumns(model.top, "  ", out);
    out << "dataset parameters:\n";
    TextParams(model.top.params, "  ", out);
    out << "rows: " << model.rows.size() << "\n";
    TextRows(model.top, model.rows, "  ", out);
    const std::vector<uint32_t> log = ChangeLogOf(model);
    out << "change log: " << log.size() / 3 << " entr" << (log.size() == 3 ? "y" : "ies") << "\n";
    for (size_t i = 0; i + 2 < log.size(); i += 3)
        out << "  record " << log[i] << " previous " << log[i + 1] << " " << ActionName(log[i + 2])
            << "\n";
}

void PrintJson(const PacketModel& model, std::ostream& out) {
    out << "{\"form\":\"" << (model.xmlMode ? "xml" : "binary") << "\",\"columns\":";
    JsonColumns(model.top, out);
    out << ",\"parameters\":";
    JsonParams(model.top.params, out);
    out << ",\"rows\":";
    JsonRows(model.top, model.rows, out);
    out << ",\"changeLog\":[";
    const std::vector<uint32_t> log = ChangeLogOf(model);
    for (size_t i = 0; i + 2 < log.size(); i += 3)
        out << (i ? "," : "") << "{\"record\":" << log[i] << ",\"previous\":" << log[i + 1]
            << ",\"action\":\"" << ActionName(log[i + 2]) << "\"}";
    out << "]}\n";
}

}  // namespace tabletool
