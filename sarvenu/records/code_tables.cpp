#include "records/code_tables.h"

#include <charconv>

#include "platform/codepage.h"

namespace sarvenu {

const std::vector<TBureauRow>& ShippedBureaus() {
    static const std::vector<TBureauRow> rows = {
        {1, "北海道開発局"},   {2, "東北地方整備局"},  {3, "関東地方整備局"}, {4, "北陸地方整備局"},
        {5, "中部地方整備局"}, {6, "近畿地方整備局"},  {7, "中国地方整備局"}, {8, "四国地方整備局"},
        {9, "九州地方整備局"}, {10, "沖縄総合事務局"},
    };
    return rows;
}

// Offices are listed per bureau in the order the office list offers them; the
// sort_id follows that order, which is not the order of the codes.
const std::vector<TOfficeRow>& ShippedOffices() {
    static const std::vector<TOfficeRow> rows = {
        {101, "札幌開発建設部", 101},     {102, "函館開発建設部", 102},
        {1101, "小樽港湾事務所", 103},    {103, "旭川開発建設部", 104},
        {104, "釧路開発建設部", 105},

        {201, "青森河川国道事務所", 201}, {202, "岩手河川国道事務所", 202},
        {203, "仙台河川国道事務所", 203}, {1201, "釜石港湾事務所", 204},
        {204, "山形河川国道事務所", 205},

        {1301, "東京港湾事務所", 301},    {301, "常陸河川国道事務所", 302},
        {302, "宇都宮国道事務所", 303},   {303, "高崎河川国道事務所", 304},
        {304, "横浜国道事務所", 305},

        {401, "新潟国道事務所", 401},     {402, "富山河川国道事務所", 402},
        {403, "金沢河川国道事務所", 403}, {1401, "伏木富山港湾事務所", 404},

        {501, "静岡国道事務所", 501},     {502, "名古屋国道事務所", 502},
        {503, "岐阜国道事務所", 503},     {1501, "名古屋港湾事務所", 504},
        {504, "三重河川国道事務所", 505},

        {601, "京都国道事務所", 601},     {602, "大阪国道事務所", 602},
        {1601, "神戸港湾事務所", 603},    {603, "奈良国道事務所", 604},

        {701, "鳥取河川国道事務所", 701}, {702, "岡山国道事務所", 702},
        {703, "広島国道事務所", 703},     {1701, "広島港湾・空港整備事務所", 704},

        {801, "徳島河川国道事務所", 801}, {1801, "高松港湾・空港整備事務所", 802},
        {802, "香川河川国道事務所", 803}, {803, "松山河川国道事務所", 804},

        {901, "福岡国道事務所", 901},     {902, "佐賀国道事務所", 902},
        {903, "熊本河川国道事務所", 903}, {1901, "博多港湾・空港整備事務所", 904},
        {904, "鹿児島国道事務所", 905},

        {1001, "北部国道事務所", 1001},   {2050, "那覇港湾・空港整備事務所", 1002},
        {1002, "南部国道事務所", 1003},
    };
    return rows;
}

const std::vector<TConTypeRow>& ShippedConTypes() {
    static const std::vector<TConTypeRow> rows = {
        {0, "試行申請型"},
        {3, "発注者指定型"},
        {4, "フィールド提供型"},
        {5, "施工者希望型(契約前提案)"},
        {6, "施工者希望型(契約後提案)"},
    };
    return rows;
}

bool OfficeBelongsToBureau(int office, int bureau) {
    const int base = bureau * 100;
    return (office >= base && office < base + 100) ||
           (office >= base + 1000 && office < base + 1100);
}

std::string OfficeFilterText(const std::string& bureauCode) {
    long long m = 0;
    const char* first = bureauCode.data();
    const char* last = first + bureauCode.size();
    auto [end, ec] = std::from_chars(first, last, m);
    if (bureauCode.empty() || ec != std::errc() || end != last || m < 0 || m > 1000000)
        return "CD=99999";
    const std::string a = std::to_string(100 * m), b = std::to_string(100 * m + 100);
    const std::string c = std::to_string(100 * m + 1000), d = std::to_string(100 * m + 1100);
    return "((CD >= " + a + " and CD < " + b + ")" + " or (CD >= " + c + " and CD < " + d + "))";
}

std::vector<std::vector<std::string>> ShippedRows(TTableId id) {
    std::vector<std::vector<std::string>> rows;
    switch (id) {
        case TTableId::GatherMoc:
            for (const TBureauRow& r : ShippedBureaus())
                rows.push_back({std::to_string(r.cd), platform::Utf8ToCp932(r.name)});
            break;
        case TTableId::HacSai:
            for (const TOfficeRow& r : ShippedOffices())
                rows.push_back({std::to_string(r.cd), platform::Utf8ToCp932(r.name),
                                std::to_string(r.sortId)});
            break;
        case TTableId::ConType:
            for (const TConTypeRow& r : ShippedConTypes())
                rows.push_back({std::to_string(r.cd), platform::Utf8ToCp932(r.name)});
            break;
        default:
            break;
    }
    return rows;
}

}  // namespace sarvenu
