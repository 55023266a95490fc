// Opening, closing and saving a table, its field objects and error handling.
#include "dataset/client_table.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "dataset/dataset_messages.h"
#include "dataset/engine_binding.h"
#include "dataset/file_ops.h"
#include "dataset/table_engine.h"
#include "dataset/value_codec.h"
#include "platform/codepage.h"

namespace sarvenu {
namespace {

constexpr uint32_t kPropUnsavedChanges = 24;
constexpr uint32_t kXmlMode = 5;
constexpr uint32_t kBinaryMode = 0;

bool SameName(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

bool HasXmlExtension(const std::string& path) {
    return path.size() >= 4 && SameName(path.substr(path.size() - 4), ".xml");
}

std::string PathForMessage(const std::string& path) {
    return platform::Utf8ToCp932(path);
}

}  // namespace

TClientTable::TClientTable(std::string name) : name_(std::move(name)) {}

TClientTable::~TClientTable() {
    for (TTableSource* source : sources_) {
        source->dataSet_ = nullptr;
        for (TClientTable* detail : source->details_) detail->masterSource_ = nullptr;
        source->details_.clear();
    }
    if (masterSource_) std::erase(masterSource_->details_, this);
    ReleaseEngine();
}

// ---------------------------------------------------------------------------
// Errors.

void TClientTable::Require(bool active) const {
    if (active && !Active()) throw EDatabaseError(dsmsg::Text(dsmsg::kNotActive));
    if (!active && Active()) throw EDatabaseError(dsmsg::Text(dsmsg::kActive));
}

void TClientTable::Check(uint32_t result) const {
    if (ResultCode(result) != DS_OK) Raise(result);
}

void TClientTable::Raise(uint32_t result) const {
    uint16_t code = ResultCode(result);
    char buffer[256] = {0};
    std::string message;
    if (engine_ && engine_->dataset && engine_->dataset->ErrorText(code, buffer) == DS_OK)
        message = buffer;
    if (message.empty()) message = dsmsg::Format(dsmsg::kEngineError, {std::to_string(code)});
    throw EDatabaseError(message, code);
}

// ---------------------------------------------------------------------------
// Open, close, save.

void TClientTable::ReleaseEngine() noexcept {
    fields_.clear();
    engine_.reset();
    current_.clear();
    edit_.clear();
    state_ = dsInactive;
    modified_ = false;
    unwritten_ = false;
    hasCurrent_ = false;
    atEnd_ = true;
    filterHandle_ = 0;
    rangeSet_ = false;
    rangeKey_.clear();
}

void TClientTable::OpenTable() {
    if (Active()) return;
    std::string packet;
    if (fileName_.empty() || !fileops::FileExists(fileName_))
        throw EDatabaseError(dsmsg::Text(dsmsg::kNoPacket));
    std::string error;
    if (!fileops::ReadFile(fileName_, &packet, &error))
        throw EDatabaseError(dsmsg::Format(dsmsg::kReadFailed, {PathForMessage(fileName_), error}));
    if (packet.empty()) throw EDatabaseError(dsmsg::Text(dsmsg::kNoPacket));

    auto engine = std::make_unique<Engine>();
    engine->dataset.reset(engine::CreateDataset());
    engine_ = std::move(engine);
    try {
        pelmora::ByteArray bytes(packet.data(), packet.size());
        if (!bytes.get()) Raise(DSERR_NOMEMORY);
        Check(engine_->dataset->LoadPacket(bytes.get(), 1));
        engine_->packet = std::move(packet);
        // A savepoint other than 0 means the file carries a change log.
        uint32_t savepoint = 0;
        unwritten_ =
            ResultCode(engine_->dataset->ReadProperty(PROP_SAVEPOINT, &savepoint)) == DS_OK &&
            savepoint != 0;
        engine_->cursor.reset(engine::CreateCursor());
        Check(engine_->cursor->AttachDataset(engine_->dataset.get()));
        Check(engine_->dataset->WriteProperty(PROP_BEFORE_EXPANSION, 1));
        DatasetProps props{};
        Check(engine_->dataset->ReadDatasetProps(&props));
        engine_->fields.assign(props.fieldCount, FieldDesc{});
        if (props.fieldCount) Check(engine_->dataset->ListFields(engine_->fields.data()));
        DatasetProps cursorProps{};
        Check(engine_->cursor->ReadCursorProps(&cursorProps));
        engine_->recordSize = cursorProps.recordSize;
        current_.assign(engine_->recordSize, 0);
        BuildFields();
        state_ = dsBrowse;
        ApplySort(ResolveFieldNames(indexFieldNames_));
        if (filtered_) AttachFilter();
        ApplyRange();
    } catch (...) {
        ReleaseEngine();
        throw;
    }
    MoveFirst();
}

void TClientTable::CloseTable() {
    if (!Active()) return;
    // An edit that was never posted is dropped, as closing does not post.
    if (IsEditing()) DiscardRecord();
    // The engine does not keep this property; whether the file must be
    // written is the table's own record of unwritten changes.
    int32_t unsaved = -1;
    engine_->dataset->ReadProperty(kPropUnsavedChanges, &unsaved);
    SaveChanges();
    ReleaseEngine();
    MasterChanged();
    DataChanged();
}

void TClientTable::SaveToPath(const std::string& path) {
    Require(true);
    const std::string target = path.empty() ? fileName_ : path;
    if (target.empty())
        throw EDatabaseError(dsmsg::Format(dsmsg::kWriteFailed, {"", "no file name"}));
    Check(engine_->dataset->AcceptAllChanges());
    Check(engine_->dataset->WriteProperty(PROP_XML_MODE,
                                          HasXmlExtension(target) ? kXmlMode : kBinaryMode));
    pelmora::ByteArray packet;
    Check(engine_->dataset->WritePacket(packet.out()));
    SAFEARRAY* out = packet.get();
    std::string bytes;
    void* data = nullptr;
    int32_t upper = -1;
    if (!out || SafeArrayAccessData(out, &data) != S_OK) Raise(DSERR_NOMEMORY);
    SafeArrayGetUBound(out, 1, &upper);
    bytes.assign(static_cast<const char*>(data), static_cast<size_t>(upper + 1));
    SafeArrayUnaccessData(out);
    std::string error;
    if (!fileops::WriteFileAtomic(target, bytes, &error))
        throw EDatabaseError(dsmsg::Format(dsmsg::kWriteFailed, {PathForMessage(target), error}));
    if (target == fileName_) unwritten_ = false;
}

bool TClientTable::SaveChanges() {
    if (!Active() || !unwritten_ || fileName_.empty()) return false;
    SaveToPath();
    return true;
}

// ---------------------------------------------------------------------------
// Field objects.

void TClientTable::BuildFields() {
    fields_.clear();
    for (size_t i = 0; i < engine_->fields.size(); ++i) {
        const FieldDesc& d = engine_->fields[i];
        if (d.attributes & ATTR_LINK) continue;
        std::string base(d.name, strnlen(d.name, sizeof d.name));
        std::string name = base;
        for (int n = 1; FindField(name); ++n) {
            char suffixed[64];
            std::snprintf(suffixed, sizeof suffixed, "%s_%d", base.c_str(), n);
            name = suffixed;
        }
        TFieldKind kind = codec::KindOf(d.type, d.subtype);
        uint32_t size = 0;
        if (d.type == FLD_STRING || d.type == FLD_BYTES || d.type == FLD_VARBYTES ||
            d.type == FLD_UNICODE || d.type == FLD_BCD)
            size = d.units1;
        uint32_t fieldNo = d.fieldId ? d.fieldId : static_cast<uint32_t>(i + 1);
        fields_.push_back(
            std::make_unique<TField>(this, name, kind, size, fieldNo, d.type, d.length));
    }
}

TField* TClientTable::FindField(const std::string& name) {
    for (auto& f : fields_)
        if (SameName(f->FieldName(), name)) return f.get();
    return nullptr;
}

TField& TClientTable::FieldNamed(const std::string& name) {
    if (TField* f = FindField(name)) return *f;
    throw EDatabaseError(dsmsg::Format(dsmsg::kFieldNotFound, {name}));
}

TField& TClientTable::FieldAt(int index) {
    if (index < 0 || index >= FieldTotal())
        throw EDatabaseError(dsmsg::Format(dsmsg::kIndexOutOfRange, {std::to_string(index)}));
    return *fields_[static_cast<size_t>(index)];
}

IDSCursor* TClientTable::Cursor() const {
    return engine_ ? engine_->cursor.get() : nullptr;
}

const uint8_t* TClientTable::CurrentBuffer() const {
    if (IsEditing()) return edit_.data();
    if (Active() && hasCurrent_) return current_.data();
    return nullptr;
}

uint8_t* TClientTable::EditBuffer() {
    if (!IsEditing()) throw EDatabaseError(dsmsg::Text(dsmsg::kNotEditing));
    return edit_.data();
}

void TClientTable::DataChanged() {
    for (TTableSource* source : std::vector<TTableSource*>(sources_)) source->Notify();
}

}  // namespace sarvenu
