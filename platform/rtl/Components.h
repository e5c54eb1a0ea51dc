#pragma once
// Components: named objects with an owner, free notification and the
// loading/designing state flags that framework code tests. Nothing here sets
// csLoading or csDesigning at run time; they exist so code written against
// them has something to ask.

#include <string>
#include <vector>

namespace rtl {

// Base of objects that can copy their published state from another.
class TPersistent {
public:
    virtual ~TPersistent() = default;
    // Copies what the two have in common; the base refuses everything.
    virtual void Assign(const TPersistent& source);
};

enum TComponentStateFlag : unsigned {
    csLoading = 1u << 0,
    csReading = 1u << 1,
    csWriting = 1u << 2,
    csDestroying = 1u << 3,
    csDesigning = 1u << 4,
    csAncestor = 1u << 5,
    csUpdating = 1u << 6,
    csFixups = 1u << 7,
};

// A set of TComponentStateFlag values.
class TComponentState {
public:
    TComponentState() = default;
    bool Contains(TComponentStateFlag flag) const { return (bits_ & flag) != 0; }
    void Include(TComponentStateFlag flag) { bits_ |= flag; }
    void Exclude(TComponentStateFlag flag) { bits_ &= ~static_cast<unsigned>(flag); }
    bool Empty() const { return bits_ == 0; }

private:
    unsigned bits_ = 0;
};

enum class TOperation { opInsert, opRemove };

// The owner does not own its components in the memory sense (unique_ptr or Qt
// parents do that); it lists them so they can be found by name, and its
// destruction detaches them. A component told about another through
// FreeNotification gets Notification(that, opRemove) when that one goes.
class TComponent : public TPersistent {
public:
    explicit TComponent(TComponent* owner = nullptr);
    ~TComponent() override;
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    const std::string& Name() const { return name_; }
    virtual void SetName(const std::string& name);
    TComponent* Owner() const { return owner_; }
    int Tag() const { return tag_; }
    void SetTag(int tag) { tag_ = tag; }

    const TComponentState& ComponentState() const { return state_; }
    // Tests and form loaders only: the program never loads or designs forms.
    void SetDesigning(bool on);
    void SetLoading(bool on);

    int ComponentCount() const { return static_cast<int>(components_.size()); }
    TComponent* Components(int index) const { return components_.at(static_cast<size_t>(index)); }
    // Case-insensitive, as names are.
    TComponent* FindComponent(const std::string& name) const;
    void InsertComponent(TComponent* component);
    void RemoveComponent(TComponent* component);

    // Asks to be told (Notification, opRemove) when `component` is destroyed.
    void FreeNotification(TComponent* component);
    void RemoveFreeNotification(TComponent* component);

protected:
    virtual void Notification(TComponent* component, TOperation operation);
    // Called when a form reader has finished setting properties; clears csLoading.
    virtual void Loaded();
    // Marks the component as going away; derived destructors that still call
    // virtual code check csDestroying.
    void Destroying() { state_.Include(csDestroying); }

private:
    void SetOwnerOnly(TComponent* owner) { owner_ = owner; }

    std::string name_;
    TComponent* owner_ = nullptr;
    int tag_ = 0;
    TComponentState state_;
    std::vector<TComponent*> components_;
    // Both directions, so either side's destruction cleans the other.
    std::vector<TComponent*> freeNotifies_;
};

}  // namespace rtl
