#include "packet_model.h"

#include <cstring>

namespace tabletool {
namespace {

constexpr uint32_t kMaxDepth = 16;

class ModelReader {
  public:
    explicit ModelReader(IDSPacketReader* reader) : reader_(reader) {}

    uint32_t ReadParams(std::vector<Param>* out) {
        for (;;) {
            uint32_t length = 0;
            uint32_t r = reader_->PeekParameterLength(&length);
            if (ResultCode(r) == DSERR_EOF) {
                // Let the reader pass on to the next block.
                char name[32];
                uint32_t word = 0;
                uint32_t none = 0;
                uint8_t dummy = 0;
                reader_->NextParameter(name, &word, &none, &dummy);
                return 0;
            }
            if (r != 0) return r;
            Param p;
            char name[32] = {};
            std::vector<uint8_t> value(length + 1);
            uint32_t size = length;
            r = reader_->NextParameter(name, &p.typeWord, &size, value.data());
            if (ResultCode(r) == DSERR_EOF) return 0;
            if (r != 0) return r;
            p.name = name;
            value.resize(size);
            p.value = std::move(value);
            out->push_back(std::move(p));
        }
    }

    uint32_t ReadLevel(Level* level, uint32_t depth) {
        if (depth > kMaxDepth) return DSERR_NOTSUPPORTED;
        for (;;) {
            PacketColumnDesc desc{};
            uint32_t r = reader_->NextColumn(&desc);
            if (ResultCode(r) == DSERR_EOF) break;
            if (r != 0) return r;
            Column column;
            column.name.assign(desc.name, strnlen(desc.name, sizeof desc.name));
            column.typeWord = desc.typeWord;
            column.attributes = desc.attributes;
            if ((r = ReadParams(&column.params)) != 0) return r;
            if (PacketBaseType(desc.typeWord) == PKT_TABLE) {
                column.nested.emplace_back();
                if ((r = ReadLevel(&column.nested.back(), depth + 1)) != 0) return r;
            }
            level->columns.push_back(std::move(column));
        }
        return ReadParams(&level->params);
    }

    // Reads one row of a level; DSERR_EOF when the rows have ended.
    uint32_t ReadRow(const Level& level, Row* row, uint32_t depth) {
        Item status;
        uint32_t r = ReadItem(&status);
        if (r != 0) return r;
        if (status.bytes.size() != 1) return DSERR_DATAPACKETMISMATCH;
        row->status = status.bytes[0];
        for (const Column& column : level.columns) {
            Item item;
            if ((r = ReadItem(&item)) != 0)
                return ResultCode(r) == DSERR_EOF ? uint32_t{DSERR_DATAPACKETMISMATCH} : r;
            if (PacketBaseType(column.typeWord) == PKT_TABLE && item.status == 0 &&
                item.bytes.size() == 4 && !column.nested.empty()) {
                uint32_t count = 0;
                std::memcpy(&count, item.bytes.data(), 4);
                if (count == 0x80000000u) count = 0;
                if (depth >= kMaxDepth) return DSERR_NOTSUPPORTED;
                for (uint32_t i = 0; i < count; ++i) {
                    Row detail;
                    r = ReadRow(column.nested.front(), &detail, depth + 1);
                    if (r != 0)
                        return ResultCode(r) == DSERR_EOF ? uint32_t{DSERR_DATAPACKETMISMATCH} : r;
                    item.details.push_back(std::move(detail));
                }
            }
            row->items.push_back(std::move(item));
        }
        return 0;
    }

  private:
    uint32_t ReadItem(Item* item) {
        uint32_t length = 0;
        uint32_t r = reader_->PeekValueLength(&length);
        if (r != 0) return r;
        const uint32_t bytes = (length & 0x80000000u) ? 0 : length;
        item->bytes.assign(bytes + 1, 0);
        uint32_t size = bytes + 1;
        uint32_t status = 0;
        r = reader_->NextValue(&size, item->bytes.data(), &status);
        item->status = status;
        if (ResultCode(r) == DSERR_FIELDISBLANK) {
            item->bytes.clear();
            return 0;
        }
        if (r != 0) return r;
        item->length = size;
        item->bytes.resize((size & 0x80000000u) ? 0 : size);
        return 0;
    }

    IDSPacketReader* reader_;
};

}  // namespace

uint32_t ReadModel(IDSPacketReader* reader, SAFEARRAY* packet, PacketModel* model) {
    uint32_t r = reader->OpenPacket(packet);
    if (r != 0) return r;
    model->xmlMode = reader->ReadXmlInput();
    ModelReader rows(reader);
    if ((r = rows.ReadLevel(&model->top, 0)) != 0) return r;
    for (;;) {
        Row row;
        r = rows.ReadRow(model->top, &row, 0);
        if (ResultCode(r) == DSERR_EOF) break;
        if (r != 0) return r;
        model->rows.push_back(std::move(row));
    }
    return 0;
}

std::vector<uint32_t> ChangeLogOf(const PacketModel& model) {
    std::vector<uint32_t> out;
    for (const Param& p : model.top.params) {
        if (p.name != "CHANGE_LOG" || p.value.size() < 4) continue;
        uint32_t count = 0;
        std::memcpy(&count, p.value.data(), 4);
        const uint32_t width = PacketWidth(p.typeWord) == 2 ? 2 : 4;
        for (uint32_t i = 0; i < count && 4 + (i + 1) * width <= p.value.size(); ++i) {
            uint32_t v = 0;
            std::memcpy(&v, p.value.data() + 4 + i * width, width);
            out.push_back(v);
        }
        out.resize(out.size() / 3 * 3);
    }
    return out;
}

}  // namespace tabletool
