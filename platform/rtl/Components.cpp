#include "platform/rtl/Components.h"

#include "platform/rtl/SysUtils.h"

#include <algorithm>

namespace rtl {

namespace {

bool SameTextAscii(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
               return lower(x) == lower(y);
           });
}

void EraseOne(std::vector<TComponent*>& list, TComponent* item) {
    auto it = std::find(list.begin(), list.end(), item);
    if (it != list.end()) list.erase(it);
}

}  // namespace

void TPersistent::Assign(const TPersistent&) {
    throw Exception("Cannot assign to this object");
}

TComponent::TComponent(TComponent* owner) {
    if (owner) owner->InsertComponent(this);
}

TComponent::~TComponent() {
    Destroying();
    // Copies: Notification handlers may remove themselves from our lists.
    auto notifies = freeNotifies_;
    freeNotifies_.clear();
    for (TComponent* other : notifies) {
        EraseOne(other->freeNotifies_, this);
        other->Notification(this, TOperation::opRemove);
    }
    for (TComponent* child : components_) child->SetOwnerOnly(nullptr);
    components_.clear();
    if (owner_) {
        EraseOne(owner_->components_, this);
        owner_->Notification(this, TOperation::opRemove);
    }
}

void TComponent::SetName(const std::string& name) { name_ = name; }

void TComponent::SetDesigning(bool on) {
    if (on) state_.Include(csDesigning); else state_.Exclude(csDesigning);
}

void TComponent::SetLoading(bool on) {
    if (on) {
        state_.Include(csLoading);
    } else if (state_.Contains(csLoading)) {
        Loaded();
    }
}

TComponent* TComponent::FindComponent(const std::string& name) const {
    if (name.empty()) return nullptr;
    for (TComponent* c : components_)
        if (SameTextAscii(c->Name(), name)) return c;
    return nullptr;
}

void TComponent::InsertComponent(TComponent* component) {
    if (!component || component->owner_ == this) return;
    if (component->owner_) component->owner_->RemoveComponent(component);
    components_.push_back(component);
    component->owner_ = this;
    Notification(component, TOperation::opInsert);
}

void TComponent::RemoveComponent(TComponent* component) {
    if (!component || component->owner_ != this) return;
    Notification(component, TOperation::opRemove);
    EraseOne(components_, component);
    component->owner_ = nullptr;
}

void TComponent::FreeNotification(TComponent* component) {
    if (!component || component == this) return;
    if (std::find(freeNotifies_.begin(), freeNotifies_.end(), component) == freeNotifies_.end()) {
        freeNotifies_.push_back(component);
        component->freeNotifies_.push_back(this);
    }
}

void TComponent::RemoveFreeNotification(TComponent* component) {
    if (!component) return;
    EraseOne(freeNotifies_, component);
    EraseOne(component->freeNotifies_, this);
}

void TComponent::Notification(TComponent*, TOperation) {}

void TComponent::Loaded() { state_.Exclude(csLoading); }

}  // namespace rtl
