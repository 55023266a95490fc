#include "records/table_file_writer.h"

#include <charconv>
#include <cstring>
#include <vector>

#include "dataset/file_ops.h"
#include "pelmora/engine_client.h"
#include "platform/codepage.h"

namespace sarvenu {

namespace {

const pelmora::EngineClient& Engine() {
    // Loaded once for the process and kept: engine objects may outlive any one call.
    static const pelmora::EngineClient engine = [] {
        pelmora::EngineClient client;
        client.Load();
        return client;
    }();
    if (!engine.getClassObject)
        throw ETableFile(platform::Utf8ToCp932("PELMORA.DLL の読み込みエラー"));
    return engine;
}

template <typename T>
T* Create(const GUID& clsid, const GUID& iid) {
    T* object = Engine().Create<T>(clsid, iid);
    if (!object) throw ETableFile(platform::Utf8ToCp932("データセットを作成できません"));
    return object;
}

class Builder {
  public:
    explicit Builder(const TTableDef& def) : def_(def) {
        dataset_.reset(Create<IDSBase>(CLSID_DSBase, IID_IDSBase));
        std::vector<FieldDesc> fields(def.columns.size());
        for (size_t i = 0; i < def.columns.size(); ++i) {
            FieldDesc& f = fields[i];
            std::memset(&f, 0, sizeof f);
            std::strncpy(f.name, def.columns[i].name.c_str(), sizeof f.name - 1);
            if (def.columns[i].kind == TColumnKind::Integer) {
                f.type = FLD_INT32;
            } else {
                f.type = FLD_STRING;
                f.units1 = def.columns[i].width;
            }
        }
        Check(dataset_->DefineFields(static_cast<uint32_t>(fields.size()), fields.data(),
                                     def.name.c_str()));
        fields_.resize(fields.size());
        Check(dataset_->ListFields(fields_.data()));
        DatasetProps props{};
        Check(dataset_->ReadDatasetProps(&props));
        recordSize_ = props.recordSize;
        cursor_.reset(Create<IDSCursor>(CLSID_DSCursor, IID_IDSCursor));
        Check(cursor_->AttachDataset(dataset_.get()));
    }

    void Add(const std::vector<std::string>& texts) {
        std::vector<uint8_t> record(recordSize_);
        Check(cursor_->PrepareRecord(record.data()));
        for (size_t i = 0; i < fields_.size(); ++i) {
            const std::string text = i < texts.size() ? texts[i] : std::string();
            const uint32_t fieldNo = static_cast<uint32_t>(i + 1);
            if (text.empty()) {
                Check(cursor_->WriteFieldValue(record.data(), fieldNo, nullptr));
            } else if (fields_[i].type == FLD_INT32) {
                int32_t value = 0;
                auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
                if (ec != std::errc() || end != text.data() + text.size())
                    throw ETableFile(platform::Utf8ToCp932("整数ではない値です: ") + text);
                Check(cursor_->WriteFieldValue(record.data(), fieldNo, &value));
            } else {
                std::string value = text.substr(0, fields_[i].units1);
                Check(cursor_->WriteFieldValue(record.data(), fieldNo, value.c_str()));
            }
        }
        Check(cursor_->AddRecord(record.data()));
    }

    std::string Packet() {
        Check(dataset_->AcceptAllChanges());
        SAFEARRAY* packet = nullptr;
        Check(dataset_->WritePacket(&packet));
        const std::vector<uint8_t> bytes = pelmora::TakeBytes(packet);
        if (bytes.empty())
            throw ETableFile(platform::Utf8ToCp932("データパケットを作成できません"));
        return std::string(bytes.begin(), bytes.end());
    }

  private:
    void Check(EngineResult result) {
        const uint16_t code = ResultCode(result);
        if (code == DS_OK) return;
        char text[512] = {};
        if (dataset_) dataset_->ErrorText(code, text);
        throw ETableFile(def_.name + ": " + text + " (" + std::to_string(code) + ")");
    }

    const TTableDef& def_;
    pelmora::Ref<IDSBase> dataset_;
    pelmora::Ref<IDSCursor> cursor_;
    std::vector<FieldDesc> fields_;
    uint32_t recordSize_ = 0;
};

}  // namespace

void WriteTableFile(const std::string& path, const TTableDef& def,
                    const std::vector<std::vector<std::string>>& rows) {
    std::string bytes;
    {
        Builder builder(def);
        for (const auto& row : rows) builder.Add(row);
        bytes = builder.Packet();
    }
    std::string error;
    if (!fileops::WriteFileAtomic(path, bytes, &error))
        throw ETableFile(platform::Utf8ToCp932("ファイルを書き込めません: ") + path + " " + error);
}

}  // namespace sarvenu
