#include "workflow_scale_installation.h"

#include <stdlib.h>

#include <array>
#include <cstdlib>
#include <stdexcept>
#include <vector>

#include "platform/codepage.h"
#include "records/code_tables.h"
#include "records/schema.h"
#include "records/table_file_writer.h"

namespace workflow_scale {

namespace fs = std::filesystem;
using namespace sarvenu;

namespace {

// Word lists the works are composed from (UTF-8), mixed by the work's index
// so that neighbouring works differ.
const std::vector<const char*> kRoutes = {
    "一般国道４号", "一般国道６号", "一般国道１７号", "一般国道２０号", "一般国道４５号",
    "一般国道２号", "一般国道８号", "一般国道３号",   "一般国道５８号", "一般国道１号",
    "利根川水系",   "信濃川水系",   "木曽川水系",     "淀川水系",       "筑後川水系"};
const std::vector<const char*> kPlaces = {
    "千代田", "大宮", "宇都宮", "高崎", "水戸", "甲府", "長野", "新潟", "富山", "金沢",
    "岐阜",   "静岡", "津",     "大津", "奈良", "鳥取", "松江", "岡山", "広島", "山口",
    "徳島",   "高松", "松山",   "高知", "福岡", "佐賀", "長崎", "熊本", "大分", "宮崎",
    "鹿児島", "那覇", "札幌",   "旭川", "青森", "盛岡", "仙台", "秋田", "山形", "福島"};
const std::vector<const char*> kStructures = {"橋梁", "トンネル", "函渠", "擁壁", "法面",
                                              "舗装", "排水",     "堤防", "護岸", "樋管"};
const std::vector<const char*> kWorkKinds = {"補修", "改良", "耐震補強", "新設", "修繕",
                                             "拡幅", "更新", "災害復旧", "維持", "整備"};

struct TTechnology {
    const char* title;
    const char* former;
    const char* unit;
};
const std::vector<TTechnology> kTechnologies = {
    {"高耐久性床版防水システム", "シート系床版防水工", "100m2"},
    {"低騒音型舗装切削工法", "従来型切削工", "1,000m2"},
    {"プレキャスト擁壁ブロック", "場所打ち擁壁工", "10m"},
    {"炭素繊維シート補強工法", "鋼板接着補強工", "100m2"},
    {"循環式ブラスト鋼橋塗装工法", "動力工具による素地調整", "100m2"},
    {"気泡混合軽量盛土工法", "良質土による盛土工", "100m3"},
    {"高流動コンクリート", "普通コンクリート", "10m3"},
    {"法面緑化基材吹付工", "植生マット工", "100m2"},
    {"無足場型橋梁点検装置", "仮設足場による点検", "1橋"},
    {"超高強度繊維補強コンクリート", "鉄筋コンクリート床版", "10m2"},
    {"遠隔操作式排水ポンプ", "可搬式排水ポンプ", "1台"},
    {"ＩＣＴ土工出来形計測システム", "トータルステーションによる計測", "1,000m3"},
    {"排水性舗装用高粘度バインダ", "ストレートアスファルト", "1,000m2"},
    {"可塑性グラウト裏込め注入工法", "セメントミルク注入工", "10m3"},
    {"光ファイバ式沈下計測", "水準測量", "1式"}};

const std::vector<const char*> kRegionPrefixes = {"HK", "TH", "KT", "HR", "CB",
                                                  "KK", "CG", "SK", "QS", "OK"};
const std::vector<const char*> kSections = {"道路工事課", "道路管理課", "河川工事課", "計画課",
                                            "工務課"};
const std::vector<const char*> kSurnames = {"山田", "佐藤", "鈴木", "高橋", "田中",
                                            "伊藤", "渡辺", "中村", "小林", "加藤"};
const std::vector<const char*> kGivenNames = {"太郎", "一郎", "花子", "健二", "陽子",
                                              "誠",   "裕子", "大輔", "直樹", "恵"};
const std::vector<const char*> kConditions = {"交通規制下での夜間施工", "河川内での渇水期施工",
                                              "市街地での昼間施工", "積雪期を避けた施工",
                                              "鉄道近接での夜間施工"};

template <class T>
const T& Pick(const std::vector<T>& list, long index, long step = 1) {
    return list[static_cast<size_t>((index * step) % static_cast<long>(list.size()))];
}

std::string Digits(long value, int width) {
    std::string text = std::to_string(value);
    while (static_cast<int>(text.size()) < width) text.insert(text.begin(), '0');
    return text;
}

std::string Date(int year, int month, int day) {
    return std::to_string(year) + "/" + Digits(month, 2) + "/" + Digits(day, 2);
}

// Full-width digits, as work names are typed.
std::string WideNumber(long value) {
    static const char* const kWide[] = {"０", "１", "２", "３", "４", "５", "６", "７", "８", "９"};
    std::string text;
    for (char digit : std::to_string(value)) text += kWide[digit - '0'];
    return text;
}

std::string WorkNumber(long index) {
    return "CYY-XX" + Digits(index + 1, 4);
}

// Rows of one table, each filled by a function of the work's index through
// the schema's column names.
class TRows {
  public:
    TRows(TTableId id, long works) : def_(TableDef(id)) {
        rows_.reserve(static_cast<size_t>(works));
    }
    void Start() { rows_.emplace_back(def_.columns.size()); }
    void Set(const std::string& column, const std::string& utf8) {
        const int index = def_.ColumnIndex(column);
        if (index < 0) throw std::runtime_error("no column " + column + " in " + def_.name);
        rows_.back()[static_cast<size_t>(index)] = platform::Utf8ToCp932(utf8);
    }
    void Write(const fs::path& path) const { WriteTableFile(path.string(), def_, rows_); }

