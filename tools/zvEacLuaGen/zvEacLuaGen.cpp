// Writes the dissector (zvEac.lua) from the printers' own tables: the
// message names, every field of every layout as a ProtoField with the value
// strings of its table, and the layouts the dissector walks. What no table
// can say (counted lists, the credential container) is Lua in
// zvEacLuaParts.h, fed with the offsets of the same records.
#include <cstddef>
#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "eac/zelvan/zvEacRecord.h"
#include "eac/zelvan/zvEacTelegrams.h"
#include "eac/zelvan/zvEacToStr.h"
#include "eac/zelvan/zvEacToStrFields.h"
#include "zvEacLuaParts.h"

namespace {

std::string hex2(unsigned v) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02x", v & 0xFFu);
    return text;
}

std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
        }
        out += c;
    }
    return out + "\"";
}

std::string trimmed(const char* text) {
    std::string s = text;
    const auto begin = s.find_first_not_of(' ');
    const auto end = s.find_last_not_of(' ');
    return begin == std::string::npos ? "" : s.substr(begin, end - begin + 1);
}

// "MSGID_LOCK_STATE" -> "lock_state": the message's part of every field name.
std::string keyOf(U8 id) {
    std::string key = zvEacMsgIdToStr(id);
    key.erase(0, 6);
    for (char& c : key) {
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
    return key;
}

std::string labelOf(const std::string& path) {
    std::string label = path.substr(path.rfind('.') + 1);
    for (char& c : label) {
        c = c == '_' ? ' ' : c;
    }
    label[0] = static_cast<char>(label[0] - 'a' + 'A');
    return label;
}

class Writer {
public:
    void field(const std::string& path, ZvEacValueKind kind, std::size_t width, ZvEacNameOf names, bool hex = false,
               U32 mask = 0) {
        if (!declared_.insert(path).second) {
            return;
        }
        std::ostringstream line;
        const std::string abbrev = quoted("zveac." + path);
        const std::string label = quoted(labelOf(path));
        switch (kind) {
            case ZvEacValueKind::GROUP:
                line << "ProtoField.none(" << abbrev << ", " << label << ")";
                break;
            case ZvEacValueKind::BYTES:
                line << "ProtoField.bytes(" << abbrev << ", " << label << ", base.SPACE)";
                break;
            case ZvEacValueKind::TEXT:
                line << "ProtoField.string(" << abbrev << ", " << label << ")";
                break;
            case ZvEacValueKind::NUMBER:
                line << "ProtoField.uint"
                     << (width == 1   ? 8
                         : width == 2 ? 16
                                      : 32)
                     << "(" << abbrev << ", " << label << ", " << (hex ? "base.HEX" : "base.DEC") << ", "
                     << valueStrings(names, width) << (mask != 0 ? ", " + std::to_string(mask) : "") << ")";
                break;
        }
        fields_ << "bf[" << quoted(path) << "] = " << line.str() << "\n";
    }

    // The codes a table names, without the fallback every other code gets.
    std::string valueStrings(ZvEacNameOf names, std::size_t width) {
        if (names == nullptr) {
            return "nil";
        }
        const auto known = tables_.find(names);
        if (known != tables_.end()) {
            return known->second;
        }
        std::string name = "vs" + std::to_string(tables_.size() + 1);
        tables_[names] = name;
        values_ << "local " << name << " = {";
        const U32 last = width >= 2 ? 0xFFFFu : 0xFFu;
        for (U32 code = 0; code <= last; ++code) {
            const std::string text = trimmed(names(code));
            if (text.find("##") == std::string::npos) {
                values_ << " [" << code << "] = " << quoted(text) << ",";
            }
        }
        values_ << " }\n";
        return name;
    }

    void rows(const std::string& key, std::span<const ZvEacRow> rows, std::ostringstream& out) {
        for (const ZvEacRow& row : rows) {
            const std::string path = key + "." + (row.field != nullptr ? row.field : "");
            const bool hex = row.format != nullptr && std::string(row.format).find_first_of("xX") != std::string::npos;
            switch (row.kind) {
                case ZvEacRowKind::FIELD: {
                    const U32 mask = row.first == ZvEacRowArg::YES_NO ? row.test : 0;
                    field(path, ZvEacValueKind::NUMBER, row.width,
                          row.first == ZvEacRowArg::NAME || row.second == ZvEacRowArg::NAME ? row.name : nullptr, hex,
                          mask);
                    out << "{ k = \"num\", f = " << quoted(path) << ", o = " << row.offset << ", w = " << row.width
                        << " },";
                    break;
                }
                case ZvEacRowKind::DEVICE_ID:
                case ZvEacRowKind::TIME:
                    field(path, ZvEacValueKind::BYTES, row.width, nullptr);
                    out << "{ k = \"bytes\", f = " << quoted(path) << ", o = " << row.offset << ", w = " << row.width
                        << " },";
                    break;
                case ZvEacRowKind::FLAG_BLOCK:
                    field(key + ".indication_status", ZvEacValueKind::NUMBER, 4, nullptr, true);
                    field(key + ".indication_mask", ZvEacValueKind::NUMBER, 4, nullptr, true);
                    field(key + ".indication_flags", ZvEacValueKind::GROUP, 0, nullptr);
                    field(key + ".indication_flags.flag", ZvEacValueKind::NUMBER, 4, nullptr, true);
                    out << "{ k = \"flags\", key = " << quoted(key) << ", o = " << row.offset << ", m = " << row.test
                        << " },";
                    break;
                case ZvEacRowKind::PHYSICAL_BLOCK:
                    field(key + ".physical_representation", ZvEacValueKind::NUMBER, 1, nullptr, true);
                    field(key + ".physical_representation_flags", ZvEacValueKind::GROUP, 0, nullptr);
                    field(key + ".physical_representation_flags.flag", ZvEacValueKind::NUMBER, 1,
                          physicalRepresentationMaskToStr, true);
                    out << "{ k = \"phys\", key = " << quoted(key) << ", o = " << row.offset << " },";
                    break;
                case ZvEacRowKind::CUSTOM:
                    declares(key, row.declares);
                    out << "{ k = \"custom\", c = " << quoted(path) << " },";
                    break;
                case ZvEacRowKind::ROWS:
                    this->rows(key, row.rows, out);
                    break;
            }
        }
    }

    void declares(const std::string& key, std::span<const ZvEacFieldDecl> decls) {
        for (const ZvEacFieldDecl& decl : decls) {
            field(key + "." + decl.path, decl.kind, decl.width, decl.names);
        }
    }

    void layouts(std::span<const ZvEacLayout> all) {
        for (const ZvEacLayout& layout : all) {
            const std::string key = keyOf(layout.msgId);
            std::ostringstream form;
            form << "{ key = " << quoted(key) << ", size = " << layout.size;
            switch (layout.when) {
                case ZvEacFormWhen::ALWAYS:
                    break;
                case ZvEacFormWhen::BYTE_IS:
                    form << ", when = \"byte\", at = " << layout.at << ", value = " << unsigned{layout.value};
                    break;
                case ZvEacFormWhen::BYTE_NOT_ZERO:
                    form << ", when = \"nz\", at = " << layout.at;
                    break;
                case ZvEacFormWhen::LENGTH_IS:
                    form << ", when = \"len\", at = " << layout.at;
                    break;
            }
            form << ", rows = {";
            rows(key, layout.rows, form);
            form << " } }";
            declares(key, layout.declares);
            forms_[layout.msgId].push_back(form.str());
        }
    }

    std::string text() const {
        std::ostringstream out;
        out << "-- msgid names begin\nlocal msgid_names = {\n";
        for (unsigned id = 0; id < 256; ++id) {
            const std::string name = zvEacMsgIdToStr(static_cast<U8>(id));
            if (name.rfind("MSGID_", 0) == 0) {
                out << "    [" << hex2(id) << "] = " << quoted(name) << ",\n";
            }
        }
        out << "}\n-- msgid names end\n\n" << values_.str() << "\nlocal bf = {}\n" << fields_.str();
        out << "\n-- Forms of each body, in the order they are tried.\nlocal layouts = {\n";
        for (const auto& [id, forms] : forms_) {
            out << "    [" << hex2(id) << "] = {\n";
            for (const std::string& form : forms) {
                out << "        " << form << ",\n";
            }
            out << "    },\n";
        }
        out << "}\n\n-- Ids whose telegram is the id alone.\nlocal header_only = {";
        for (unsigned id = 0; id < 256; ++id) {
            const U8 telegram[1] = {static_cast<U8>(id)};
            ZvEacRecord record;
            if (forms_.count(static_cast<U8>(id)) == 0 &&
                zvEacDecodeRecord(PRINT_MSG_DIR_OUTGOING, 1, 1, telegram, record) != FALSE) {
                out << " [" << hex2(id) << "] = true,";
            }
        }
        out << " }\n";
        return out.str();
    }

private:
    std::set<std::string> declared_;
    std::map<ZvEacNameOf, std::string> tables_;
    std::ostringstream values_;
    std::ostringstream fields_;
    std::map<U8, std::vector<std::string>> forms_;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: zvEacLuaGen OUTPUT.lua\n");
        return 1;
    }
    Writer writer;
    writer.layouts(zvEacDeviceLayouts());
    writer.layouts(zvEacServiceLayouts());
    writer.layouts(zvEacCredentialLayouts());
    std::ofstream out(argv[1], std::ios::binary);
    out << zvEacLuaHead << writer.text() << zvEacLuaParts() << zvEacLuaTail;
    out.close();
    if (!out) {
        std::fprintf(stderr, "zvEacLuaGen: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
