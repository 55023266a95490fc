// The engine beside SQLite (in memory) on the same rows of a six-column table
// (CD int32 holding a shuffled 1..N, NAME string(20), PRICE float, SOLD date,
// AMOUNT packed decimal 10.2, NOTE string(100), about one value in ten blank)
// at 10,000, 100,000 and 1,000,000 records: loading, writing, index builds,
// key searches, a filtered count and single inserts and deletes under an
// index, and an index build on a second table whose texts never repeat.
// Each measurement but the last runs three times on both sides; the first
// and the best round are shown. Run with a record count (or "all") to time
// that size only; "quick" after it times only the load and the index on
// distinct texts.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "../expr_builder.h"
#include "bench_engine.h"
#include "pelmora/pelmora.h"

#if __has_include(<sqlite3.h>)
#include <sqlite3.h>
#define HAVE_SQLITE 1
#else
#define HAVE_SQLITE 0
#endif

namespace {

using bench::Check;
using bench::Create;

using Clock = std::chrono::steady_clock;

double Millis(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// One row of the table; a blank value is flagged rather than stored.
struct Row {
    int32_t cd;
    std::string name;
    double price;
    int32_t day;
    int64_t cents;  // ten digits, two after the point
    std::string note;
    bool blank[6];  // CD never blank
};

std::vector<Row> MakeRows(uint32_t records) {
    std::mt19937 random(42);
    std::vector<int32_t> codes(records);
    std::iota(codes.begin(), codes.end(), 1);
    std::shuffle(codes.begin(), codes.end(), random);
    std::vector<Row> rows(records);
    for (uint32_t i = 0; i < records; ++i) {
        Row& r = rows[i];
        r.cd = codes[i];
        r.name = "customer " + std::to_string(random() % 100000);
        r.price = (random() % 100000) / 100.0;
        r.day = 738000 + static_cast<int32_t>(random() % 3650);
        r.cents = random() % 100000000;
        r.note.assign(20 + random() % 80, static_cast<char>('a' + random() % 26));
        r.blank[0] = false;
        for (int k = 1; k < 6; ++k) r.blank[k] = random() % 10 == 0;
    }
    return rows;
}

SAFEARRAY* BuildPacket(const std::vector<Row>& rows) {
    IDSPacketWriter* w = Create<IDSPacketWriter>(CLSID_DSPacketWriter, IID_IDSPacketWriter);
    if (w == nullptr) return nullptr;
    bench::BeginSixColumnTable(w, "CD");
    const uint8_t status = 0;
    for (const Row& r : rows) {
        w->PutValue(0, 1, &status);
        w->PutValue(0, 4, &r.cd);
        auto put = [&](int k, uint32_t length, const void* value) {
            if (r.blank[k])
                w->PutValue(1, 0, nullptr);
            else
                w->PutValue(0, length, value);
        };
        put(1, static_cast<uint32_t>(r.name.size()), r.name.data());
        put(2, 8, &r.price);
        put(3, 4, &r.day);
        // Ten digits, two per byte, high nibble first.
        uint8_t amount[18] = {10, 2};
        int64_t cents = r.cents;
        for (int nibble = 9; nibble >= 0; --nibble, cents /= 10) {
            const auto digit = static_cast<uint8_t>(cents % 10);
            amount[2 + nibble / 2] |= nibble % 2 == 0 ? static_cast<uint8_t>(digit << 4) : digit;
        }
        put(4, 18, amount);
        put(5, static_cast<uint32_t>(r.note.size()), r.note.data());
    }
    SAFEARRAY* packet = nullptr;
    w->TakePacket(&packet);
    w->Release();
    return packet;
}

// Distinct names for the text index case: a family and a given name, each
// Japanese (code page 932 bytes for the engine, UTF-8 for SQLite) or Latin in
// mixed case, then a suffix of four letters and digits that is different for
// every record, so that no two texts repeat.
struct NamePart {
    const char* cp932;
    const char* utf8;
};

const NamePart kFamilies[] = {
    {"\x8E\x52\x93\x63", "山田"},
    {"\x93\x63\x92\x86", "田中"},
    {"\x8D\xB2\x93\xA1", "佐藤"},
    {"\x97\xE9\x96\xD8", "鈴木"},
    {"\x8D\x82\x8B\xB4", "高橋"},
    {"\x88\xC9\x93\xA1", "伊藤"},
    {"\x93\x6E\x95\xD3", "渡辺"},
    {"\x83\x84\x83\x7D\x83\x5F", "ヤマダ"},
    {"\x82\xAB\x82\xDE\x82\xE7", "きむら"},
    {"\xBD\xBD\xDE\xB7", "ｽｽﾞｷ"},
    {"Smith", "Smith"},
    {"smith", "smith"},
    {"Jones", "Jones"},
    {"MULLER", "MULLER"},
    {"Garcia", "Garcia"},
    {"O'Brien", "O'Brien"},
};
const NamePart kGiven[] = {
    {"\x91\xBE\x98\x59", "太郎"},
    {"\x89\xD4\x8E\x71", "花子"},
    {"\x82\xA0\x82\xA2", "あい"},
    {"\x83\x50\x83\x93", "ケン"},
    {"Ann", "Ann"},
    {"ann", "ann"},
    {"Bob", "Bob"},
    {"Chris", "Chris"},
};

struct NameRow {
    std::string cp932;
    std::string utf8;
};

std::vector<NameRow> MakeNames(uint32_t records) {
    static const char kSymbols[] = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
    constexpr uint32_t kBase = sizeof kSymbols - 1;
    std::mt19937 random(11);
    // Four symbols give 62^4 different suffixes; a shuffled range keeps them distinct.
    std::vector<uint32_t> suffixes(records);
    std::iota(suffixes.begin(), suffixes.end(), 0u);
    for (uint32_t& s : suffixes)
        s = static_cast<uint32_t>(uint64_t{s} * 2654435761u % (kBase * kBase * kBase * kBase));
    std::shuffle(suffixes.begin(), suffixes.end(), random);
    std::vector<NameRow> names(records);
    for (uint32_t i = 0; i < records; ++i) {
        const NamePart& family = kFamilies[random() % std::size(kFamilies)];
        const NamePart& given = kGiven[random() % std::size(kGiven)];
        std::string suffix;
        for (uint32_t s = suffixes[i], n = 0; n < 4; ++n, s /= kBase) suffix += kSymbols[s % kBase];
        names[i].cp932 = std::string(family.cp932) + " " + given.cp932 + " " + suffix;
        names[i].utf8 = std::string(family.utf8) + " " + given.utf8 + " " + suffix;
    }
    return names;
}

SAFEARRAY* BuildNamePacket(const std::vector<NameRow>& names) {
    IDSPacketWriter* w = Create<IDSPacketWriter>(CLSID_DSPacketWriter, IID_IDSPacketWriter);
    if (w == nullptr) return nullptr;
    const uint16_t width20 = 20;
    w->BeginPacket(2, 2);
    PacketColumnDesc c = bench::Column("ID", 0x00010004);
    w->AddColumn(&c);
    c = bench::Column("NAME", 0x00490001);
    w->AddColumn(&c);
    w->AddParameter(0, "WIDTH", 0x00020002, 2, &width20);
    w->AddParameter(1, "", 0, 0, nullptr);
    const uint8_t status = 0;
    int32_t id = 0;
    for (const NameRow& n : names) {
        ++id;
        w->PutValue(0, 1, &status);
        w->PutValue(0, 4, &id);
        w->PutValue(0, static_cast<uint32_t>(n.cp932.size()), n.cp932.data());
    }
    SAFEARRAY* packet = nullptr;
    w->TakePacket(&packet);
    w->Release();
    return packet;
}

IndexDesc Index(const char* name, uint32_t field) {
    IndexDesc d{};
    std::strncpy(d.name, name, sizeof d.name - 1);
    d.fieldCount = 1;
    d.fields[0] = field;
    return d;
}

void Line(const char* what, double ours, double theirs, const char* target) {
    std::printf("  %-44s %10.2f ms %10.2f ms %8.2fx   %s\n", what, ours, theirs,
                ours > 0 ? theirs / ours : 0.0, target);
}

// Every measurement runs kRounds times on each side. The first round meets
// memory the process has not used before (each new page costs a fault);
// later rounds mostly reuse what the round before gave back. Both are shown.
constexpr int kRounds = 3;

struct Rounds {
    std::vector<double> ms;
    double First() const { return ms.empty() ? 0 : ms.front(); }
    double Best() const { return ms.empty() ? 0 : *std::min_element(ms.begin(), ms.end()); }
};

void Lines(const char* what, const Rounds& ours, const Rounds& theirs, const char* target) {
    char label[64];
    std::snprintf(label, sizeof label, "%s, first", what);
    Line(label, ours.First(), theirs.First(), target);
    std::snprintf(label, sizeof label, "%s, best of %d", what, kRounds);
    Line(label, ours.Best(), theirs.Best(), "");
}

#if HAVE_SQLITE
struct Sqlite {
    sqlite3* db = nullptr;
    Sqlite() { sqlite3_open(":memory:", &db); }
    ~Sqlite() { sqlite3_close(db); }
    void Exec(const char* sql) {
        char* error = nullptr;
        if (sqlite3_exec(db, sql, nullptr, nullptr, &error) != SQLITE_OK) {
            std::fprintf(stderr, "sqlite: %s\n", error ? error : "?");
            sqlite3_free(error);
        }
    }
    sqlite3_stmt* Prepare(const char* sql) {
        sqlite3_stmt* s = nullptr;
        sqlite3_prepare_v2(db, sql, -1, &s, nullptr);
        return s;
    }
};

void BindRow(sqlite3_stmt* s, const Row& r) {
    sqlite3_bind_int(s, 1, r.cd);
    if (r.blank[1])
        sqlite3_bind_null(s, 2);
    else
        sqlite3_bind_text(s, 2, r.name.data(), static_cast<int>(r.name.size()), SQLITE_STATIC);
    if (r.blank[2])
        sqlite3_bind_null(s, 3);
    else
        sqlite3_bind_double(s, 3, r.price);
    if (r.blank[3])
        sqlite3_bind_null(s, 4);
    else
        sqlite3_bind_int(s, 4, r.day);
    if (r.blank[4])
        sqlite3_bind_null(s, 5);
    else
        sqlite3_bind_int64(s, 5, r.cents);  // cents: exact, as the packed decimal is
    if (r.blank[5])
        sqlite3_bind_null(s, 6);
    else
        sqlite3_bind_text(s, 6, r.note.data(), static_cast<int>(r.note.size()), SQLITE_STATIC);
}
#endif

// (c) on a text column without repeats: the engine's dataset of the names
// beside SQLite's table of the same names, index builds on both.
int RunDistinctTexts(uint32_t records) {
    const std::vector<NameRow> names = MakeNames(records);
    SAFEARRAY* packet = BuildNamePacket(names);
    if (packet == nullptr) return 1;
    IDSBase* ds = Create<IDSBase>(CLSID_DSBase, IID_IDSBase);
    if (ds == nullptr || !Check(ds->LoadPacket(packet, 1), "LoadPacket")) return 1;
#if HAVE_SQLITE
    Sqlite sql;
    sql.Exec("CREATE TABLE n(id INTEGER, name TEXT)");
    sql.Exec("BEGIN");
    sqlite3_stmt* ins = sql.Prepare("INSERT INTO n VALUES(?,?)");
    int id = 0;
    for (const NameRow& n : names) {
        sqlite3_bind_int(ins, 1, ++id);
        sqlite3_bind_text(ins, 2, n.utf8.data(), static_cast<int>(n.utf8.size()), SQLITE_STATIC);
        sqlite3_step(ins);
        sqlite3_reset(ins);
    }
    sqlite3_finalize(ins);
    sql.Exec("COMMIT");
#endif
    const IndexDesc byName = Index("BYNAME", 2);
    Rounds ours, theirs;
    for (int round = 0; round < kRounds; ++round) {
        const bool last = round + 1 == kRounds;
        auto t0 = Clock::now();
        if (!Check(ds->MakeIndex(&byName), "MakeIndex NAME")) return 1;
        ours.ms.push_back(Millis(Clock::now() - t0));
        if (!last && !Check(ds->DropIndex("BYNAME"), "DropIndex")) return 1;
#if HAVE_SQLITE
        t0 = Clock::now();
        sql.Exec("CREATE INDEX n_name ON n(name)");
        theirs.ms.push_back(Millis(Clock::now() - t0));
        if (!last) sql.Exec("DROP INDEX n_name");
#endif
    }
    Lines("    index on distinct texts", ours, theirs, "target >= 1x");
    ds->Release();
    SafeArrayDestroy(packet);
    return 0;
}

// quick: only the load (a) and the index on distinct texts (c).
int RunSize(uint32_t records, bool quick) {
    const std::vector<Row> rows = MakeRows(records);
    SAFEARRAY* packet = BuildPacket(rows);
    if (packet == nullptr) return 1;
    const uint32_t size = packet->rgsabound[0].cElements;
    char title[64];
    std::snprintf(title, sizeof title, "%u records, packet %u bytes", records, size);
    std::printf("%-46s %13s %13s %9s\n", title, "pelmora", "other", "speedup");
#if HAVE_SQLITE
    Sqlite sql;
#endif
    std::mt19937 random(7);

    // (a) load
    IDSBase* ds = nullptr;
    Rounds load, insert;
    for (int round = 0; round < kRounds; ++round) {
        if (ds != nullptr) ds->Release();
        ds = Create<IDSBase>(CLSID_DSBase, IID_IDSBase);
        if (ds == nullptr) return 1;
        auto t0 = Clock::now();
        if (!Check(ds->LoadPacket(packet, 1), "LoadPacket")) return 1;
        load.ms.push_back(Millis(Clock::now() - t0));
#if HAVE_SQLITE
        sql.Exec("DROP TABLE IF EXISTS t");
        sql.Exec(
            "CREATE TABLE t(cd INTEGER, name TEXT, price REAL, sold INTEGER, amount INTEGER, "
            "note TEXT)");
        t0 = Clock::now();
        sql.Exec("BEGIN");
        sqlite3_stmt* ins = sql.Prepare("INSERT INTO t VALUES(?,?,?,?,?,?)");
        for (const Row& r : rows) {
            BindRow(ins, r);
            sqlite3_step(ins);
            sqlite3_reset(ins);
        }
        sqlite3_finalize(ins);
        sql.Exec("COMMIT");
        insert.ms.push_back(Millis(Clock::now() - t0));
#endif
    }
    Lines("(a) load vs insert in 1 txn", load, insert, "target >= 10x");
    if (quick) {
        ds->Release();
        SafeArrayDestroy(packet);
        return RunDistinctTexts(records);
    }
    auto t0 = Clock::now();

    // (b) write, against copying the packet into a buffer already touched and
    // into fresh memory (whose page faults the writer pays too)
    std::vector<uint8_t> touched(size, 1);
    Rounds write, warmCopy, freshCopy;
    for (int round = 0; round < kRounds; ++round) {
        t0 = Clock::now();
        std::memcpy(touched.data(), packet->pvData, size);
        warmCopy.ms.push_back(Millis(Clock::now() - t0));
        t0 = Clock::now();
        auto* fresh = static_cast<uint8_t*>(std::malloc(size));
        if (fresh == nullptr) return 1;
        std::memcpy(fresh, packet->pvData, size);
        freshCopy.ms.push_back(Millis(Clock::now() - t0));
        if (fresh[0] == 0x42 && touched[1] == 0x42) std::printf(" ");
        std::free(fresh);
        SAFEARRAY* out = nullptr;
        t0 = Clock::now();
        if (!Check(ds->WritePacket(&out), "WritePacket")) return 1;
        write.ms.push_back(Millis(Clock::now() - t0));
        if (out->rgsabound[0].cElements != size ||
            std::memcmp(out->pvData, packet->pvData, size) != 0)
            std::fprintf(stderr, "the written packet differs from the one loaded\n");
        SafeArrayDestroy(out);
    }
    Lines("(b) write vs memcpy (warm buffer)", write, warmCopy, "target: within 5x (>= 0.2x)");
    // Only the first copy meets fresh memory: later ones get the freed block back.
    Line("    write vs memcpy (fresh memory), first", write.First(), freshCopy.First(), "");

    // (e) count through a filter on the unindexed CD
    IDSCursor* cur = Create<IDSCursor>(CLSID_DSCursor, IID_IDSCursor);
    if (cur == nullptr || !Check(cur->AttachDataset(ds), "AttachDataset")) return 1;
    {
        pelmora::exprbuild::ExprBuilder b;
        using namespace pelmora::exprbuild;
        const std::vector<uint8_t> expr =
            b.Build(b.Binary(OP_AND, b.Binary(OP_GE, b.Field("CD"), b.Int32(200)),
                             b.Binary(OP_LT, b.Field("CD"), b.Int32(300))));
        Rounds ours, theirs;
        for (int round = 0; round < kRounds; ++round) {
            uint32_t handle = 0;
            t0 = Clock::now();
            const uint32_t r = cur->AttachExpressionFilter(
                expr.data(), static_cast<uint32_t>(expr.size()), &handle);
            uint32_t counted = 0;
            if (!Check(r, "AttachExpressionFilter") ||
                !Check(cur->CountRecords(&counted), "CountRecords"))
                return 1;
            ours.ms.push_back(Millis(Clock::now() - t0));
            cur->DetachFilter(handle);
#if HAVE_SQLITE
            t0 = Clock::now();
            sqlite3_stmt* s = sql.Prepare("SELECT count(*) FROM t WHERE +cd >= 200 AND +cd < 300");
            sqlite3_step(s);
            const int expected = sqlite3_column_int(s, 0);
            sqlite3_finalize(s);
            theirs.ms.push_back(Millis(Clock::now() - t0));
            if (static_cast<uint32_t>(expected) != counted)
                std::fprintf(stderr, "filtered count %u, other %d\n", counted, expected);
#endif
        }
        Lines("(e) filtered count", ours, theirs, "target >= 2x");
    }

    // (c) index builds
    const IndexDesc byCd = Index("BYCD", 1);
    const IndexDesc byName = Index("BYNAME", 2);
    Rounds indexCd, indexName, sqlCd, sqlName;
    for (int round = 0; round < kRounds; ++round) {
        const bool last = round + 1 == kRounds;
        t0 = Clock::now();
        if (!Check(ds->MakeIndex(&byCd), "MakeIndex CD")) return 1;
        indexCd.ms.push_back(Millis(Clock::now() - t0));
        t0 = Clock::now();
        if (!Check(ds->MakeIndex(&byName), "MakeIndex NAME")) return 1;
        indexName.ms.push_back(Millis(Clock::now() - t0));
        if (!last && (!Check(ds->DropIndex("BYCD"), "DropIndex") ||
                      !Check(ds->DropIndex("BYNAME"), "DropIndex")))
            return 1;
#if HAVE_SQLITE
        t0 = Clock::now();
        sql.Exec("CREATE INDEX t_cd ON t(cd)");
        sqlCd.ms.push_back(Millis(Clock::now() - t0));
        t0 = Clock::now();
        sql.Exec("CREATE INDEX t_name ON t(name)");
        sqlName.ms.push_back(Millis(Clock::now() - t0));
        if (!last) sql.Exec("DROP INDEX t_cd; DROP INDEX t_name");
#endif
    }
    Lines("(c) index on int32", indexCd, sqlCd, "target >= 3x");
    Lines("    index on string(20)", indexName, sqlName, "target >= 1x");
    if (int r = RunDistinctTexts(records); r != 0) return r;

    // (d) 1,000,000 random key searches on the int32 index
    DatasetProps props{};
    cur->ReadCursorProps(&props);
    std::vector<uint8_t> key(props.recordSize);
    if (!Check(cur->SelectIndex("BYCD"), "SelectIndex")) return 1;
    constexpr uint32_t kSearches = 1000000;
    std::vector<int32_t> probes(kSearches);
    for (int32_t& p : probes) p = static_cast<int32_t>(random() % (records + records / 10)) + 1;
    cur->PrepareRecord(key.data());
    Rounds seek, point;
    for (int round = 0; round < kRounds; ++round) {
        uint32_t hits = 0;
        t0 = Clock::now();
        for (int32_t p : probes) {
            cur->WriteFieldValue(key.data(), 1, &p);
            if ((cur->SeekKey(0, 1, 0, key.data()) & 0xFFFF) == 0) ++hits;
        }
        seek.ms.push_back(Millis(Clock::now() - t0));
#if HAVE_SQLITE
        uint32_t sqlHits = 0;
        sqlite3_stmt* q = sql.Prepare("SELECT rowid FROM t WHERE cd = ?");
        t0 = Clock::now();
        for (int32_t p : probes) {
            sqlite3_bind_int(q, 1, p);
            if (sqlite3_step(q) == SQLITE_ROW) ++sqlHits;
            sqlite3_reset(q);
        }
        point.ms.push_back(Millis(Clock::now() - t0));
        sqlite3_finalize(q);
        if (sqlHits != hits) std::fprintf(stderr, "searches found %u, other %u\n", hits, sqlHits);
#endif
    }
    Lines("(d) 1M key searches", seek, point, "target >= 3x");

    // (f) 100,000 single inserts under the int32 index, then deletes
    constexpr uint32_t kEdits = 100000;
    std::vector<int32_t> added(kEdits);
    std::iota(added.begin(), added.end(), static_cast<int32_t>(records) + 1);
    std::shuffle(added.begin(), added.end(), random);
    std::vector<uint8_t> rec(props.recordSize);
    t0 = Clock::now();
    for (int32_t v : added) {
        cur->PrepareRecord(rec.data());
        cur->WriteFieldValue(rec.data(), 1, &v);
        cur->WriteFieldValue(rec.data(), 2, "new customer");
        if (!Check(cur->AddRecord(rec.data()), "AddRecord")) return 1;
    }
    const double adds = Millis(Clock::now() - t0);
    std::shuffle(added.begin(), added.end(), random);
    t0 = Clock::now();
    for (int32_t v : added) {
        cur->WriteFieldValue(key.data(), 1, &v);
        // The search stops on the crack before the record.
        if (!Check(cur->SeekKey(0, 1, 0, key.data()), "SeekKey") ||
            !Check(cur->MoveBy(1), "MoveBy") ||
            !Check(cur->RemoveCurrentRecord(), "RemoveCurrentRecord"))
            return 1;
    }
    const double removes = Millis(Clock::now() - t0);
    double sqlAdds = 0, sqlRemoves = 0;
#if HAVE_SQLITE
    sqlite3_stmt* one = sql.Prepare("INSERT INTO t(cd, name) VALUES(?, 'new customer')");
    std::shuffle(added.begin(), added.end(), random);
    t0 = Clock::now();
    for (int32_t v : added) {
        sqlite3_bind_int(one, 1, v);
        sqlite3_step(one);
        sqlite3_reset(one);
    }
    sqlAdds = Millis(Clock::now() - t0);
    sqlite3_finalize(one);
    sqlite3_stmt* del = sql.Prepare("DELETE FROM t WHERE cd = ?");
    std::shuffle(added.begin(), added.end(), random);
    t0 = Clock::now();
    for (int32_t v : added) {
        sqlite3_bind_int(del, 1, v);
        sqlite3_step(del);
        sqlite3_reset(del);
    }
    sqlRemoves = Millis(Clock::now() - t0);
    sqlite3_finalize(del);
#endif
    Line("(f) 100k single inserts", adds, sqlAdds, "target >= 1x");
    Line("    100k single deletes", removes, sqlRemoves, "target >= 1x");

    cur->Release();
    ds->Release();
    SafeArrayDestroy(packet);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (!bench::LoadEngine()) return 1;
    if (!HAVE_SQLITE) std::printf("SQLite not found: its columns read 0\n");
    std::vector<uint32_t> sizes = {10000, 100000, 1000000};
    if (argc > 1 && std::strcmp(argv[1], "all") != 0)
        sizes = {static_cast<uint32_t>(std::strtoul(argv[1], nullptr, 10))};
    const bool quick = argc > 2 && std::strcmp(argv[2], "quick") == 0;
    for (uint32_t records : sizes) {
        if (int r = RunSize(records, quick); r != 0) return r;
    }
    return 0;
}