  private:
    const TTableDef& def_;
    std::vector<std::vector<std::string>> rows_;
};

// The tick flags a new work starts with (all off), as the program sets them.
void AspectFlags(TRows& rows) {
    for (const TAspect& aspect : Aspects())
        for (const char* flag : {"_EVAL_YN1", "_EVAL_YN2"})
            rows.Set(std::string("INV_") + aspect.name + flag, "0");
    for (const char* flag : {"INV_OTHER_YN1", "INV_OTHER_YN2", "INV_OTHER_YN3"})
        rows.Set(flag, "0");
}

// Graded answers of a filled-in sheet: every fixed question answered (-2..2),
// the first optional one on every third work, with its tick.
void AspectAnswers(TRows& rows, long index, long seed) {
    for (const TAspect& aspect : Aspects()) {
        const std::string prefix = std::string("INV_") + aspect.name + "_EVAL_";
        for (int q = 1; q <= aspect.fixedQuestions; ++q)
            rows.Set(prefix + "POINT" + std::to_string(q),
                     std::to_string((index * seed + q * 7) % 5 - 2));
        if (index % 3 == 0) {
            rows.Set(prefix + "POINT" + std::to_string(aspect.fixedQuestions + 1), "1");
            rows.Set(prefix + "YN1", "1");
        }
    }
}

struct TWork {
    long index;
    int bureau;
    int office;
    std::string bureauName;
    std::string officeName;
    std::string place;
    const TTechnology* tech;
    int year;
    int month;
};

TWork DescribeWork(long index) {
    TWork work{};
    work.index = index;
    const std::vector<TBureauRow>& bureaus = ShippedBureaus();
    const TBureauRow& bureau = Pick(bureaus, index, 7);
    work.bureau = bureau.cd;
    work.bureauName = bureau.name;
    std::vector<const TOfficeRow*> offices;
    for (const TOfficeRow& office : ShippedOffices())
        if (OfficeBelongsToBureau(office.cd, bureau.cd)) offices.push_back(&office);
    if (offices.empty()) throw std::runtime_error("bureau without offices");
    const TOfficeRow& office = *offices[static_cast<size_t>(index / 10) % offices.size()];
    work.office = office.cd;
    work.officeName = office.name;
    work.place = Pick(kPlaces, index, 3);
    work.tech = &Pick(kTechnologies, index, 11);
    work.year = 2004 + static_cast<int>(index % 6);
    work.month = 4 + static_cast<int>(index % 4);
    return work;
}

void WriteSurveyTables(const fs::path& cds, long works) {
    TRows main(TTableId::Main, works), plan(TTableId::Plan, works), report(TTableId::Report, works),
        section(TTableId::InvSection, works), chief(TTableId::InvChief, works),
        con(TTableId::InvCon, works);
    for (long i = 0; i < works; ++i) {
        const TWork w = DescribeWork(i);
        const std::string number = WorkNumber(i);
        const std::string name = std::string(Pick(kRoutes, i, 13)) + "　" + w.place +
                                 Pick(kStructures, i, 17) + Pick(kWorkKinds, i, 19) + "工事" +
                                 (i % 4 == 0 ? "（その" + WideNumber(i % 9 + 1) + "）" : "");
        const std::string person =
            std::string(Pick(kSurnames, i, 3)) + "　" + Pick(kGivenNames, i, 7);
        const std::string quantity = std::to_string(100 + i % 50 * 20);

        main.Start();
        main.Set("CONST_NO", number);
        main.Set("CON_NAME", name);
        main.Set("TECH_TITLE", w.tech->title);
        // A technology's registration number names its title: forty numbers per
        // title, so an office's works spread over a few hundred technologies.
        const long technology = (w.tech - kTechnologies.data()) * 40 + i % 40;
        main.Set("REG_NO", std::string(Pick(kRegionPrefixes, technology)) + "-" +
                               Digits(technology % 100, 2) + Digits(technology, 4) + "A");
        main.Set("MOC_CD", std::to_string(w.bureau));
        main.Set("OFFICE_CD", std::to_string(w.office));
        main.Set("CON_CHARGE_SEC", Pick(kSections, i, 3));
        main.Set("OLD_TECH_TITLE", w.tech->former);
        main.Set("CON_TYPE", std::to_string(Pick(ShippedConTypes(), i, 3).cd));
        main.Set("REG_VERSION", "2010");

        plan.Start();
        plan.Set("CONST_NO", number);
        plan.Set("REG_DATE", Date(w.year, w.month, 1 + static_cast<int>(i % 28)));
        plan.Set("CON_DATE_S", Date(w.year, w.month + 1, 10));
        plan.Set("CON_DATE_E", Date(w.year + 1, 3, 20));
        plan.Set("TECH_CON_DATE_S", Date(w.year, w.month + 2, 1));
        plan.Set("TECH_CON_DATE_E", Date(w.year, w.month + 5, 28));
        plan.Set("CON_PLACE", w.place + "市" + w.place + "町" + WideNumber(i % 5 + 1) + "丁目地内");
        plan.Set("CON_CONTENT", std::string(Pick(kStructures, i, 17)) + "の" +
                                    Pick(kWorkKinds, i, 19) + "\r\n" + w.tech->title + "　" +
                                    quantity + "m2");
        plan.Set("CON_OBJECT_QUANTITY", std::string(w.tech->former) + "　" + quantity + "m2");
        plan.Set("CON_PLACE_CONDITION", Pick(kConditions, i, 3));
        plan.Set("CON_COST_YN", "1");
        plan.Set("CON_COST", "従来工法に比べて材料費が安価である。");
        plan.Set("CON_PROCESS_YN", i % 2 == 0 ? "1" : "0");
        if (i % 2 == 0) plan.Set("CON_PROCESS", "養生時間が短く工期短縮が見込める。");
        for (const char* flag :
             {"CON_QUALITY_YN", "CON_SAFETY_YN", "CON_CONSTRUCT_YN", "CON_ENV_YN"})
            plan.Set(flag, "0");
        plan.Set("CON_CHARGE_DEP", "工務");
        plan.Set("CON_CHARGE_MIC", Digits(100 + i % 900, 3) + "-" + Digits(i % 1000, 3));

        report.Start();
        report.Set("CONST_NO", number);
        report.Set("REG_DATE", Date(w.year + 1, 3, 31));

        section.Start();
        section.Set("CONST_NO", number);
        section.Set("INV_BELONG", w.bureauName + "　" + w.officeName);
        section.Set("INV_NAME", person);
        section.Set("INV_ADDRESS", "0" + Digits(3 + i % 97, 2) + "-" + Digits(1000 + i % 9000, 4) +
                                       "-" + Digits(i % 10000, 4));
        section.Set("INV_CON_COST", std::to_string(20000 + i % 300 * 500) + "千円");
        section.Set("INV_CON_COMPANY", w.place + "建設株式会社");
        section.Set("INV_COST_UNIT", w.tech->unit);
        section.Set("INV_OLD_COST", std::to_string(1000 + i % 500) + ".5");
        section.Set("INV_NEW_COST", std::to_string(800 + i % 300));

        chief.Start();
        chief.Set("CONST_NO", number);
        chief.Set("INV_BELONG", w.bureauName + "　" + w.officeName);
        chief.Set("INV_NAME", std::string(Pick(kSurnames, i, 7)) + "　" + Pick(kGivenNames, i, 3));
        chief.Set("INV_CON_DATE_S", Date(w.year, w.month + 1, 10));
        chief.Set("INV_CON_DATE_E", Date(w.year + 1, 3, 20));
        chief.Set("INV_CON_AMOUNT", std::string(w.tech->former) + "　" + quantity + "m2");
        for (const char* flag :
             {"INV_EFFECT_YN", "INV_CST_YN", "INV_EXECUTION_YN", "INV_PURSUIT_YN"})
            chief.Set(flag, "0");
        AspectFlags(chief);
        AspectAnswers(chief, i, 3);

        con.Start();
        con.Set("CONST_NO", number);
        con.Set("INV_BELONG", w.place + "建設株式会社　工事部");
        con.Set("INV_NAME", std::string(Pick(kSurnames, i, 9)) + "　" + Pick(kGivenNames, i, 1));
        con.Set("INV_NATURAL_ENV", "河川上の橋梁で、騒音・振動の規制がある。");
        con.Set("INV_PLACE_CONDITION", Pick(kConditions, i, 3));
        con.Set("INV_PROCESS_OLD", std::to_string(30 + i % 40));
        con.Set("INV_PROCESS_NEW", std::to_string(25 + i % 30));
        AspectFlags(con);
        AspectAnswers(con, i, 7);
    }
    main.Write(cds / TableDef(TTableId::Main).FileName());
    plan.Write(cds / TableDef(TTableId::Plan).FileName());
    report.Write(cds / TableDef(TTableId::Report).FileName());
    section.Write(cds / TableDef(TTableId::InvSection).FileName());
    chief.Write(cds / TableDef(TTableId::InvChief).FileName());
    con.Write(cds / TableDef(TTableId::InvCon).FileName());
}

}  // namespace

void BuildInstallation(const fs::path& root, const fs::path& shipped, long works) {
    fs::remove_all(root);
    for (const char* dir : {"ini", "cds", "org", "tmp", "html", "img", "help"})
        fs::create_directories(root / dir);
    // Settings (ordering office), help text and report templates as shipped.
    for (const char* dir : {"ini", "help", "html"}) {
        if (!fs::is_directory(shipped / dir))
            throw std::runtime_error("no " + (shipped / dir).string() +
                                     ": build the installation target");
        fs::copy(shipped / dir, root / dir, fs::copy_options::recursive);
    }
    for (const TTableDef& def : SurveySchema()) {
        WriteTableFile((root / "org" / def.FileName()).string(), def);
        if (!def.survey)
            WriteTableFile((root / "cds" / def.FileName()).string(), def, ShippedRows(def.id));
    }
    WriteSurveyTables(root / "cds", works);
}

void CopyInstallation(const fs::path& from, const fs::path& to) {
    fs::remove_all(to);
    fs::copy(from, to, fs::copy_options::recursive);
}

fs::path MakeWorkingDirectory(const std::string& prefix) {
    std::string pattern = (fs::temp_directory_path() / (prefix + "_XXXXXX")).string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("cannot make " + pattern);
    const fs::path temp = pattern;
    if (!std::getenv("SARVENU_REGISTRY"))
        ::setenv("SARVENU_REGISTRY", (temp / "registry.reg").c_str(), 1);
    return temp;
}

std::uintmax_t TableBytes(const fs::path& root) {
    std::uintmax_t bytes = 0;
    for (const auto& entry : fs::directory_iterator(root / "cds"))
        if (entry.is_regular_file()) bytes += entry.file_size();
    return bytes;
}

}  // namespace workflow_scale
