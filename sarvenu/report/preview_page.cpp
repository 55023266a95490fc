#include "report/preview_page.h"

#include "dataset/client_table.h"

namespace sarvenu {

std::string WithCrLfLines(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            out += "\r\n";
        } else {
            out += c;
        }
    }
    if (!out.empty() && out.back() != '\n') out += "\r\n";
    return out;
}

void TPreviewPage::Replace(std::string_view needle, std::string_view replacement) {
    if (needle.empty()) return;
    size_t found = text_.find(needle);
    if (found == std::string::npos) return;
    std::string out;
    out.reserve(text_.size());
    size_t from = 0;
    while (found != std::string::npos) {
        out.append(text_, from, found - from);
        out.append(replacement);
        from = found + needle.size();
        found = text_.find(needle, from);
    }
    out.append(text_, from, std::string::npos);
    text_ = std::move(out);
}

void TPreviewPage::ReplaceName(std::string_view name, std::string_view replacement) {
    std::string needle = "<%=";
    needle += name;
    needle += "%>";
    Replace(needle, replacement);
}

std::string PageText(const std::string& value) {
    std::string out;
    out.reserve(value.size());
    // None of these bytes can be the second byte of a double-byte character.
    for (size_t i = 0; i < value.size(); ++i) {
        switch (value[i]) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '*':
                // The template's own "*" markers become line breaks; the
                // user's stay stars.
                out += "&#42;";
                break;
            case '\r':
                if (i + 1 < value.size() && value[i + 1] == '\n') {
                    out += "<BR>";
                    ++i;
                    break;
                }
                [[fallthrough]];
            default:
                out += value[i];
        }
    }
    return out;
}

std::string PageText(const TField& field) {
    return PageText(field.GetText());
}

}  // namespace sarvenu
