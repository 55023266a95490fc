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

std::string EscapedText(const std::string& value) {
    std::string out;
    out.reserve(value.size());
    // None of these bytes can be the second byte of a double-byte character.
    for (char c : value) {
        switch (c) {
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
            default:
                out += c;
        }
    }
    return out;
}

std::string PageText(const std::string& value) {
    const std::string escaped = EscapedText(value);
    std::string out;
    out.reserve(escaped.size());
    for (size_t i = 0; i < escaped.size(); ++i) {
        if (escaped[i] == '\r' && i + 1 < escaped.size() && escaped[i + 1] == '\n') {
            out += "<BR>";
            ++i;
        } else {
            out += escaped[i];
        }
    }
    return out;
}

std::string PageText(const TField& field) {
    return PageText(field.GetText());
}

}  // namespace sarvenu
