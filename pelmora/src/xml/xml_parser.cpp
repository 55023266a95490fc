#include "xml/xml_parser.h"

#include <cctype>
#include <new>

#include "platform/codepage.h"

namespace pelmora {
namespace {

bool IsBlank(unsigned char c) {
    return c >= 1 && c <= 32;
}

// Ends a name: blanks, markup characters and quotes.
bool EndsName(unsigned char c) {
    return IsBlank(c) || c == 0 || c == '=' || c == '>' || c == '/' || c == '<' || c == '"' ||
           c == '\'' || c == '?';
}

std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

enum class Declared { Utf8, CodePage932, Latin1, Unknown };

Declared Classify(std::string_view name) {
    const std::string n = Lower(name);
    for (const char* s : {"utf-8", "utf8"})
        if (n == s) return Declared::Utf8;
    for (const char* s : {"shift_jis", "shift-jis", "sjis", "windows-31j", "cp932", "ms932",
                          "x-sjis", "ms_kanji", "csshiftjis", "cswindows31j"})
        if (n == s) return Declared::CodePage932;
    for (const char* s : {"iso-8859-1", "iso_8859-1", "latin1", "us-ascii", "ascii"})
        if (n == s) return Declared::Latin1;
    return Declared::Unknown;
}

// The value of the pseudo-attribute "encoding" in a declaration's text.
bool FindDeclaredEncoding(std::string_view decl, std::string_view* name) {
    const size_t at = decl.find("encoding");
    if (at == std::string_view::npos) return false;
    size_t i = at + 8;
    while (i < decl.size() && IsBlank(static_cast<unsigned char>(decl[i]))) ++i;
    if (i >= decl.size() || decl[i] != '=') return false;
    ++i;
    while (i < decl.size() && IsBlank(static_cast<unsigned char>(decl[i]))) ++i;
    if (i >= decl.size() || (decl[i] != '"' && decl[i] != '\'')) return false;
    const char quote = decl[i];
    const size_t end = decl.find(quote, i + 1);
    if (end == std::string_view::npos) return false;
    *name = decl.substr(i + 1, end - i - 1);
    return true;
}

}  // namespace

size_t XmlDocument::SkipBlanks(size_t at) const {
    while (at < text_.size() && IsBlank(static_cast<unsigned char>(text_[at]))) ++at;
    return at;
}

EngineResult XmlDocument::ChooseEncoding(const uint8_t* data, size_t size) {
    std::string_view raw(reinterpret_cast<const char*>(data), size);
    const bool byteOrderMark = raw.substr(0, 3) == "\xEF\xBB\xBF";  // UTF-8 says so itself
    if (byteOrderMark) raw.remove_prefix(3);
    // No XML document holds a NUL character.
    if (raw.find('\0') != std::string_view::npos) return DSERR_DATAPACKETMISMATCH;
    size_t at = 0;
    while (at < raw.size() && IsBlank(static_cast<unsigned char>(raw[at]))) ++at;
    if (at >= raw.size() || raw[at] != '<') return DSERR_DATAPACKETMISMATCH;

    std::string_view declared;
    declared_ = false;
    if (raw.substr(at, 2) == "<?") {
        const size_t end = raw.find("?>", at + 2);
        if (end == std::string_view::npos) return DSERR_DATAPACKETMISMATCH;
        declared_ = FindDeclaredEncoding(raw.substr(at + 2, end - at - 2), &declared);
    }
    if (!declared_) {
        // The stored form: the system code page, not declared.
        encoding_ = byteOrderMark ? XmlEncoding::Utf8 : XmlEncoding::Legacy;
        text_.assign(raw);
        return DS_OK;
    }
    encoding_ = XmlEncoding::Utf8;
    switch (Classify(declared)) {
        case Declared::Utf8:
            text_.assign(raw);
            return DS_OK;
        case Declared::CodePage932:
            text_ = platform::Cp932ToUtf8(raw);
            return DS_OK;
        case Declared::Latin1:
            text_.clear();
            text_.reserve(raw.size());
            for (unsigned char c : raw) AppendUtf8(text_, c);
            return DS_OK;
        case Declared::Unknown:
            break;
    }
    return DSERR_DATAPACKETMISMATCH;
}

EngineResult XmlDocument::Parse(const uint8_t* data, size_t size) {
    nodes_.clear();
    attributes_.clear();
    firstRoot_ = lastRoot_ = -1;
    try {
        if (!data && size != 0) return DSERR_DATAPACKETMISMATCH;
        if (EngineResult r = ChooseEncoding(data, size)) return r;
        return Build();
    } catch (const std::bad_alloc&) {
        nodes_.clear();
        attributes_.clear();
        firstRoot_ = -1;
        return DSERR_NOMEMORY;
    }
}

void XmlDocument::Link(int32_t parent, int32_t child) {
    if (parent < 0) {
        if (lastRoot_ < 0)
            firstRoot_ = child;
        else
            nodes_[static_cast<size_t>(lastRoot_)].nextSibling = child;
        lastRoot_ = child;
        return;
    }
    XmlNode& p = nodes_[static_cast<size_t>(parent)];
    if (p.lastChild < 0)
        p.firstChild = child;
    else
        nodes_[static_cast<size_t>(p.lastChild)].nextSibling = child;
    p.lastChild = child;
}

EngineResult XmlDocument::StartTag(size_t* at, int32_t parent, bool* open, int32_t* created) {
    const size_t n = text_.size();
    size_t i = *at + 1;
    const size_t nameStart = i;
    while (i < n && !EndsName(static_cast<unsigned char>(text_[i]))) ++i;
    if (i == nameStart) return DSERR_DATAPACKETMISMATCH;

    XmlNode node;
    node.name = std::string_view(text_).substr(nameStart, i - nameStart);
    node.firstAttribute = static_cast<uint32_t>(attributes_.size());
    for (;;) {
        i = SkipBlanks(i);
        if (i >= n) return DSERR_DATAPACKETMISMATCH;
        if (text_[i] == '>') {
            *open = true;
            ++i;
            break;
        }
        if (text_[i] == '/') {
            if (i + 1 >= n || text_[i + 1] != '>') return DSERR_DATAPACKETMISMATCH;
            *open = false;
            i += 2;
            break;
        }
        const size_t attrStart = i;
        while (i < n && !EndsName(static_cast<unsigned char>(text_[i]))) ++i;
        if (i == attrStart) return DSERR_DATAPACKETMISMATCH;
        XmlAttribute attribute;
        attribute.name = std::string_view(text_).substr(attrStart, i - attrStart);
        i = SkipBlanks(i);
        if (i >= n || text_[i] != '=') return DSERR_DATAPACKETMISMATCH;
        i = SkipBlanks(i + 1);
        if (i >= n || (text_[i] != '"' && text_[i] != '\'')) return DSERR_DATAPACKETMISMATCH;
        const size_t end = text_.find(text_[i], i + 1);
        if (end == std::string::npos) return DSERR_DATAPACKETMISMATCH;
        attribute.value = std::string_view(text_).substr(i + 1, end - i - 1);
        attributes_.push_back(attribute);
        i = end + 1;
    }
    node.attributeCount = static_cast<uint32_t>(attributes_.size()) - node.firstAttribute;
    nodes_.push_back(node);
    *created = static_cast<int32_t>(nodes_.size() - 1);
    Link(parent, *created);
    *at = i;
    return DS_OK;
}

EngineResult XmlDocument::Build() {
    const size_t n = text_.size();
    std::vector<int32_t> open;
    open.reserve(kMaxXmlDepth);
    size_t i = 0;
    if (text_.compare(0, 3, "\xEF\xBB\xBF") == 0) i = 3;
    for (;;) {
        if (open.empty()) {
            i = SkipBlanks(i);
            if (i >= n) break;
            if (text_[i] != '<') return DSERR_DATAPACKETMISMATCH;
        } else if (i >= n) {
            return DSERR_DATAPACKETMISMATCH;  // elements left open
        } else if (text_[i] != '<') {
            const size_t end = text_.find('<', i);
            if (end == std::string::npos) return DSERR_DATAPACKETMISMATCH;
            XmlNode& current = nodes_[static_cast<size_t>(open.back())];
            if (current.firstChild < 0 && current.text.empty())
                current.text = std::string_view(text_).substr(i, end - i);
            i = end;
            continue;
        }

        // text_[i] == '<'
        if (text_.compare(i, 2, "<?") == 0) {
            const size_t end = text_.find("?>", i + 2);
            if (end == std::string::npos) return DSERR_DATAPACKETMISMATCH;
            i = end + 2;
        } else if (text_.compare(i, 4, "<!--") == 0) {
            const size_t end = text_.find("-->", i + 4);
            if (end == std::string::npos) return DSERR_DATAPACKETMISMATCH;
            i = end + 3;
        } else if (text_.compare(i, 2, "<!") == 0) {
            // A document type declaration, with an internal subset in brackets.
            int depth = 0;
            size_t k = i + 2;
            for (; k < n; ++k) {
                if (text_[k] == '[')
                    ++depth;
                else if (text_[k] == ']')
                    --depth;
                else if (text_[k] == '>' && depth <= 0)
                    break;
            }
            if (k >= n) return DSERR_DATAPACKETMISMATCH;
            i = k + 1;
        } else if (text_.compare(i, 2, "</") == 0) {
            size_t k = i + 2;
            while (k < n && !EndsName(static_cast<unsigned char>(text_[k]))) ++k;
            const std::string_view name = std::string_view(text_).substr(i + 2, k - i - 2);
            k = SkipBlanks(k);
            if (k >= n || text_[k] != '>' || open.empty() ||
                nodes_[static_cast<size_t>(open.back())].name != name)
                return DSERR_DATAPACKETMISMATCH;
            open.pop_back();
            i = k + 1;
        } else {
            if (open.size() >= kMaxXmlDepth) return DSERR_DATAPACKETMISMATCH;
            bool isOpen = false;
            int32_t created = -1;
            if (EngineResult r = StartTag(&i, open.empty() ? -1 : open.back(), &isOpen, &created))
                return r;
            if (isOpen) open.push_back(created);
        }
    }
    if (firstRoot_ < 0) return DSERR_DATAPACKETMISMATCH;
    return DS_OK;
}

const XmlAttribute* XmlDocument::FindAttribute(int32_t index, std::string_view name) const {
    const XmlNode& node = Node(index);
    const XmlAttribute* a = Attributes(index);
    for (uint32_t k = 0; k < node.attributeCount; ++k) {
        if (a[k].name == name) return a + k;
    }
    return nullptr;
}

int32_t XmlDocument::FindChild(int32_t index, std::string_view name) const {
    for (int32_t c = Node(index).firstChild; c >= 0; c = Node(c).nextSibling) {
        if (Node(c).name == name) return c;
    }
    return -1;
}

}  // namespace pelmora
