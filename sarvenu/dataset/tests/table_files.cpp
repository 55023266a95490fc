#include "table_files.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>

#include <unistd.h>

#include "dataset/engine_binding.h"
#include "test_support/test_support.h"

namespace testutil {
namespace {

// Keeps the tests away from the user's registry file.
struct PrivateRegistry {
    PrivateRegistry() {
        if (!std::getenv("SARVENU_REGISTRY")) {
            std::string path = std::filesystem::temp_directory_path().string() +
                               "/sarvenu-dataset-tests-" + std::to_string(::getpid()) + ".reg";
            ::setenv("SARVENU_REGISTRY", path.c_str(), 1);
        }
    }
} const privateRegistry;

void Ok(uint32_t result, const char* what) {
    if (ResultCode(result) != DS_OK)
        throw std::runtime_error(std::string(what) +
                                 " failed: " + std::to_string(ResultCode(result)));
}

struct Objects {
    pelmora::Ref<IDSBase> dataset{sarvenu::engine::CreateDataset()};
    pelmora::Ref<IDSCursor> cursor;
    void Attach() {
        cursor.reset(sarvenu::engine::CreateCursor());
        Ok(cursor->AttachDataset(dataset.get()), "AttachDataset");
    }
};

}  // namespace

void WriteTable(const std::string& path, const std::vector<Column>& columns,
                const std::vector<Row>& rows) {
    std::vector<FieldDesc> descs(columns.size());
    for (size_t i = 0; i < columns.size(); ++i) {
        std::memset(&descs[i], 0, sizeof descs[i]);
        std::strncpy(descs[i].name, columns[i].name.c_str(), sizeof descs[i].name - 1);
        descs[i].type = columns[i].type;
        descs[i].subtype = columns[i].subtype;
        if (columns[i].type == FLD_STRING) descs[i].units1 = columns[i].units;
    }
    Objects o;
    Ok(o.dataset->DefineFields(static_cast<uint32_t>(descs.size()), descs.data(), "T"),
       "DefineFields");
    o.Attach();
    DatasetProps props{};
    Ok(o.cursor->ReadCursorProps(&props), "ReadCursorProps");
    for (const Row& row : rows) {
        std::vector<uint8_t> record(props.recordSize, 0);
        Ok(o.cursor->PrepareRecord(record.data()), "PrepareRecord");
        for (size_t i = 0; i < columns.size() && i < row.size(); ++i) {
            if (!row[i]) continue;
            std::vector<uint8_t> value(64 + columns[i].units, 0);
            if (columns[i].type == FLD_STRING) {
                std::memcpy(value.data(), row[i]->data(), row[i]->size());
            } else {
                int64_t v = std::stoll(*row[i]);
                std::memcpy(value.data(), &v, 8);  // little-endian: low bytes first
            }
            Ok(o.cursor->WriteFieldValue(record.data(), static_cast<uint32_t>(i + 1), value.data()),
               "WriteFieldValue");
        }
        Ok(o.cursor->AddRecord(record.data()), "AddRecord");
    }
    SAFEARRAY* packet = nullptr;
    Ok(o.dataset->WritePacket(&packet), "WritePacket");
    void* data = nullptr;
    int32_t upper = -1;
    SafeArrayAccessData(packet, &data);
    SafeArrayGetUBound(packet, 1, &upper);
    std::string bytes(static_cast<const char*>(data), static_cast<size_t>(upper + 1));
    SafeArrayUnaccessData(packet);
    SafeArrayDestroy(packet);
    sarvenu_test::WriteBytes(path, bytes);
}

std::vector<Row> ReadRows(const std::string& path) {
    std::string bytes = sarvenu_test::ReadBytes(path);
    Objects o;
    SAFEARRAY* packet = SafeArrayFromBytes(bytes.data(), static_cast<uint32_t>(bytes.size()));
    uint32_t loaded = o.dataset->LoadPacket(packet, 1);
    SafeArrayDestroy(packet);
    Ok(loaded, "LoadPacket");
    o.Attach();
    DatasetProps props{};
    Ok(o.dataset->ReadDatasetProps(&props), "ReadDatasetProps");
    std::vector<FieldDesc> descs(props.fieldCount);
    Ok(o.dataset->ListFields(descs.data()), "ListFields");
    DatasetProps cursorProps{};
    Ok(o.cursor->ReadCursorProps(&cursorProps), "ReadCursorProps");
    std::vector<Row> rows;
    o.cursor->GoBeforeFirst();
    std::vector<uint8_t> record(cursorProps.recordSize);
    while (ResultCode(o.cursor->MoveBy(1)) == DS_OK) {
        Ok(o.cursor->ReadCurrentRecord(record.data()), "ReadCurrentRecord");
        Row row;
        for (uint32_t f = 1; f <= descs.size(); ++f) {
            std::vector<uint8_t> value(descs[f - 1].length + 8, 0);
            uint32_t blank = 0;
            Ok(o.cursor->ReadFieldValue(record.data(), f, value.data(), &blank), "ReadFieldValue");
            if (blank) {
                row.push_back(std::nullopt);
            } else if (descs[f - 1].type == FLD_STRING) {
                row.push_back(std::string(reinterpret_cast<const char*>(value.data())));
            } else {
                int32_t v;
                std::memcpy(&v, value.data(), 4);
                row.push_back(std::to_string(v));
            }
        }
        rows.push_back(row);
    }
    return rows;
}

}  // namespace testutil
