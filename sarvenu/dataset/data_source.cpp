#include <algorithm>

#include "dataset/client_table.h"

namespace sarvenu {

TTableSource::TTableSource(TClientTable* dataSet) {
    SetDataSet(dataSet);
}

TTableSource::~TTableSource() {
    SetDataSet(nullptr);
    for (TClientTable* detail : details_) detail->masterSource_ = nullptr;
}

void TTableSource::SetDataSet(TClientTable* dataSet) {
    if (dataSet == dataSet_) return;
    if (dataSet_) std::erase(dataSet_->sources_, this);
    dataSet_ = dataSet;
    if (dataSet_) dataSet_->sources_.push_back(this);
}

int TTableSource::Subscribe(Listener listener) {
    int id = nextId_++;
    listeners_.emplace(id, std::move(listener));
    return id;
}

void TTableSource::Unsubscribe(int id) {
    listeners_.erase(id);
}

void TTableSource::Notify() {
    // A listener may unsubscribe while being told; work on a copy.
    auto listeners = listeners_;
    for (auto& [id, listener] : listeners)
        if (listener) listener();
}

}  // namespace sarvenu
