// Evaluation points without a window: the scoring of one aspect and side, the
// point of a cost or day pair, the averages of the totals tab and the rule that
// picks whose cost pair counts. The main window gathers the texts, calls these
// and shows the results; all texts are code page 932, empty meaning no value.
#pragma once

#include <array>
#include <span>
#include <string>

#include "report/calculation.h"

namespace sarvenu {

// Score and point of one aspect for one side; both empty when no answer
// counted.
struct TAspectScore {
    std::string score;  // sum of the counted answers
    std::string point;  // ItemPoint of the counted answers
};

// Scores the answers of one aspect and side, in slot order: seven answers for
// quality, safety and environment, eight for construct. The fixed items (five,
// or six with eight slots) count when answered; the two optional items count
// only while their tick ("1") is set. An answer that is not a whole number is
// taken as unanswered.
TAspectScore SetEvalPoint(std::span<const std::string> answers, const std::string& tick1,
                          const std::string& tick2);

// Outcome of the cost or process point for a pair of entries.
struct TPairPoint {
    enum class TState {
        Blank,  // an entry is empty: every dependent display is blanked
        Error,  // a text is not a number (reported): displays keep their contents
        Value,  // difference and point hold the results
    };
    TState state = TState::Blank;
    std::string difference;
    std::string point;
};

// Difference and ratio point of a conventional and a new value (cost in
// thousands of yen, or days).
TPairPoint PairPoint(const std::string& conventional, const std::string& fresh,
                     const TNumberErrorSink& onError);

// The six evaluated aspects in the order of the totals and the chart.
enum class TEvalAspect { Cost, Process, Quality, Safety, Construct, Environment };
// The four aspects answered item by item, in the order of TSidePoints.
inline constexpr int kItemAspectCount = 4;
using TSidePoints = std::array<std::string, kItemAspectCount>;  // quality, safety, construct, env

// The points the totals tab starts from.
struct TPointInputs {
    std::string costPoint;  // the ordering column's cost point
    std::string processPoint;
    TSidePoints chief;       // the chief supervisor's aspect points
    TSidePoints contractor;  // the contractor's aspect points
};

// Every average derived from them.
struct TPointAverages {
    TSidePoints aspectAverages;     // MeanOfTwo(chief, contractor) per aspect
    std::string orderingAverage;    // MeanOfSix: cost, process, chief's four
    std::string contractorAverage;  // mean of the contractor's four, one decimal
    std::string overall;            // MeanOfSix over the six aspect averages
    // The six aspect averages in TEvalAspect order (cost and process averages are
    // the points themselves), as the chart takes them.
    std::array<std::string, 6> chartValues;
};

TPointAverages ComputeAverages(const TPointInputs& inputs);

// Whose cost pair makes the cost point.
enum class TCostSource { None, SectionChief, Contractor };

// True for the contractor-proposal construction types "5" and "6".
bool IsContractorProposal(const std::string& conType);
// Contractor proposals take the contractor's pair; any other non-empty type
// takes the section chief's in the ordering-office mode and none in the
// contractor mode; an empty type has no cost point.
TCostSource CostSource(const std::string& conType, bool orderingMode);
// The cost text of the contractor column of the totals tab: the cost point for
// contractor proposals, otherwise "表記無し".
std::string ContractorCostText(const std::string& conType, const std::string& costPoint);

}  // namespace sarvenu
