// Evaluation points: aspect scoring, pair points, averages, cost source.
#include "report/points.h"

#include <charconv>

#include "platform/codepage.h"

namespace sarvenu {
namespace {

// The integer value of an answer ("2" .. "-2"); false when empty or malformed.
bool AnswerValue(const std::string& answer, int* value) {
    if (answer.empty()) return false;
    const char* first = answer.data();
    const char* last = first + answer.size();
    if (*first == '+') ++first;
    const auto [end, error] = std::from_chars(first, last, *value);
    return error == std::errc() && end == last && first != last;
}

size_t Index(TEvalAspect aspect) {
    return static_cast<size_t>(aspect);
}

}  // namespace

TAspectScore SetEvalPoint(std::span<const std::string> answers, const std::string& tick1,
                          const std::string& tick2) {
    // Slots that always count: five, or six with the eight-slot layout; the
    // two slots after them are the optional items.
    const size_t fixed = answers.size() >= 8 ? 6 : 5;
    const bool ticks[] = {tick1 == "1", tick2 == "1"};
    int count = 0;
    int sum = 0;
    for (size_t slot = 0; slot < answers.size() && slot < fixed + 2; ++slot) {
        if (slot >= fixed && !ticks[slot - fixed]) continue;
        int value = 0;
        if (!AnswerValue(answers[slot], &value)) continue;
        ++count;
        sum += value;
    }
    if (count == 0) return {};
    return {std::to_string(sum), ItemPoint(sum, count)};
}

TPairPoint PairPoint(const std::string& conventional, const std::string& fresh,
                     const TNumberErrorSink& onError) {
    TPairPoint result;
    if (conventional.empty() || fresh.empty()) return result;
    result.state = TPairPoint::TState::Error;
    const std::string difference = DifferenceText(conventional, fresh, onError);
    if (difference.empty()) return result;
    const std::string point = RatioPoint(difference, conventional, onError);
    if (point.empty()) return result;
    result.state = TPairPoint::TState::Value;
    result.difference = difference;
    result.point = point;
    return result;
}

TPointAverages ComputeAverages(const TPointInputs& inputs) {
    TPointAverages result;
    for (int i = 0; i < kItemAspectCount; ++i) {
        result.aspectAverages[i] = MeanOfTwo(inputs.chief[i], inputs.contractor[i]);
    }
    const std::string ordering[] = {inputs.costPoint, inputs.processPoint, inputs.chief[0],
                                    inputs.chief[1],  inputs.chief[2],     inputs.chief[3]};
    result.orderingAverage = MeanOfSix(ordering);
    result.contractorAverage = MeanOfSix(inputs.contractor);

    auto& chart = result.chartValues;
    chart[Index(TEvalAspect::Cost)] = inputs.costPoint;
    chart[Index(TEvalAspect::Process)] = inputs.processPoint;
    chart[Index(TEvalAspect::Quality)] = result.aspectAverages[0];
    chart[Index(TEvalAspect::Safety)] = result.aspectAverages[1];
    chart[Index(TEvalAspect::Construct)] = result.aspectAverages[2];
    chart[Index(TEvalAspect::Environment)] = result.aspectAverages[3];
    result.overall = MeanOfSix(chart);
    return result;
}

bool IsContractorProposal(const std::string& conType) {
    return conType == "5" || conType == "6";
}

TCostSource CostSource(const std::string& conType, bool orderingMode) {
    if (IsContractorProposal(conType)) return TCostSource::Contractor;
    if (conType.empty() || !orderingMode) return TCostSource::None;
    return TCostSource::SectionChief;
}

std::string ContractorCostText(const std::string& conType, const std::string& costPoint) {
    return IsContractorProposal(conType) ? costPoint : platform::Utf8ToCp932("表記無し");
}

}  // namespace sarvenu
