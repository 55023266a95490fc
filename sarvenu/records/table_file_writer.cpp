#include "records/table_file_writer.h"

#include <charconv>
#include <cstring>
#include <memory>

#include "dataset/file_ops.h"
#include "pelmora/pelmora.h"
#include "platform/library.h"
#include "records/sjis.h"

namespace sarvenu {

namespace {

PFN_DllGetClassObject EngineEntry() {
    // Loaded once for the process and kept: engine objects may outlive any one call.
    static PFN_DllGetClassObject entry = [] {
        platform::HMODULE module = platform::LoadLibraryA("PELMORA.DLL");
        return module ? reinterpret_cast<PFN_DllGetClassObject>(
                            platform::GetProcAddress(module, "DllGetClassObject"))
                      : nullptr;
    }();
    if (!entry) throw ETableFile(Sj("PELMORA.DLL の読み込みエラー"));
    return entry;
}

template <typename T>
T* Create(const GUID& clsid, const GUID& iid) {
    IClassFactory* factory = nullptr;
    if (EngineEntry()(&clsid, &IID_IClassFactory, reinterpret_cast<void**>(&factory)) != S_OK)
        throw ETableFile(Sj("データセットを作成できません"));
    void* object = nullptr;
    HRESULT hr = factory->CreateInstance(nullptr, &iid, &object);
    factory->Release();
    if (hr != S_OK || !object) throw ETableFile(Sj("データセットを作成できません"));
    return static_cast<T*>(object);
}

struct Releaser {
    void operator()(IUnknown* object) const {
        if (object) object->Release();
    }
};

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
        Check(dataset()->DefineFields(static_cast<uint32_t>(fields.size()), fields.data(),
                                      def.name.c_str()));
        fields_.resize(fields.size());
        Check(dataset()->ListFields(fields_.data()));
        DatasetProps props{};
        Check(dataset()->ReadDatasetProps(&props));
        recordSize_ = props.recordSize;
        cursor_.reset(Create<IDSCursor>(CLSID_DSCursor, IID_IDSCursor));
        Check(cursor()->AttachDataset(dataset()));
    }

    void Add(const std::vector<std::string>& texts) {
        std::vector<uint8_t> record(recordSize_);
        Check(cursor()->PrepareRecord(record.data()));
        for (size_t i = 0; i < fields_.size(); ++i) {
            const std::string text = i < texts.size() ? texts[i] : std::string();
            const uint32_t fieldNo = static_cast<uint32_t>(i + 1);
            if (text.empty()) {
                Check(cursor()->WriteFieldValue(record.data(), fieldNo, nullptr));
            } else if (fields_[i].type == FLD_INT32) {
                int32_t value = 0;
                auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
                if (ec != std::errc() || end != text.data() + text.size())
                    throw ETableFile(Sj("整数ではない値です: ") + text);
                Check(cursor()->WriteFieldValue(record.data(), fieldNo, &value));
            } else {
                std::string value = text.substr(0, fields_[i].units1);
                Check(cursor()->WriteFieldValue(record.data(), fieldNo, value.c_str()));
            }
        }
        Check(cursor()->AddRecord(record.data()));
    }

    std::string Packet() {
        Check(dataset()->AcceptAllChanges());
        SAFEARRAY* packet = nullptr;
        Check(dataset()->WritePacket(&packet));
        void* data = nullptr;
        std::string bytes;
        if (packet && SafeArrayAccessData(packet, &data) == S_OK) {
            bytes.assign(static_cast<const char*>(data), packet->rgsabound[0].cElements);
            SafeArrayUnaccessData(packet);
        }
        if (packet) SafeArrayDestroy(packet);
        if (bytes.empty()) throw ETableFile(Sj("データパケットを作成できません"));
        return bytes;
    }

  private:
    IDSBase* dataset() const { return static_cast<IDSBase*>(dataset_.get()); }
    IDSCursor* cursor() const { return static_cast<IDSCursor*>(cursor_.get()); }

    void Check(EngineResult result) {
        const uint16_t code = ResultCode(result);
        if (code == DS_OK) return;
        char text[512] = {};
        if (dataset_) dataset()->ErrorText(code, text);
        throw ETableFile(def_.name + ": " + text + " (" + std::to_string(code) + ")");
    }

    const TTableDef& def_;
    std::unique_ptr<IUnknown, Releaser> dataset_;
    std::unique_ptr<IUnknown, Releaser> cursor_;
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
        throw ETableFile(Sj("ファイルを書き込めません: ") + path + " " + error);
}

}  // namespace sarvenu
