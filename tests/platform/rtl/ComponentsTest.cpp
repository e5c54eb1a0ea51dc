#include "platform/rtl/Components.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

class Watcher : public rtl::TComponent {
public:
    using rtl::TComponent::TComponent;
    std::vector<std::string> removed;

protected:
    void Notification(rtl::TComponent* c, rtl::TOperation op) override {
        if (op == rtl::TOperation::opRemove) removed.push_back(c->Name());
    }
};

class Loadable : public rtl::TComponent {
public:
    using rtl::TComponent::TComponent;
    int loadedCalls = 0;

protected:
    void Loaded() override {
        rtl::TComponent::Loaded();
        ++loadedCalls;
    }
};

}  // namespace

TEST(Component, OwnerListsItsComponentsAndFindsThemByName) {
    rtl::TComponent form;
    rtl::TComponent a(&form), b(&form);
    a.SetName("edsTable");
    b.SetName("Query1");
    EXPECT_EQ(form.ComponentCount(), 2);
    EXPECT_EQ(a.Owner(), &form);
    EXPECT_EQ(form.FindComponent("EDSTABLE"), &a);
    EXPECT_EQ(form.FindComponent("query1"), &b);
    EXPECT_EQ(form.FindComponent(""), nullptr);
    EXPECT_EQ(form.FindComponent("other"), nullptr);
}

TEST(Component, DestructionDetachesInBothDirections) {
    auto form = std::make_unique<rtl::TComponent>();
    auto child = std::make_unique<rtl::TComponent>(form.get());
    child.reset();
    EXPECT_EQ(form->ComponentCount(), 0);

    auto orphan = std::make_unique<rtl::TComponent>(form.get());
    form.reset();
    EXPECT_EQ(orphan->Owner(), nullptr);  // no dangling owner
}

TEST(Component, FreeNotificationTellsTheOtherSide) {
    Watcher watcher;
    {
        rtl::TComponent connection;
        connection.SetName("Conn");
        watcher.FreeNotification(&connection);
    }
    EXPECT_EQ(watcher.removed, (std::vector<std::string>{"Conn"}));

    // Removing the request, or destroying the watcher first, leaves nothing dangling.
    auto other = std::make_unique<rtl::TComponent>();
    watcher.FreeNotification(other.get());
    watcher.RemoveFreeNotification(other.get());
    other.reset();
    EXPECT_EQ(watcher.removed.size(), 1u);

    rtl::TComponent survivor;
    {
        Watcher shortLived;
        shortLived.FreeNotification(&survivor);
    }
    survivor.SetName("still fine");
}

TEST(Component, StateFlagsAreOffAtRunTimeAndLoadedClearsLoading) {
    Loadable c;
    EXPECT_FALSE(c.ComponentState().Contains(rtl::csLoading));
    EXPECT_FALSE(c.ComponentState().Contains(rtl::csDesigning));
    c.SetLoading(true);
    EXPECT_TRUE(c.ComponentState().Contains(rtl::csLoading));
    c.SetLoading(false);
    EXPECT_FALSE(c.ComponentState().Contains(rtl::csLoading));
    EXPECT_EQ(c.loadedCalls, 1);
    c.SetDesigning(true);
    EXPECT_TRUE(c.ComponentState().Contains(rtl::csDesigning));
}

TEST(Component, ChangingOwnersMovesTheComponent) {
    rtl::TComponent a, b;
    rtl::TComponent c(&a);
    b.InsertComponent(&c);
    EXPECT_EQ(a.ComponentCount(), 0);
    EXPECT_EQ(b.ComponentCount(), 1);
    EXPECT_EQ(c.Owner(), &b);
    b.RemoveComponent(&c);
    EXPECT_EQ(c.Owner(), nullptr);
}
