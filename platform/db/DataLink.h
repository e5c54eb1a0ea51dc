#pragma once
// Data sources and data links: how controls and detail datasets follow a
// dataset's state, position and field changes.

#include "platform/db/DBTypes.h"
#include "platform/rtl/Components.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace db {

class TDataSet;
class TDataLink;
class TField;

class TDataSource : public rtl::TComponent {
public:
    explicit TDataSource(rtl::TComponent* owner = nullptr);
    ~TDataSource() override;

    TDataSet* DataSet() const { return dataSet_; }
    // A dataset that is itself linked (through its master chain) to this
    // source raises "Circular datalinks are not allowed".
    void SetDataSet(TDataSet* dataSet);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool on);
    bool AutoEdit() const { return autoEdit_; }
    void SetAutoEdit(bool on) { autoEdit_ = on; }
    // The dataset's state, dsInactive when disabled or without one.
    TDataSetState State() const { return state_; }
    // Puts the dataset into edit state when AutoEdit and browsing.
    void Edit();
    bool IsLinkedTo(const TDataSet* dataSet) const;

    std::function<void(TDataSource&)> OnStateChange;
    std::function<void(TDataSource&, TField*)> OnDataChange;
    std::function<void(TDataSource&)> OnUpdateData;

    int LinkCount() const { return static_cast<int>(links_.size()); }
    TDataLink* Links(int index) const { return links_.at(static_cast<size_t>(index)); }

private:
    friend class TDataSet;
    friend class TDataLink;

    void AddLink(TDataLink* link);
    void RemoveLink(TDataLink* link);
    // From the dataset.
    void DataEvent(TDataEvent event, std::intptr_t info);
    void NotifyLinks(TDataEvent event, std::intptr_t info);
    void NotifyDataLinks(TDataEvent event, std::intptr_t info);
    void UpdateState();
    // Called when the dataset goes away.
    void DataSetDestroyed();

    TDataSet* dataSet_ = nullptr;
    bool enabled_ = true;
    bool autoEdit_ = true;
    TDataSetState state_ = dsInactive;
    std::vector<TDataLink*> links_;
};

// A link from one client (a control, a detail dataset) to a data source.
// Links with BufferCount above 1 see a window of the dataset's buffer ring:
// ActiveRecord is the dataset's active record relative to FirstRecord.
class TDataLink {
public:
    TDataLink();
    virtual ~TDataLink();
    TDataLink(const TDataLink&) = delete;
    TDataLink& operator=(const TDataLink&) = delete;

    TDataSource* DataSource() const { return dataSource_; }
    void SetDataSource(TDataSource* source);
    TDataSet* DataSet() const;
    bool Active() const { return active_; }
    bool Editing() const { return editing_; }
    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool on);
    int BufferCount() const { return bufferCount_; }
    void SetBufferCount(int count);
    int ActiveRecord() const;
    void SetActiveRecord(int index);
    int RecordCount() const;
    // Starts an edit through the source (AutoEdit); answers Editing.
    bool Edit();
    // Asks the client to write pending values (UpdateData) now.
    void UpdateRecord();
    // The dataset this link drives, for circular-link checks.
    virtual TDataSet* GetDetailDataSet() const { return nullptr; }

protected:
    friend class TDataSource;
    friend class TDataSet;

    virtual void ActiveChanged() {}
    virtual void CheckBrowseMode() {}
    virtual void DataSetChanged();
    virtual void DataSetScrolled(int distance);
    virtual void EditingChanged() {}
    virtual void FocusControl(TField* field);
    virtual void LayoutChanged();
    virtual void RecordChanged(TField* field);
    virtual void UpdateData() {}
    virtual void DataEvent(TDataEvent event, std::intptr_t info);

    int FirstRecord() const { return firstRecord_; }

private:
    void UpdateState();
    void SetActive(bool on);
    void SetEditing(bool on);
    void UpdateRange();

    TDataSource* dataSource_ = nullptr;
    bool active_ = false;
    bool editing_ = false;
    bool readOnly_ = false;
    bool updating_ = false;
    int bufferCount_ = 1;
    int firstRecord_ = 0;
};

class TDetailDataLink : public TDataLink {
public:
    using TDataLink::TDataLink;
};

// The link a detail dataset keeps to its master: FieldNames names master
// fields (";"-separated); OnMasterChange runs when the master's current
// record (or one of those fields) changes, OnMasterDisable when the master
// closes or the names resolve to nothing.
class TMasterDataLink : public TDetailDataLink {
public:
    explicit TMasterDataLink(TDataSet* detail);

    const std::string& FieldNames() const { return fieldNames_; }
    void SetFieldNames(const std::string& names);
    const std::vector<TField*>& Fields() const { return fields_; }
    TDataSet* GetDetailDataSet() const override { return detail_; }

    std::function<void()> OnMasterChange;
    std::function<void()> OnMasterDisable;

protected:
    void ActiveChanged() override;
    void CheckBrowseMode() override;
    void LayoutChanged() override;
    void RecordChanged(TField* field) override;

private:
    TDataSet* detail_;
    std::string fieldNames_;
    std::vector<TField*> fields_;
};

}  // namespace db
