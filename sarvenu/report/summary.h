// The summary across works: every work's evaluation figures as the totals
// tab shows them (the same computation), grouped by technology (登録番号 with
// its 技術名称) and totalled by the dataset engine. For each of the six
// aspects the mean of the ordering office's point, the contractor's point and
// their average, then the mean of the office average and the mean, lowest and
// highest 総合評価点. A work without a value (no sheet, a blank answer) is
// left out of that figure, never counted as 0. Texts are code page 932.
#pragma once

#include <array>
#include <span>
#include <string>
#include <vector>

#include "report/preview.h"
#include "report/radar_chart.h"

namespace sarvenu {

inline constexpr int kSummaryAspectCount = 6;  // in TEvalAspect order

// One work's figures as the totals tab (集計表 1/2) shows them; empty text
// where the tab shows nothing.
struct TWorkFigures {
    std::array<std::string, kSummaryAspectCount> office;      // 発注者
    std::array<std::string, kSummaryAspectCount> contractor;  // 請負者・技術開発者
    std::array<std::string, kSummaryAspectCount> average;     // 平均
    std::string officeAverage;                                // 発注者平均
    std::string overall;                                      // 総合評価点
};
TWorkFigures WorkFigures(const TPreviewPoints& points, bool orderingMode);

// One work as the summary sees it.
struct TSummaryWork {
    std::string workNumber;  // CONST_NO
    std::string workName;    // CON_NAME
    std::string regNo;       // REG_NO, the technology's 登録番号
    std::string techTitle;   // TECH_TITLE, its 技術名称
    std::string fiscalYear;  // of the report date, "2006"; empty without one
    std::string bureau;      // MOC_CD, 実施整備局
    std::string office;      // OFFICE_CD, 実施事務所
    std::string conType;     // CON_TYPE, 活用等の型
    TWorkFigures figures;
};
// The work whose records the lookup reads.
TSummaryWork SummaryWorkOf(const TSheetText& text, bool orderingMode);
// The fields SummaryWorkOf reads of a table; a reader of stored tables keeps
// only these.
const std::vector<std::string>& SummaryFields(TTableId table);

// The filters above the list; an empty text lets every work through.
struct TSummaryFilter {
    std::string fiscalYear;
    std::string bureau;
    std::string office;
    std::string conType;
    bool Accepts(const TSummaryWork& work) const;
};

// One figure totalled over a technology's works. Texts are empty when no
// work has a value.
struct TSummaryFigure {
    int count = 0;     // works with a value
    std::string mean;  // rounded to one decimal
    // Kept for the overall point (総合評価点) only.
    std::string lowest;
    std::string highest;
};

struct TSummaryRow {
    std::string regNo;
    std::string techTitle;  // of the technology's first work that names one
    int works = 0;
    std::array<TSummaryFigure, kSummaryAspectCount> office;
    std::array<TSummaryFigure, kSummaryAspectCount> contractor;
    std::array<TSummaryFigure, kSummaryAspectCount> average;
    TSummaryFigure officeAverage;
    TSummaryFigure overall;
};

// The technologies of the works the filter lets through, in the engine's
// order of the registration numbers (works without one come first, under an
// empty number). Raises EDatabaseError when the engine fails.
std::vector<TSummaryRow> BuildSummary(std::span<const TSummaryWork> works,
                                      const TSummaryFilter& filter);
// The works of one technology that the filter lets through, in input order.
std::vector<const TSummaryWork*> WorksOfTechnology(std::span<const TSummaryWork> works,
                                                   const TSummaryFilter& filter,
                                                   const std::string& regNo);
// The chart values of a technology: the means of the six aspect averages.
TChartValues SummaryChartValues(const TSummaryRow& row);

// The six aspect names of the summary's columns (UTF-8).
const std::array<const char*, kSummaryAspectCount>& SummaryAspectNames();

}  // namespace sarvenu
