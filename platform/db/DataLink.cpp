#include "platform/db/DataLink.h"

#include "platform/db/DBError.h"
#include "platform/db/DataSet.h"

#include <algorithm>

namespace db {

// ================================================================ TDataSource

TDataSource::TDataSource(rtl::TComponent* owner) : rtl::TComponent(owner) {}

TDataSource::~TDataSource() {
    Destroying();
    SetDataSet(nullptr);
    auto links = links_;
    for (TDataLink* link : links) link->SetDataSource(nullptr);
}

void TDataSource::SetDataSet(TDataSet* dataSet) {
    if (dataSet == dataSet_) return;
    if (dataSet && dataSet->IsLinkedTo(this)) DatabaseError(texts::SCircularDataLink, this);
    // A detail dataset fed by one of our links may not become our dataset.
    for (TDataLink* link : links_)
        if (dataSet && link->GetDetailDataSet() == dataSet) DatabaseError(texts::SCircularDataLink, this);
    if (dataSet_) dataSet_->RemoveDataSource(this);
    dataSet_ = dataSet;
    if (dataSet_) dataSet_->AddDataSource(this);
    UpdateState();
}

void TDataSource::DataSetDestroyed() {
    dataSet_ = nullptr;
    UpdateState();
}

void TDataSource::SetEnabled(bool on) {
    enabled_ = on;
    UpdateState();
}

void TDataSource::Edit() {
    if (autoEdit_ && state_ == dsBrowse && dataSet_) dataSet_->Edit();
}

bool TDataSource::IsLinkedTo(const TDataSet* dataSet) const {
    // The guard ends the walk should a chain ever loop without passing here.
    int guard = 0;
    for (const TDataSource* s = this; s && guard < 1000; ++guard) {
        TDataSet* ds = s->dataSet_;
        if (!ds) return false;
        if (ds == dataSet) return true;
        s = ds->GetDataSource();
        if (s == this) return true;
    }
    return false;
}

void TDataSource::AddLink(TDataLink* link) {
    links_.push_back(link);
    link->UpdateState();
    if (dataSet_) dataSet_->UpdateBufferCount();
}

void TDataSource::RemoveLink(TDataLink* link) {
    links_.erase(std::remove(links_.begin(), links_.end(), link), links_.end());
    if (dataSet_ && !ComponentState().Contains(rtl::csDestroying)) dataSet_->UpdateBufferCount();
}

void TDataSource::UpdateState() {
    const TDataSetState state = (enabled_ && dataSet_) ? dataSet_->State() : dsInactive;
    if (state == state_) return;
    const bool wasActive = state_ != dsInactive;
    state_ = state;
    NotifyLinks(deUpdateState, 0);
    if (OnStateChange) OnStateChange(*this);
    if (wasActive != (state_ != dsInactive) && OnDataChange && state_ != dsInactive) OnDataChange(*this, nullptr);
}

void TDataSource::NotifyLinks(TDataEvent event, std::intptr_t info) {
    auto links = links_;
    for (TDataLink* link : links)
        if (std::find(links_.begin(), links_.end(), link) != links_.end()) link->DataEvent(event, info);
}

void TDataSource::NotifyDataLinks(TDataEvent event, std::intptr_t info) { NotifyLinks(event, info); }

void TDataSource::DataEvent(TDataEvent event, std::intptr_t info) {
    if (event == deUpdateState) {
        UpdateState();
        return;
    }
    if (state_ == dsInactive) return;
    NotifyLinks(event, info);
    switch (event) {
        case deFieldChange:
        case deRecordChange:
        case deDataSetChange:
        case deDataSetScroll:
        case deLayoutChange:
            if (OnDataChange)
                OnDataChange(*this, event == deFieldChange ? reinterpret_cast<TField*>(info) : nullptr);
            break;
        case deUpdateRecord:
            if (OnUpdateData) OnUpdateData(*this);
            break;
        default: break;
    }
}

// ================================================================ TDataLink

TDataLink::TDataLink() = default;

TDataLink::~TDataLink() {
    if (dataSource_) dataSource_->RemoveLink(this);
    dataSource_ = nullptr;
}

void TDataLink::SetDataSource(TDataSource* source) {
    if (source == dataSource_) return;
    if (source && GetDetailDataSet() && source->IsLinkedTo(GetDetailDataSet()))
        DatabaseError(texts::SCircularDataLink);
    if (dataSource_) dataSource_->RemoveLink(this);
    dataSource_ = source;
    if (dataSource_) dataSource_->AddLink(this);
    else UpdateState();
}

TDataSet* TDataLink::DataSet() const { return dataSource_ ? dataSource_->DataSet() : nullptr; }

void TDataLink::SetReadOnly(bool on) {
    if (readOnly_ == on) return;
    readOnly_ = on;
    UpdateState();
}

void TDataLink::SetBufferCount(int count) {
    count = std::max(count, 1);
    if (count == bufferCount_) return;
    bufferCount_ = count;
    if (TDataSet* ds = DataSet(); ds && active_) {
        ds->UpdateBufferCount();
        UpdateRange();
    }
}

void TDataLink::UpdateRange() {
    TDataSet* ds = DataSet();
    if (!ds || !active_) {
        firstRecord_ = 0;
        return;
    }
    const int active = ds->ActiveRecord();
    int first = firstRecord_;
    if (active < first) first = active;
    if (active >= first + bufferCount_) first = active - bufferCount_ + 1;
    first = std::min(first, std::max(0, ds->RecordCountInBuffers() - bufferCount_));
    firstRecord_ = std::max(0, std::min(first, active));
}

int TDataLink::ActiveRecord() const {
    TDataSet* ds = DataSet();
    if (!ds || !active_) return 0;
    return ds->ActiveRecord() - firstRecord_;
}

void TDataLink::SetActiveRecord(int index) {
    TDataSet* ds = DataSet();
    if (!ds || !active_) return;
    const int target = firstRecord_ + index;
    if (target >= 0 && target < ds->RecordCountInBuffers()) ds->activeRecord_ = target;
}

int TDataLink::RecordCount() const {
    TDataSet* ds = DataSet();
    if (!ds || !active_) return 0;
    return std::max(0, std::min(bufferCount_, ds->RecordCountInBuffers() - firstRecord_));
}

bool TDataLink::Edit() {
    if (!readOnly_ && dataSource_) dataSource_->Edit();
    return editing_;
}

void TDataLink::UpdateRecord() {
    updating_ = true;
    try {
        UpdateData();
    } catch (...) {
        updating_ = false;
        throw;
    }
    updating_ = false;
}

void TDataLink::UpdateState() {
    const bool active = dataSource_ && dataSource_->State() != dsInactive;
    SetActive(active);
    const TDataSetState s = dataSource_ ? dataSource_->State() : dsInactive;
    SetEditing(active && !readOnly_ && (s == dsEdit || s == dsInsert || s == dsSetKey));
}

void TDataLink::SetActive(bool on) {
    if (active_ == on) return;
    active_ = on;
    firstRecord_ = 0;
    if (on) UpdateRange();
    ActiveChanged();
}

void TDataLink::SetEditing(bool on) {
    if (editing_ == on) return;
    editing_ = on;
    EditingChanged();
}

void TDataLink::DataSetChanged() { RecordChanged(nullptr); }

void TDataLink::DataSetScrolled(int) { DataSetChanged(); }

void TDataLink::FocusControl(TField*) {}

void TDataLink::LayoutChanged() { DataSetChanged(); }

void TDataLink::RecordChanged(TField*) {}

void TDataLink::DataEvent(TDataEvent event, std::intptr_t info) {
    if (event == deUpdateState) {
        UpdateState();
        return;
    }
    if (!active_) return;
    switch (event) {
        case deFieldChange:
        case deRecordChange:
            if (!updating_) RecordChanged(reinterpret_cast<TField*>(info));
            break;
        case deDataSetChange:
        case deDataSetScroll:
        case deLayoutChange: {
            UpdateRange();
            if (event == deDataSetScroll) DataSetScrolled(static_cast<int>(info));
            else if (event == deLayoutChange) LayoutChanged();
            else DataSetChanged();
            break;
        }
        case deUpdateRecord: UpdateRecord(); break;
        case deCheckBrowseMode: CheckBrowseMode(); break;
        case deFocusControl: FocusControl(reinterpret_cast<TField*>(info)); break;
        default: break;
    }
}

// ================================================================ TMasterDataLink

TMasterDataLink::TMasterDataLink(TDataSet* detail) : detail_(detail) {}

void TMasterDataLink::SetFieldNames(const std::string& names) {
    if (names == fieldNames_) return;
    fieldNames_ = names;
    ActiveChanged();
}

void TMasterDataLink::ActiveChanged() {
    fields_.clear();
    if (Active()) {
        try {
            fields_ = DataSet()->GetFieldList(fieldNames_);
        } catch (...) {
            fields_.clear();
            throw;
        }
    }
    if (!detail_ || !detail_->Active() || detail_->ComponentState().Contains(rtl::csDestroying)) return;
    if (Active() && !fields_.empty()) {
        if (OnMasterChange) OnMasterChange();
    } else if (OnMasterDisable) {
        OnMasterDisable();
    }
}

void TMasterDataLink::CheckBrowseMode() {
    if (detail_ && detail_->Active()) detail_->CheckBrowseMode();
}

void TMasterDataLink::LayoutChanged() { ActiveChanged(); }

void TMasterDataLink::RecordChanged(TField* field) {
    if (!DataSource() || DataSource()->State() == dsSetKey || !detail_ || !detail_->Active() || fields_.empty())
        return;
    if (field && std::find(fields_.begin(), fields_.end(), field) == fields_.end()) return;
    if (OnMasterChange) OnMasterChange();
}

}  // namespace db
