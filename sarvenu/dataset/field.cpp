// Field objects: a column's value in the current record or edit buffer, read
// and written as text.
#include <algorithm>

#include "dataset/client_table.h"
#include "dataset/dataset_messages.h"
#include "dataset/table_engine.h"
#include "dataset/value_codec.h"

namespace sarvenu {

TField::TField(TClientTable* table, std::string name, TFieldKind kind, uint32_t size,
               uint32_t fieldNo, uint32_t engineType, uint32_t width)
    : table_(table),
      name_(std::move(name)),
      kind_(kind),
      size_(size),
      fieldNo_(fieldNo),
      engineType_(engineType),
      width_(width) {}

bool TField::IsNull() const {
    const uint8_t* record = table_->CurrentBuffer();
    if (!record) return true;
    uint32_t blank = 1;
    std::vector<uint8_t> value(std::max<uint32_t>(width_, 8) + 8, 0);
    table_->Check(table_->Cursor()->ReadFieldValue(record, fieldNo_, value.data(), &blank));
    return blank != 0;
}

std::string TField::GetText() const {
    const uint8_t* record = table_->CurrentBuffer();
    if (!record) return {};
    return TextIn(record, table_->Cursor());
}

std::string TField::TextIn(const uint8_t* record, IDSCursor* cursor) const {
    uint32_t blank = 1;
    // Codes, numbers and short texts are read into a buffer on the stack.
    const size_t size = std::max<uint32_t>(width_, 8) + 8;
    uint8_t small[272];
    std::vector<uint8_t> large;
    uint8_t* value = small;
    if (size > sizeof small) {
        large.resize(size);
        value = large.data();
    }
    std::fill(value, value + size, uint8_t{0});
    table_->Check(cursor->ReadFieldValue(record, fieldNo_, value, &blank));
    if (blank) return {};
    if (codec::IsBlobKind(kind_)) {
        uint32_t length = 0;
        table_->Check(cursor->ReadBlobLength(record, fieldNo_, &length));
        if (length == 0) return {};
        std::string bytes(length, '\0');
        table_->Check(cursor->ReadBlobData(record, fieldNo_, 0, bytes.data(), &length));
        bytes.resize(std::min<size_t>(length, bytes.size()));
        return bytes;
    }
    return codec::FormatValue(engineType_, value, width_);
}

void TField::SetText(const std::string& text) {
    uint8_t* record = table_->EditBuffer();
    IDSCursor* cursor = table_->Cursor();
    if (text.empty()) {
        table_->Check(cursor->WriteFieldValue(record, fieldNo_, nullptr));
    } else if (codec::IsBlobKind(kind_)) {
        table_->Check(cursor->WriteBlobData(record, fieldNo_, 0, text.data(),
                                            static_cast<uint32_t>(text.size())));
    } else {
        std::vector<uint8_t> value;
        switch (codec::ParseValue(engineType_, width_, text, &value)) {
            case codec::ParseError::None:
                break;
            case codec::ParseError::Integer:
                throw EDatabaseError(dsmsg::Format(dsmsg::kBadInteger, {text, name_}));
            case codec::ParseError::Float:
                throw EDatabaseError(dsmsg::Format(dsmsg::kBadFloat, {text, name_}));
            case codec::ParseError::DateTime:
                throw EDatabaseError(dsmsg::Format(dsmsg::kBadDate, {text, name_}));
            case codec::ParseError::Boolean:
                throw EDatabaseError(dsmsg::Format(dsmsg::kBadBoolean, {text, name_}));
        }
        table_->Check(cursor->WriteFieldValue(record, fieldNo_, value.data()));
    }
    table_->NoteFieldSet();
    table_->DataChanged();
    table_->MasterChanged();
}

void TField::CopyValueFrom(const TField& other) {
    SetText(other.GetText());
}

}  // namespace sarvenu
