// The page being built by a preview: the template's text with CR LF line
// ends, and the one text operation the templating uses, replacing every
// occurrence of a placeholder at once. Works on code page 932 bytes; every
// placeholder starts with an ASCII byte that cannot be the second byte of a
// double-byte character, so a match never starts inside a character.
#pragma once

#include <string>
#include <string_view>

namespace sarvenu {

class TField;

// Every line end (CR LF, a lone CR or a lone LF) as CR LF, and a final line
// end after a last line that has none, as a page read and written line by
// line has.
std::string WithCrLfLines(std::string_view text);

class TPreviewPage {
  public:
    explicit TPreviewPage(std::string_view text) : text_(WithCrLfLines(text)) {}

    // Replaces every occurrence, scanning left to right; replaced text is not
    // searched again. An empty needle replaces nothing.
    void Replace(std::string_view needle, std::string_view replacement);
    // The placeholder "<%=" + name + "%>".
    void ReplaceName(std::string_view name, std::string_view replacement);

    const std::string& Text() const { return text_; }
    // The page as written to its file: inserted values may have brought line
    // ends of their own.
    std::string FileBytes() const { return WithCrLfLines(text_); }

  private:
    std::string text_;
};

// "&", "<", ">", '"' and "*" as character references: a text that shows as
// itself in the page, in an element or a quoted attribute.
std::string EscapedText(const std::string& value);
// A value as the page shows it: every CR LF pair becomes "<BR>", and "&",
// "<", ">", '"' and "*" are written as character references, so the form
// shows exactly what was typed and no template marker is taken from a value.
std::string PageText(const std::string& value);
// The field's value of the current record as the page shows it.
std::string PageText(const TField& field);

}  // namespace sarvenu
